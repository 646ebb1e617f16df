#include "timelinescrollarea.h"

#include "gpxlaneview.h"
#include "playheadcanvas.h"
#include "rulerview.h"
#include "timelinemath.h"
#include "timelinepalette.h"
#include "timelineview.h"
#include "videolaneview.h"

#include <QApplication>
#include <QNativeGestureEvent>
#include <QPainter>
#include <QPropertyAnimation>
#include <QScrollBar>
#include <QWheelEvent>

#include <climits>
#include <cmath>

namespace routereel {

namespace {
using namespace timelinemetrics;
constexpr double lanesH = rulerH + 2 * trackH + 2;
} // namespace

TimelineScrollArea::TimelineScrollArea(TimelineView &view, QWidget *parent)
    : QWidget(parent),
      m_view(view),
      m_ruler(new RulerView(view, *this)),
      m_videoLane(new VideoLaneView(view, *this)),
      m_gpxLane(new GPXLaneView(view, *this)),
      m_playhead(new PlayheadCanvas(view, *this)),
      m_scrollBar(new QScrollBar(Qt::Horizontal, this)),
      m_animation(new QPropertyAnimation(m_scrollBar, "value", this))
{
    setObjectName(QStringLiteral("timelineScrollArea"));
    setMinimumHeight(int(lanesH + scrollBarH));
    // Thin like an overlay scroller, but in a strip of its own under the GPX
    // lane: over the lane it would take the clicks meant for the bars.
    m_scrollBar->setObjectName(QStringLiteral("timelineScrollBar"));
    m_scrollBar->setStyleSheet(QStringLiteral(
        "QScrollBar:horizontal { background: transparent; height: %1px; margin: 0; }"
        "QScrollBar::handle:horizontal { background: rgba(128, 128, 128, 140); border-radius: 3px; min-width: 24px;"
        " margin: 2px 1px; }"
        "QScrollBar::add-line, QScrollBar::sub-line { width: 0; }"
        "QScrollBar::add-page, QScrollBar::sub-page { background: transparent; }")
                                   .arg(int(scrollBarH)));
    m_scrollBar->setSingleStep(20);
    m_animation->setDuration(300);
    m_animation->setEasingCurve(QEasingCurve::OutQuad);
    connect(m_scrollBar, &QScrollBar::valueChanged, this, [this] {
        m_ruler->update();
        m_videoLane->update();
        m_gpxLane->update();
        m_playhead->update();
        emit scrolled();
    });
    connect(&m_view, &TimelineView::layoutChanged, this, &TimelineScrollArea::updateRange);
    connect(&m_view, &TimelineView::ppsChanged, this, &TimelineScrollArea::updateRange);
    for (QWidget *w : {static_cast<QWidget *>(m_ruler), static_cast<QWidget *>(m_videoLane),
                       static_cast<QWidget *>(m_gpxLane), static_cast<QWidget *>(this)})
        w->installEventFilter(this);
    m_playhead->raise();
    m_scrollBar->raise();
}

double TimelineScrollArea::scrollOffset() const
{
    return m_scrollBar->value();
}

void TimelineScrollArea::setScrollOffset(double x)
{
    m_animation->stop();
    m_scrollBar->setValue(int(std::clamp(std::round(x), 0.0, double(m_scrollBar->maximum()))));
}

void TimelineScrollArea::animateScrollTo(double x)
{
    m_animation->stop();
    m_animation->setStartValue(m_scrollBar->value());
    m_animation->setEndValue(int(std::clamp(std::round(x), 0.0, double(m_scrollBar->maximum()))));
    m_animation->start();
}

void TimelineScrollArea::updateRange()
{
    const double width = m_view.contentWidth();
    const double overflow = std::max(0.0, std::ceil(width - this->width()));
    m_scrollBar->setRange(0, int(std::min(overflow, double(INT_MAX))));
    m_scrollBar->setPageStep(std::max(1, this->width()));
    m_scrollBar->setVisible(overflow > 0);
    m_ruler->update();
    m_videoLane->update();
    m_gpxLane->update();
    m_playhead->update();
}

void TimelineScrollArea::resizeEvent(QResizeEvent *)
{
    const int w = width();
    m_ruler->setGeometry(0, 0, w, int(rulerH));
    m_videoLane->setGeometry(0, int(rulerH + 1), w, int(trackH));
    m_gpxLane->setGeometry(0, int(rulerH + trackH + 2), w, int(trackH));
    m_playhead->setGeometry(0, 0, w, int(rulerH + 2 * trackH + 4));
    m_scrollBar->setGeometry(0, int(lanesH), w, int(scrollBarH));
    m_view.setScrollAreaWidth(w);
    updateRange();
}

void TimelineScrollArea::paintEvent(QPaintEvent *)
{
    // The one-point lines in the gaps below the ruler and between the lanes.
    QPainter p(this);
    const QColor line = palette().color(QPalette::Mid);
    p.fillRect(QRectF(0, rulerH, width(), 1), line);
    p.fillRect(QRectF(0, rulerH + 1 + trackH, width(), 1), line);
}

void TimelineScrollArea::wheelEvent(QWheelEvent *event)
{
    // A plain wheel scrolls the timeline sideways.
    QApplication::sendEvent(m_scrollBar, event);
}

bool TimelineScrollArea::eventFilter(QObject *, QEvent *event)
{
    if (event->type() == QEvent::NativeGesture)
        return handleGesture(event);
    return false;
}

bool TimelineScrollArea::handleGesture(QEvent *event)
{
    auto *gesture = static_cast<QNativeGestureEvent *>(event);
    // Taken here; unaccepted, it would travel on to the parent and count twice.
    gesture->accept();
    switch (gesture->gestureType()) {
    case Qt::BeginNativeGesture:
        m_pinchMagnification = 1;
        m_pinching = false;
        return true;
    case Qt::ZoomNativeGesture:
        // The platform sends increments; the zoom follows their running total,
        // once it has moved by a hundredth.
        m_pinchMagnification += gesture->value();
        m_pinching = m_pinching || std::fabs(m_pinchMagnification - 1) >= 0.01;
        if (m_pinching)
            m_view.pinchChanged(m_pinchMagnification);
        return true;
    case Qt::EndNativeGesture:
        m_pinchMagnification = 1;
        m_pinching = false;
        m_view.pinchEnded();
        return true;
    default:
        return false;
    }
}

} // namespace routereel
