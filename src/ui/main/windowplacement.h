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
// window's layout changes (a language switch retitles the menus) it is fitted
// again, and brought back within the screen unless the user moved it out.
class WindowPlacement : public QObject {
    Q_OBJECT

public:
    WindowPlacement(QMainWindow &window, MainLayout &content);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Lowers the content's minimum to what the screen leaves it; shrinks the
    // window when `shrink` and it is larger than the screen.
    void fitToScreen(bool shrink);
    void fitFrameToScreen();

    QMainWindow &m_window;
    MainLayout &m_content;
    bool m_shown = false;
    bool m_framed = false;
    bool m_keepWithin = true;  // false once the user has moved the window partly off its screen
};

} // namespace routereel
