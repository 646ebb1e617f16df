#pragma once

#include "gpxtrack.h"

namespace routereel {

// Every track's points merged into one list, with the indices where a polyline begins.
struct MapTrackData {
    QUuid revision = QUuid::createUuid();
    QList<TrackPoint> points;
    QList<int> breaks;

    static MapTrackData build(const QList<GPXTrack> &tracks);
};

} // namespace routereel
