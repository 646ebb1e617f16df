#pragma once

#include <QPointF>
#include <QUuid>

#include <optional>

class QWidget;

namespace routereel {

// The segment under the pointer, as a lane's hover hit test reports it.
struct TimelineSegmentHoverTarget {
    QUuid id;
    double duration = 0;
    bool operator==(const TimelineSegmentHoverTarget &) const = default;
};

struct TimelineSegmentHoverHit {
    std::optional<TimelineSegmentHoverTarget> target;
    bool resizeCursor = false;
};

// What the panel's tooltip shows: a duration next to the pointer in a lane.
struct TimelineSegmentHelpPresentation {
    const QWidget *lane = nullptr;
    QPointF location;  // lane coordinates
    double duration = 0;
};

} // namespace routereel
