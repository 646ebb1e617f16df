#pragma once

#include <QUuid>

namespace routereel {

// A slice of one track placed on the timeline; all times in seconds.
struct GPXSegment {
    QUuid id = QUuid::createUuid();
    QUuid trackID;
    double gpxStart = 0;  // track time: seconds after the track's startTime
    double gpxEnd = 0;
    double offset = 0;    // timeline time at which gpxStart is shown

    bool operator==(const GPXSegment &) const = default;
};

} // namespace routereel
