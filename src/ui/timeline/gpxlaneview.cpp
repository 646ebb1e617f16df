#include "gpxlaneview.h"

#include "timelinepalette.h"
#include "timelinesegmentdurationhelp.h"
#include "timelineview.h"

#include "timeline/timelineengine.h"
#include "tracks/gpxservice.h"
#include "ui/icons/symbolicon.h"
#include "widgets/views/paintedpixelratio.h"

#include <QEvent>
#include <QPainter>

#include <cmath>

namespace routereel {

namespace {
using namespace timelinemetrics;
const QString trackSymbol = QStringLiteral("point.topleft.down.to.point.bottomright.curvepath");
}

GPXLaneView::GPXLaneView(TimelineView &view, TimelineScrollArea &area)
    : TimelineLane(view, area)
{
    setObjectName(QStringLiteral("gpxLane"));
    connect(&view.engine(), &TimelineEngine::segmentsChanged, this, [this] {
        durationHelp().hide();
        update();
    });
    connect(&view.engine(), &TimelineEngine::selectedIdChanged, this, qOverload<>(&QWidget::update));
    connect(&view.gpxService(), &GPXService::tracksChanged, this, qOverload<>(&QWidget::update));
    retranslate();
}

void GPXLaneView::retranslate()
{
    setAccessibleName(tr("GPX lane"));
    setAccessibleDescription(tr("Track segments on the timeline. Click to select, drag to move, drag an edge to "
                                "trim, double-click to close the gap to the segment before."));
}

void GPXLaneView::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    TimelineLane::changeEvent(event);
}

SegmentGeometry GPXLaneView::segmentGeometry(const GPXSegment &segment) const
{
    double start = segment.offset;
    if (!m_activeDragId.isNull() && m_activeDragId == segment.id)
        start = segment.offset + m_dragDelta / m_gesturePps.value_or(m_view.pps());
    return routereel::segmentGeometry(start, segment.gpxEnd - segment.gpxStart, m_view.pps(), leadPad, trackH, handleW);
}

QColor GPXLaneView::trackColor(const GPXSegment &segment) const
{
    return routereel::trackColor(m_view.gpxService().tracks(), segment.trackID);
}

std::optional<double> GPXLaneView::trackDuration(const GPXSegment &segment) const
{
    for (const GPXTrack &track : m_view.gpxService().tracks()) {
        if (track.id == segment.trackID)
            return track.duration;
    }
    return std::nullopt;
}

std::optional<GPXLaneView::Hit> GPXLaneView::segmentHit(QPointF point) const
{
    const QList<GPXSegment> segments = m_view.engine().segments();
    for (auto it = segments.crbegin(); it != segments.crend(); ++it) {
        const SegmentGeometry g = segmentGeometry(*it);
        if (laneContains(g, point.x(), point.y()))
            return Hit{*it, laneHitZone(g, point.x())};
    }
    return std::nullopt;
}

TimelineSegmentHoverHit GPXLaneView::hoverHitTest(QPointF point) const
{
    if (m_view.gpxService().tracks().isEmpty())
        return {};
    const std::optional<Hit> hit = segmentHit(point);
    if (!hit)
        return {};
    return {TimelineSegmentHoverTarget{hit->segment.id, hit->segment.gpxEnd - hit->segment.gpxStart},
            hit->zone != LaneHitZone::body};
}

void GPXLaneView::paintEvent(QPaintEvent *)
{
    if (m_view.gpxService().tracks().isEmpty())
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor labelColor = timelinepalette::barLabel();
    // The icon is drawn once for the whole pass, at the device's pixels: the size is
    // in points, the ratio is the device's.
    const QPixmap icon = symbolIcon(trackSymbol, labelColor).pixmap(QSize(10, 10), paintedPixelRatio(p));
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(9);
    p.setFont(font);
    const QUuid selected = m_view.engine().selectedId();
    for (const GPXSegment &segment : m_view.engine().segments()) {
        const SegmentGeometry g = segmentGeometry(segment);
        if (!isVisible(g))
            continue;
        const double duration = segment.gpxEnd - segment.gpxStart;
        paintBar(p, g, trackColor(segment), segment.id == selected, [&](QPainter &lp, const QRectF &area) {
            lp.drawPixmap(QRectF(area.left() + 4, area.center().y() - 5, 10, 10), icon, QRectF(icon.rect()));
            lp.setPen(labelColor);
            lp.drawText(QRectF(area.left() + 18, area.top(), 1000, area.height()), Qt::AlignLeft | Qt::AlignVCenter,
                        formatLaneDuration(duration));
        });
    }
}

void GPXLaneView::handleDragChanged(const Drag &drag)
{
    TimelineEngine &engine = m_view.engine();
    const double tx = drag.translation.x();
    if (m_activeDragId.isNull() && m_activeTrimSId.isNull() && m_activeTrimEId.isNull()) {
        if (std::fabs(tx) < dragThreshold)
            return;
        const std::optional<Hit> hit = segmentHit(drag.start);
        if (!hit)
            return;
        m_gesturePps = m_view.pps();
        switch (hit->zone) {
        case LaneHitZone::startHandle:
            m_activeTrimSId = hit->segment.id;
            m_trimSGpx = hit->segment.gpxStart;
            m_trimSOffset = hit->segment.offset;
            break;
        case LaneHitZone::endHandle:
            m_activeTrimEId = hit->segment.id;
            m_trimEGpx = hit->segment.gpxEnd;
            break;
        case LaneHitZone::body:
            m_activeDragId = hit->segment.id;
            m_dragStartOffset = hit->segment.offset;
            engine.setSelectedId(hit->segment.id);
            break;
        }
    }
    const double p = m_gesturePps.value_or(m_view.pps());
    const auto durationOf = [&](const QUuid &id) {
        for (const GPXSegment &s : engine.segments()) {
            if (s.id == id)
                return trackDuration(s).value_or(0);
        }
        return 0.0;
    };
    if (!m_activeDragId.isNull()) {
        // The bar follows the pointer but never goes left of time 0; the engine waits for the release.
        m_dragDelta = std::max(tx, -m_dragStartOffset * p);
        update();
    } else if (!m_activeTrimSId.isNull()) {
        const double dt = tx / p;
        engine.trimSegmentStart(m_activeTrimSId, m_trimSGpx + dt, m_trimSOffset + dt, durationOf(m_activeTrimSId));
    } else if (!m_activeTrimEId.isNull()) {
        const double dt = tx / p;
        engine.trimSegmentEnd(m_activeTrimEId, m_trimEGpx + dt, durationOf(m_activeTrimEId));
    }
}

void GPXLaneView::handleDragEnded(const Drag &drag)
{
    if (!m_activeDragId.isNull()) {
        // The raw translation: the engine clamps the offset at 0.
        m_view.engine().moveSegment(m_activeDragId,
                                    m_dragStartOffset + drag.translation.x() / m_gesturePps.value_or(m_view.pps()));
        resetGestureState();
        return;
    }
    if (m_activeTrimSId.isNull() && m_activeTrimEId.isNull())
        click(drag.start);
    resetGestureState();
}

void GPXLaneView::click(QPointF point)
{
    TimelineEngine &engine = m_view.engine();
    const double time = now();
    const std::optional<Hit> hit = segmentHit(point);
    // Close in time and place is enough: the second click snaps whatever segment it lands on,
    // and so does a third quick click after it.
    const bool doubleClick = hit && time - m_lastTapTime < doubleClickSeconds
                             && std::hypot(point.x() - m_lastTapLoc.x(), point.y() - m_lastTapLoc.y())
                                    < doubleClickDistance;
    if (doubleClick)
        engine.snapSegment(hit->segment.id);
    else
        engine.toggleSegmentSelection(hit ? hit->segment.id : QUuid());
    m_lastTapTime = time;
    m_lastTapLoc = point;
}

void GPXLaneView::resetGestureState()
{
    m_activeDragId = QUuid();
    m_activeTrimSId = QUuid();
    m_activeTrimEId = QUuid();
    m_gesturePps.reset();
    m_dragDelta = 0;
    m_view.engine().endTrimGesture();
    update();
}

} // namespace routereel
