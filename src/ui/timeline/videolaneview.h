#pragma once

#include "timelinelane.h"

#include "timeline/videosegment.h"

#include <QUuid>

#include <optional>

namespace routereel {

// The video lane: one blue bar per video segment, labelled with the file name
// and the segment's length, with the user's markers over it. A drag of the
// body previews the move across the whole panel and commits it on release;
// edges trim live; a double click on one segment snaps it to its predecessor;
// the context menu sets a marker at the playhead.
class VideoLaneView : public TimelineLane {
    Q_OBJECT

public:
    VideoLaneView(TimelineView &view, TimelineScrollArea &area);

    struct Hit {
        VideoSegment segment;
        LaneHitZone zone;
        QRectF rect;
    };

    SegmentGeometry segmentGeometry(const VideoSegment &segment) const;
    std::optional<Hit> segmentHit(QPointF point) const;
    TimelineSegmentHoverHit hoverHitTest(QPointF point) const override;
    // "name  00:01:15.50"
    QString label(const VideoSegment &segment) const;

protected:
    void handleDragChanged(const Drag &drag) override;
    void handleDragEnded(const Drag &drag) override;
    void resetGestureState() override;
    void paintEvent(QPaintEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void click(QPointF point);
    void paintMarkers(QPainter &painter) const;
    void retranslate();

    QUuid m_dragging;
    QUuid m_trimming;
    bool m_trimLeft = false;
    double m_startOffset = 0;
    double m_startSource = 0;
    double m_endSource = 0;
    double m_lastTapTime = -1e300;
    QUuid m_lastTapId;
    std::optional<double> m_gesturePps;
};

} // namespace routereel
