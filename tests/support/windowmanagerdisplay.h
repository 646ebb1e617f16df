#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace testsupport {

// An X server of the test's own (Xvfb, one 1920x1080 screen) with a real window
// manager on it (openbox): what frames, maximises and restores windows on a
// desktop. Both go when this goes.
class WindowManagerDisplay {
public:
    WindowManagerDisplay() = default;
    ~WindowManagerDisplay();
    WindowManagerDisplay(const WindowManagerDisplay &) = delete;
    WindowManagerDisplay &operator=(const WindowManagerDisplay &) = delete;

    // Starts the server; false when it does not start.
    bool startServer();
    // Starts the window manager and waits (bounded) until it has taken the
    // screen; false when it is not installed or does not.
    bool startWindowManager();
    // ":<n>", for DISPLAY.
    QString name() const { return m_name; }

private:
    QTemporaryDir m_home; // the manager's own settings and cache
    QProcess m_server;
    QProcess m_manager;
    QString m_name;
};

// Client side, on the display named by DISPLAY: asks the window manager to
// maximise or restore the top-level X window `window`, as its title bar's
// button does.
bool requestMaximised(unsigned long window, bool maximised);
// The window manager's own word: true when it holds `window` maximised both ways.
bool isMaximisedByWindowManager(unsigned long window);

} // namespace testsupport
