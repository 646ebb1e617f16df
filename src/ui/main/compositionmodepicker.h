#pragma once

#include "timeline/compositionmode.h"

#include <QWidget>

class QAbstractButton;
class QButtonGroup;
class QLabel;

namespace routereel {

class WindowState;

// The "MODE" row: the caption and one two-segment control over the window's
// composition mode, "Regular" or "Overlay". Clicking the chosen segment changes
// nothing; neither segment takes the keyboard focus.
class CompositionModePicker : public QWidget {
    Q_OBJECT

public:
    explicit CompositionModePicker(WindowState &state, QWidget *parent = nullptr);

    // Sets the mode; Overlay also brings the chosen preset into the ones it offers.
    void selectCompositionMode(CompositionMode mode);

    QAbstractButton *segment(CompositionMode mode) const;

protected:
    void changeEvent(QEvent *event) override;

private:
    void retranslate();
    void showMode();

    WindowState &m_state;
    QLabel *m_caption;
    QButtonGroup *m_group;
};

} // namespace routereel
