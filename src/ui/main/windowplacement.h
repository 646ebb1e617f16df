#pragma once

#include <QObject>
#include <QSize>

class QMainWindow;

namespace routereel {

class MainLayout;

// Keeps the window inside its screen's available area: its first size is cut
// to fit, and where the screen is smaller than the content's minimum that
// minimum gives way, so no control ends up out of reach. Once the window
// manager has framed the window, the frame is fitted as well. Whenever the
// window's layout grows it (a language switch retitles the menus) it is fitted
// again, and brought back within the screen unless the user moved it out.
// A size the window manager gave (maximised, full screen, tiled) is its own:
// the window is never shrunk or moved from it.
class WindowPlacement : public QObject {
    Q_OBJECT

public:
    WindowPlacement(QMainWindow &window, MainLayout &content);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    enum class Shrink {
        never,
        always,
        // Only where the window's own minimum holds it beyond the screen.
        whereHeld,
    };
    // Lowers the content's minimum to what the screen leaves it, and shrinks the
    // window as `shrink` says where it is larger than the screen.
    void fitToScreen(Shrink shrink);
    void fitFrameToScreen();
    // Maximised or full screen: the window manager sizes the window.
    bool placedByWindowManager() const;

    QMainWindow &m_window;
    MainLayout &m_content;
    bool m_shown = false;
    bool m_framed = false;
    bool m_keepWithin = true;  // false once the user has moved the window partly off its screen
};

} // namespace routereel
