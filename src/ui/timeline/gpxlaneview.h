#pragma once

#include "timelinelane.h"

#include "tracks/gpxsegment.h"

#include <QUuid>

#include <optional>

namespace routereel {

// The GPX lane: one bar per GPX segment in its track's colour. A click
// selects, a drag of the body moves the segment (committed once, on release),
// a drag of an edge trims it live, a second click close in time and place
// snaps the segment under it to its predecessor.
class GPXLaneView : public TimelineLane {
    Q_OBJECT

public:
    GPXLaneView(TimelineView &view, TimelineScrollArea &area);

    struct Hit {
        GPXSegment segment;
        LaneHitZone zone;
    };

    SegmentGeometry segmentGeometry(const GPXSegment &segment) const;
    QColor trackColor(const GPXSegment &segment) const;
    std::optional<double> trackDuration(const GPXSegment &segment) const;
    std::optional<Hit> segmentHit(QPointF point) const;
    TimelineSegmentHoverHit hoverHitTest(QPointF point) const override;

    static constexpr double doubleClickSeconds = 0.35;
    static constexpr double doubleClickDistance = 10;

protected:
    void handleDragChanged(const Drag &drag) override;
    void handleDragEnded(const Drag &drag) override;
    void resetGestureState() override;
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void click(QPointF point);
    void retranslate();

    QUuid m_activeDragId;
    double m_dragStartOffset = 0;
    double m_dragDelta = 0;
    QUuid m_activeTrimSId;
    double m_trimSGpx = 0;
    double m_trimSOffset = 0;
    QUuid m_activeTrimEId;
    double m_trimEGpx = 0;
    double m_lastTapTime = -1e300;
    QPointF m_lastTapLoc;
    std::optional<double> m_gesturePps;
};

} // namespace routereel
