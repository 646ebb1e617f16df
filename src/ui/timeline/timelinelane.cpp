#include "timelinelane.h"

#include "timelinepalette.h"
#include "timelinescrollarea.h"
#include "timelinesegmentdurationhelp.h"
#include "timelineview.h"

#include <QElapsedTimer>
#include <QLinearGradient>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

#include <cmath>

namespace routereel {

namespace {
constexpr double paintMargin = 20;  // bars are cut this far outside the visible slice
}

TimelineLane::TimelineLane(TimelineView &view, TimelineScrollArea &area)
    : QWidget(&area),
      m_view(view),
      m_area(area),
      m_help(new TimelineSegmentDurationHelp(*this, [this](QPointF p) {
          return hoverHitTest(QPointF(p.x() + scrollOffset(), p.y()));
      }))
{
    setMouseTracking(true);
    connect(&view, &TimelineView::ppsChanged, m_help, &TimelineSegmentDurationHelp::hide);
    connect(&area, &TimelineScrollArea::scrolled, m_help, &TimelineSegmentDurationHelp::hide);
}

double TimelineLane::now()
{
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.nsecsElapsed() / 1e9;
}

double TimelineLane::scrollOffset() const
{
    return m_area.scrollOffset();
}

bool TimelineLane::isVisible(const SegmentGeometry &geometry) const
{
    const double scroll = scrollOffset();
    return !geometry.rect.isEmpty() && geometry.rect.right() - scroll >= -1
           && geometry.rect.left() - scroll <= width() + 1;
}

void TimelineLane::paintBar(QPainter &p, const SegmentGeometry &geometry, const QColor &color, bool selected,
                            const std::function<void(QPainter &, const QRectF &)> &label) const
{
    const QRectF r = geometry.rect.translated(-scrollOffset(), 0);
    // A bar far longer than the view is cut just outside it: its cut ends are never seen.
    const QRectF shape(std::max(r.left(), -paintMargin), r.top(),
                       std::min(r.right(), width() + paintMargin) - std::max(r.left(), -paintMargin), r.height());
    const double radius = std::min({4.0, r.width() / 2, r.height() / 2});
    const auto fill = [&](const QBrush &brush) {
        if (radius < 0.5)
            p.fillRect(shape, brush);
        else {
            p.setPen(Qt::NoPen);
            p.setBrush(brush);
            p.drawRoundedRect(shape, radius, radius);
        }
    };
    QColor top = color, bottom = color;
    top.setAlphaF(selected ? 0.55 : 0.35);
    bottom.setAlphaF(selected ? 0.35 : 0.2);
    QLinearGradient gradient(0, r.top(), 0, r.bottom());
    gradient.setColorAt(0, top);
    gradient.setColorAt(1, bottom);
    fill(gradient);

    const double lw = std::min({1.0, r.width(), r.height()});
    if (r.width() > 2 * lw) {
        QColor outline = color;
        outline.setAlphaF(0.5);
        p.setPen(QPen(selected ? timelinepalette::selection() : outline, lw));
        p.setBrush(Qt::NoBrush);
        const QRectF inset = shape.adjusted(lw / 2, lw / 2, -lw / 2, -lw / 2);
        const double insetRadius = std::max(0.0, radius - lw / 2);
        p.drawRoundedRect(inset, insetRadius, insetRadius);
    } else if (selected) {
        fill(timelinepalette::selection());
    }

    const double pad = geometry.handleWidth + 2;
    if (r.width() - 2 * pad < 24)
        return;
    const QRectF labelArea = r.adjusted(pad, 0, -pad, 0);
    const QRectF visibleArea = labelArea.intersected(QRectF(-paintMargin, r.top(), width() + 2 * paintMargin, r.height()));
    if (visibleArea.isEmpty())
        return;
    p.save();
    p.setClipRect(visibleArea);
    label(p, labelArea);
    p.restore();
}

TimelineLane::Drag TimelineLane::dragAt(QPointF widgetPoint) const
{
    const QPointF current(widgetPoint.x() + scrollOffset(), widgetPoint.y());
    return {m_pressPoint, current - m_pressPoint};
}

void TimelineLane::execContextMenu(QMenu &menu, QPoint globalPos)
{
    m_help->leave();
    m_menuPoint = m_pointer;
    menu.exec(globalPos);
}

void TimelineLane::mousePressEvent(QMouseEvent *event)
{
    m_pointer = event->position();
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    if (m_gestureActive)
        cancelGesture();
    // Content coordinates: scrolling during a drag counts as travel.
    m_pressPoint = QPointF(event->position().x() + scrollOffset(), event->position().y());
    m_gestureActive = true;
    m_help->hide();
}

void TimelineLane::mouseDoubleClickEvent(QMouseEvent *event)
{
    // The second press of a double click: the lanes tell double clicks apart themselves.
    mousePressEvent(event);
}

void TimelineLane::mouseMoveEvent(QMouseEvent *event)
{
    m_pointer = event->position();
    // After a context menu, a report of the pointer resting where the menu
    // opened is not a new hover.
    if (m_menuPoint && *m_menuPoint != m_pointer)
        m_menuPoint.reset();
    if (!m_menuPoint)
        m_help->hover(m_pointer, m_gestureActive);
    if (m_gestureActive && (event->buttons() & Qt::LeftButton))
        handleDragChanged(dragAt(event->position()));
}

void TimelineLane::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_gestureActive) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    m_gestureActive = false;
    handleDragEnded(dragAt(event->position()));
}

void TimelineLane::leaveEvent(QEvent *event)
{
    m_help->leave();
    QWidget::leaveEvent(event);
}

void TimelineLane::hideEvent(QHideEvent *event)
{
    m_help->hide();
    cancelGesture();
    QWidget::hideEvent(event);
}

void TimelineLane::resizeEvent(QResizeEvent *event)
{
    m_help->hide();
    QWidget::resizeEvent(event);
}

bool TimelineLane::event(QEvent *event)
{
    // A box opened during a drag takes the release: the gesture ends unfinished.
    if (event->type() == QEvent::WindowDeactivate)
        cancelGesture();
    return QWidget::event(event);
}

void TimelineLane::cancelGesture()
{
    if (!m_gestureActive)
        return;
    m_gestureActive = false;
    resetGestureState();
}

} // namespace routereel
