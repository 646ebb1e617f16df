#pragma once

#include <QCheckBox>

#include <functional>

namespace routereel {

// A switch of one Boolean setting, its caption beside it. The box is drawn
// here with a faded text colour as outline: Fusion outlines it in a shade of
// the window colour, which vanishes on a dark column.
class InspectorToggleRow : public QCheckBox {
    Q_OBJECT

public:
    InspectorToggleRow(const char *caption, std::function<bool()> read, std::function<void(bool)> write,
                       QWidget *parent = nullptr);

    // Shows the stored value; writes nothing.
    void refresh();

protected:
    void changeEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void retranslate();

    const char *m_caption;
    std::function<bool()> m_read;
};

} // namespace routereel
