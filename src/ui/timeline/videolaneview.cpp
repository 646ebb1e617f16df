#include "videolaneview.h"

#include "timelinepalette.h"
#include "timelinesegmentdurationhelp.h"
#include "timelineview.h"

#include "timeline/playbackclock.h"
#include "timeline/timelineengine.h"
#include "timeline/videoplayerservice.h"
#include "ui/icons/symbolicon.h"

#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QPainter>
#include <QStyleHints>

#include <cmath>

namespace routereel {

namespace {
using namespace timelinemetrics;
}

VideoLaneView::VideoLaneView(TimelineView &view, TimelineScrollArea &area)
    : TimelineLane(view, area)
{
    setObjectName(QStringLiteral("videoLane"));
    TimelineEngine &engine = view.engine();
    connect(&engine, &TimelineEngine::videoSegmentsChanged, this, [this] {
        durationHelp().hide();
        update();
    });
    connect(&engine, &TimelineEngine::videoSourcesChanged, this, qOverload<>(&QWidget::update));
    connect(&engine, &TimelineEngine::selectedVideoIdChanged, this, qOverload<>(&QWidget::update));
    connect(&view, &TimelineView::markersChanged, this, qOverload<>(&QWidget::update));
    connect(&view, &TimelineView::videoDragChanged, this, qOverload<>(&QWidget::update));
    retranslate();
}

void VideoLaneView::retranslate()
{
    setAccessibleName(tr("Video lane"));
    setAccessibleDescription(tr("Video segments on the timeline. Click to select, drag to move, drag an edge to "
                                "trim, double-click to close the gap to the segment before; the context menu sets "
                                "a marker at the playhead."));
}

void VideoLaneView::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    TimelineLane::changeEvent(event);
}

SegmentGeometry VideoLaneView::segmentGeometry(const VideoSegment &segment) const
{
    return routereel::segmentGeometry(m_view.videoSegmentStart(segment), segment.sourceEnd - segment.sourceStart,
                                      m_view.pps(), leadPad, trackH, handleW);
}

std::optional<VideoLaneView::Hit> VideoLaneView::segmentHit(QPointF point) const
{
    const QList<VideoSegment> segments = m_view.engine().videoSegments();
    for (auto it = segments.crbegin(); it != segments.crend(); ++it) {
        const SegmentGeometry g = segmentGeometry(*it);
        if (laneContains(g, point.x(), point.y()))
            return Hit{*it, laneHitZone(g, point.x()), g.rect};
    }
    return std::nullopt;
}

TimelineSegmentHoverHit VideoLaneView::hoverHitTest(QPointF point) const
{
    const std::optional<Hit> hit = segmentHit(point);
    if (!hit)
        return {};
    return {TimelineSegmentHoverTarget{hit->segment.id, hit->segment.length()}, hit->zone != LaneHitZone::body};
}

QString VideoLaneView::label(const VideoSegment &segment) const
{
    QString name;
    for (const VideoSource &source : m_view.engine().videoSources()) {
        if (source.id == segment.sourceID) {
            name = source.url.fileName();
            break;
        }
    }
    return name + QStringLiteral("  ") + formatTimecode(segment.length(), false);
}

void VideoLaneView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QFont font = this->font();
    font.setPixelSize(10);
    p.setFont(font);
    const QColor blue = timelinepalette::blue(palette());
    const QColor labelColor = timelinepalette::barLabel();
    const QUuid selected = m_view.engine().selectedVideoId();
    for (const VideoSegment &segment : m_view.engine().videoSegments()) {
        const SegmentGeometry g = segmentGeometry(segment);
        if (!isVisible(g))
            continue;
        paintBar(p, g, blue, segment.id == selected, [&](QPainter &lp, const QRectF &area) {
            lp.setPen(labelColor);
            lp.drawText(QRectF(area.left() + 2, area.top(), 4000, area.height()), Qt::AlignLeft | Qt::AlignVCenter,
                        label(segment));
        });
    }
    paintMarkers(p);
}

void VideoLaneView::paintMarkers(QPainter &p) const
{
    const QList<double> markers = m_view.markers();
    const double pps = m_view.pps();
    const double scroll = scrollOffset();
    const double h = height();
    const QColor orange = timelinepalette::orange(palette());
    const auto visibleSpan = [&](double x0, double x1) {
        return QRectF(QPointF(std::max(x0, -2.0), 3), QPointF(std::min(x1, width() + 2.0), h - 3));
    };
    for (double m : markers) {
        const double x = m * pps + leadPad - scroll;
        if (x > -2 && x < width() + 2)
            p.fillRect(QRectF(x, 3, 2, h - 6), orange);
    }
    if (markers.size() == 2) {
        QColor band = orange;
        band.setAlphaF(0.15);
        const double x0 = leadPad + std::min(markers[0], markers[1]) * pps - scroll;
        const QRectF r = visibleSpan(x0, x0 + std::fabs(markers[1] - markers[0]) * pps);
        if (r.width() > 0)
            p.fillRect(r, band);
    }
}

void VideoLaneView::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    QAction *mark = menu.addAction(symbolIcon(QStringLiteral("flag.fill")), tr("Mark"));
    connect(mark, &QAction::triggered, this,
            [this] { m_view.addMarker(m_view.playerService().clock()->playheadTime()); });
    execContextMenu(menu, event->globalPos());
}

void VideoLaneView::handleDragChanged(const Drag &drag)
{
    TimelineEngine &engine = m_view.engine();
    const double tx = drag.translation.x();
    if (m_dragging.isNull() && m_trimming.isNull()) {
        if (std::fabs(tx) < dragThreshold)
            return;
        const std::optional<Hit> hit = segmentHit(drag.start);
        if (!hit)
            return;
        engine.setSelectedVideoId(hit->segment.id);
        m_startOffset = hit->segment.offset;
        m_startSource = hit->segment.sourceStart;
        m_endSource = hit->segment.sourceEnd;
        m_gesturePps = m_view.pps();
        if (hit->zone == LaneHitZone::body) {
            m_dragging = hit->segment.id;
        } else {
            m_trimming = hit->segment.id;
            m_trimLeft = hit->zone == LaneHitZone::startHandle;
        }
    }
    const double dt = tx / m_gesturePps.value_or(m_view.pps());
    if (!m_dragging.isNull()) {
        const double offset = m_startOffset + dt;
        m_view.setVideoDrag(VideoDragPreview{m_dragging, std::isnan(offset) ? 0 : std::max(0.0, offset)});
    } else if (m_trimLeft) {
        engine.trimVideoSegmentStart(m_trimming, m_startSource + dt, m_startOffset + dt);
    } else {
        engine.trimVideoSegmentEnd(m_trimming, m_endSource + dt);
    }
}

void VideoLaneView::handleDragEnded(const Drag &drag)
{
    if (const std::optional<VideoDragPreview> preview = m_view.videoDrag()) {
        m_view.engine().moveVideoSegment(preview->id, preview->offset);
        resetGestureState();
        return;
    }
    if (m_trimming.isNull())
        click(drag.start);
    resetGestureState();
}

void VideoLaneView::click(QPointF point)
{
    TimelineEngine &engine = m_view.engine();
    const std::optional<Hit> tapped = segmentHit(point);
    const double time = now();
    const double interval = QGuiApplication::styleHints()->mouseDoubleClickInterval() / 1000.0;
    if (tapped && tapped->segment.id == m_lastTapId && time - m_lastTapTime < interval) {
        engine.setSelectedVideoId(tapped->segment.id);
        engine.snapVideoSegment(tapped->segment.id);
        m_lastTapId = QUuid();  // a third quick click is a single click again
    } else {
        engine.toggleVideoSegmentSelection(tapped ? tapped->segment.id : QUuid());
        m_lastTapId = tapped ? tapped->segment.id : QUuid();
    }
    m_lastTapTime = time;
}

void VideoLaneView::resetGestureState()
{
    m_view.setVideoDrag(std::nullopt);
    m_dragging = QUuid();
    m_trimming = QUuid();
    m_gesturePps.reset();
    m_view.engine().endTrimGesture();
}

} // namespace routereel
