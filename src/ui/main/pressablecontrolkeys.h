#pragma once

#include <QObject>

class QWidget;

namespace routereel {

// Space plays and pauses through the window's shortcut, and Qt hands a shortcut
// its key before the focused widget sees it. A focused control that the user
// presses by key (a button, a toggle, a section header, a picker) takes Space
// and Return itself, as everywhere else on the desktop; text fields already
// take their keys. Likewise a focused slider, field, list or picker takes Home
// and End, which otherwise move the playhead. Sheets and alerts are windows of
// their own and keep theirs.
class PressableControlKeys : public QObject {
    Q_OBJECT

public:
    explicit PressableControlKeys(QWidget &window);

    static bool isPressable(const QWidget *widget);
    // Moves within itself on Home and End.
    static bool takesHomeAndEnd(const QWidget *widget);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget &m_window;
};

} // namespace routereel
