#include "timelinesegmentdurationhelp.h"

#include <QWidget>

namespace routereel {

TimelineSegmentDurationHelp::TimelineSegmentDurationHelp(QWidget &lane, HitTest hitTest)
    : QObject(&lane), m_lane(lane), m_hitTest(std::move(hitTest))
{
    // Never early: the second counts from the hover that chose the segment.
    m_delay.setTimerType(Qt::PreciseTimer);
    m_delay.setSingleShot(true);
    m_delay.setInterval(delayMilliseconds);
    connect(&m_delay, &QTimer::timeout, this, &TimelineSegmentDurationHelp::delayDone);
}

void TimelineSegmentDurationHelp::hover(QPointF point, bool interacting)
{
    const TimelineSegmentHoverHit hit = m_hitTest(point);
    m_lane.setCursor(hit.resizeCursor ? Qt::SizeHorCursor : Qt::ArrowCursor);
    if (interacting) {
        hide();
        return;
    }
    m_location = point;
    if (hit.target == m_target) {
        if (m_presented)
            emit presentationChanged();  // the shown tooltip follows the pointer
        return;
    }
    const bool wasPresented = m_presented;
    m_presented = false;
    m_target = hit.target;
    if (m_target)
        m_delay.start();
    else
        m_delay.stop();
    if (wasPresented)
        emit presentationChanged();
}

void TimelineSegmentDurationHelp::leave()
{
    hide();
    m_lane.setCursor(Qt::ArrowCursor);
}

void TimelineSegmentDurationHelp::hide()
{
    m_delay.stop();
    m_target.reset();
    if (!m_presented)
        return;
    m_presented = false;
    emit presentationChanged();
}

std::optional<TimelineSegmentHelpPresentation> TimelineSegmentDurationHelp::presentation() const
{
    if (!m_presented || !m_target)
        return std::nullopt;
    return TimelineSegmentHelpPresentation{&m_lane, m_location, m_target->duration};
}

void TimelineSegmentDurationHelp::delayDone()
{
    if (!m_target)
        return;
    m_presented = true;
    emit presentationChanged();
}

} // namespace routereel
