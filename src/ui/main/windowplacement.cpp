#include "windowplacement.h"

#include "mainlayout.h"

#include <algorithm>

#include <QEvent>
#include <QLayout>
#include <QMainWindow>
#include <QScreen>
#include <QTimer>
#include <QWindow>

namespace routereel {

WindowPlacement::WindowPlacement(QMainWindow &window, MainLayout &content)
    : QObject(&window), m_window(window), m_content(content)
{
    window.installEventFilter(this);
}

bool WindowPlacement::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != &m_window)
        return false;
    // The show event comes before the native window is mapped: the first size is set in time.
    if (event->type() == QEvent::Show && !m_shown) {
        m_shown = true;
        fitToScreen(Shrink::always);
        if (QWindow *handle = m_window.windowHandle())
            connect(handle, &QWindow::screenChanged, this, [this] { fitToScreen(Shrink::never); });
    } else if (event->type() == QEvent::LayoutRequest && m_shown) {
        // The layout takes its new minimum, and may grow the window with it: another
        // language's menu bar and toolbar are taller. The window stays on its screen, unless
        // the user moved it partly off the screen. Only a window the layout grew is fitted:
        // a new size from the window manager brings layout requests too, before the manager
        // has told its new frame and state.
        const QSize before = m_window.size();
        m_window.layout()->activate();
        const QSize after = m_window.size();
        fitToScreen(Shrink::whereHeld);
        if (m_framed && m_keepWithin && (after.width() > before.width() || after.height() > before.height()))
            fitFrameToScreen();
    } else if (event->type() == QEvent::Move && m_framed) {
        if (const QScreen *screen = m_window.screen())
            m_keepWithin = screen->availableGeometry().contains(m_window.frameGeometry());
    } else if (event->type() == QEvent::Paint && m_shown && !m_framed) {
        // By the first paint the window manager has put its frame around the window.
        m_framed = true;
        QTimer::singleShot(0, this, &WindowPlacement::fitFrameToScreen);
    }
    return false;
}

bool WindowPlacement::placedByWindowManager() const
{
    return m_window.windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen);
}

void WindowPlacement::fitToScreen(Shrink shrink)
{
    const QScreen *screen = m_window.screen();
    if (!screen)
        return;
    const QWindow *handle = m_window.windowHandle();
    const QSize room = screen->availableGeometry().size().shrunkBy(handle ? handle->frameMargins() : QMargins());
    // The toolbar's height lies between the window and its content.
    const QSize around = (m_window.size() - m_content.size()).expandedTo(QSize(0, 0));
    const QSize minimum = MainLayout::minimumContentSize.boundedTo((room - around).expandedTo(QSize(0, 0)));
    const QSize held = m_window.minimumSize();
    if (minimum != m_content.minimumSize()) {
        m_content.setMinimumSize(minimum);
        // The window takes its own minimum from its layout: it must follow before a resize.
        m_window.layout()->invalidate();
        m_window.layout()->activate();
    }
    if (shrink == Shrink::never || room.isEmpty() || placedByWindowManager())
        return;
    QSize fitted = m_window.size().boundedTo(room);
    if (shrink == Shrink::whereHeld) {
        // Larger than its minimum, the window has the size it was given, by the user or the window manager.
        if (m_window.width() > held.width())
            fitted.setWidth(m_window.width());
        if (m_window.height() > held.height())
            fitted.setHeight(m_window.height());
    }
    if (fitted != m_window.size())
        m_window.resize(fitted);
}

void WindowPlacement::fitFrameToScreen()
{
    const QScreen *screen = m_window.screen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    if (placedByWindowManager() || available.contains(m_window.frameGeometry()))
        return;
    fitToScreen(Shrink::always);
    const QRect frame = m_window.frameGeometry();
    const auto within = [](int at, int first, int last) { return std::max(first, std::min(at, last)); };
    const QPoint inside(within(frame.left(), available.left(), available.right() - frame.width() + 1),
                        within(frame.top(), available.top(), available.bottom() - frame.height() + 1));
    if (inside != frame.topLeft())
        m_window.move(inside);
}

} // namespace routereel
