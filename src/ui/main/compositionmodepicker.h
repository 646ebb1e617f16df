#pragma once

#include "timeline/compositionmode.h"

#include <QWidget>

class QButtonGroup;
class QLabel;

namespace routereel {

class CheckedTabStop;
class FramedCheckBox;
class WindowState;

// The "MODE" row: the caption and two check boxes, "Regular" and "Overlay",
// that act as one radio pair over the window's composition mode. Exactly one
// is checked; checking the other, by a click or by an assistive tool's toggle,
// switches the mode, and the marks follow the mode whoever sets it. Neither
// box takes the keyboard focus.
class CompositionModePicker : public QWidget {
    Q_OBJECT

public:
    explicit CompositionModePicker(WindowState &state, QWidget *parent = nullptr);

    // Sets the mode; Overlay also brings the chosen preset into the ones it offers.
    void selectCompositionMode(CompositionMode mode);

    FramedCheckBox *box(CompositionMode mode) const;

protected:
    void changeEvent(QEvent *event) override;

private:
    void retranslate();
    void showMode();

    WindowState &m_state;
    QLabel *m_caption;
    QButtonGroup *m_group;
    CheckedTabStop *m_tabStop = nullptr;
};

} // namespace routereel
