#include "screenfit.h"

#include "focusview.h"

#include <QDialog>
#include <QEvent>
#include <QLayout>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>

namespace routereel::screenfit {

namespace {

// Moves the sheet's layout, with every control in it, into a scroll area that fills the sheet.
void scrollContent(QDialog *sheet)
{
    auto *content = new QWidget;
    content->setObjectName(QStringLiteral("sheetContent"));
    const QList<QWidget *> loose = sheet->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    if (QLayout *layout = sheet->layout())
        content->setLayout(layout);  // takes the layout off the sheet, its widgets with it
    for (QWidget *child : loose) {
        if (child->parentWidget() == sheet && !child->isWindow()) {
            const bool hidden = child->isHidden();
            child->setParent(content);
            child->setHidden(hidden);
        }
    }
    auto *scroll = new QScrollArea(sheet);
    scroll->setObjectName(QStringLiteral("sheetScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->viewport()->setBackgroundRole(QPalette::Window);
    scroll->setWidget(content);
    sheet->setMinimumSize(0, 0);
    sheet->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    auto *outer = new QVBoxLayout(sheet);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);
    focusview::followFocus(sheet);
}

// Fits its panel each time it shows, before the window is mapped.
class PanelFit : public QObject {
public:
    explicit PanelFit(QDialog *panel) : QObject(panel), m_panel(panel) { panel->installEventFilter(this); }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_panel && event->type() == QEvent::Show)
            fit();
        return false;
    }

private:
    void fit()
    {
        const QWidget *parent = m_panel->parentWidget() ? m_panel->parentWidget()->window() : nullptr;
        const QRect area = availableArea(parent ? parent : m_panel);
        if (area.isEmpty())
            return;
        // Before it is mapped the panel has no frame of its own: its parent's is a fair guess.
        const QWindow *framed = (parent ? parent : m_panel)->windowHandle();
        const QMargins frame = framed ? framed->frameMargins() : QMargins();
        const QSize room = area.size().shrunkBy(frame).expandedTo(QSize(1, 1));
        // Qt's file dialog needs about 330 × 180 points: every screen has that room.
        const QSize size = m_panel->size().boundedTo(room);
        if (size != m_panel->size())
            m_panel->resize(size);
        const QSize outer = size.grownBy(frame);
        const QPoint centre = parent ? parent->frameGeometry().center() : area.center();
        const auto within = [](int at, int first, int last) { return std::max(first, std::min(at, last)); };
        const QPoint at(within(centre.x() - outer.width() / 2, area.left(), area.right() + 1 - outer.width()),
                        within(centre.y() - outer.height() / 2, area.top(), area.bottom() + 1 - outer.height()));
        if (at != m_panel->frameGeometry().topLeft())
            m_panel->move(at);
    }

    QDialog *m_panel;
};

} // namespace

QRect availableArea(const QWidget *widget)
{
    const QWidget *window = widget->window();
    const QScreen *screen = window->screen();
    return screen ? screen->availableGeometry() : QRect();
}

void fitSheet(QDialog *sheet)
{
    const QWidget *window = sheet->parentWidget() ? sheet->parentWidget()->window() : sheet;
    const QRect area = availableArea(window);
    if (area.isEmpty())
        return;
    // The sheet's own frame is not known before it is shown: the window's is a fair guess.
    const QWindow *handle = window->windowHandle();
    const QSize room = area.size().shrunkBy(handle ? handle->frameMargins() : QMargins());
    if (QLayout *layout = sheet->layout())
        layout->activate();
    const bool fixed = sheet->minimumSize() == sheet->maximumSize();
    const QSize wanted = fixed ? sheet->minimumSize() : sheet->sizeHint().expandedTo(sheet->minimumSizeHint());
    if (wanted.width() <= room.width() && wanted.height() <= room.height())
        return;
    const QSize needed = sheet->layout() ? sheet->layout()->totalMinimumSize() : sheet->minimumSizeHint();
    QSize size = wanted.boundedTo(room);
    if (needed.width() > size.width() || needed.height() > size.height()) {
        scrollContent(sheet);
        // Room for the bar that now scrolls, when the screen has it.
        const int bar = sheet->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, sheet);
        if (wanted.height() > room.height())
            size.setWidth(std::min(room.width(), wanted.width() + bar));
    }
    if (fixed) {
        sheet->setFixedSize(size);
    } else {
        sheet->setMaximumSize(room);
        sheet->resize(size);
    }
}

void fitPanel(QDialog *panel)
{
    new PanelFit(panel);
}

QRect popupGeometry(const QWidget *anchor, QSize size, int minimumHeight)
{
    const QPoint top = anchor->mapToGlobal(QPoint(0, 0));
    const QPoint bottom = anchor->mapToGlobal(QPoint(0, anchor->height()));
    int x = top.x() + anchor->width() / 2 - size.width() / 2;
    const QRect area = availableArea(anchor);
    if (area.isEmpty())
        return QRect(QPoint(x, bottom.y()), size);
    size = size.boundedTo(area.size());
    const int below = area.bottom() + 1 - bottom.y();
    const int above = top.y() - area.top();
    int y = 0;
    if (size.height() <= below) {
        y = bottom.y();
    } else if (size.height() <= above) {
        y = top.y() - size.height();
    } else {
        // Neither side takes it whole: the larger one, the popup cut to it and scrolling.
        const int height = std::min(size.height(), std::max(std::max(below, above), minimumHeight));
        size.setHeight(height);
        y = below >= above ? bottom.y() : top.y() - height;
        y = std::clamp(y, area.top(), area.bottom() + 1 - height);
    }
    x = std::clamp(x, area.left(), area.right() + 1 - size.width());
    return QRect(QPoint(x, y), size);
}

} // namespace routereel::screenfit
