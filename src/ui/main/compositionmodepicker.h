#pragma once

#include "timeline/compositionmode.h"

#include <QWidget>

class QCheckBox;
class QLabel;

namespace routereel {

class WindowState;

// The "MODE" row: two check boxes that act as one radio pair over the window's
// composition mode. Clicking the checked box leaves it checked; neither box
// takes the keyboard focus.
class CompositionModePicker : public QWidget {
    Q_OBJECT

public:
    explicit CompositionModePicker(WindowState &state, QWidget *parent = nullptr);

    // Sets the mode; Overlay also brings the chosen preset into the ones it offers.
    void selectCompositionMode(CompositionMode mode);

protected:
    void changeEvent(QEvent *event) override;

private:
    void retranslate();
    void showMode();
    QCheckBox *box(CompositionMode mode) const;

    WindowState &m_state;
    QLabel *m_caption;
    QCheckBox *m_regular;
    QCheckBox *m_overlay;
};

} // namespace routereel
