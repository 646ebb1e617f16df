#pragma once

#include <QRadioButton>

namespace routereel {

// A radio button whose circle keeps a visible frame in either appearance, like
// the mode row's boxes: Fusion's outline vanishes on a dark sheet.
class FramedRadioButton : public QRadioButton {
    Q_OBJECT

public:
    explicit FramedRadioButton(QWidget *parent = nullptr);

    // Where the circle is drawn, in the widget's coordinates.
    QRect circleRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace routereel
