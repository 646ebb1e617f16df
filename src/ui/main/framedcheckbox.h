#pragma once

#include <QCheckBox>

namespace routereel {

// A check box whose box keeps a visible frame in either appearance: Fusion
// outlines it in a shade of the window colour, which vanishes on a dark bar.
class FramedCheckBox : public QCheckBox {
    Q_OBJECT

public:
    explicit FramedCheckBox(QWidget *parent = nullptr);

    // Where the box is drawn, in the widget's coordinates.
    QRect boxRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace routereel
