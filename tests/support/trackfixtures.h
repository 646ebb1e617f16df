#pragma once

#include "tracks/gpxsegment.h"
#include "tracks/gpxtrack.h"
#include "tracks/trackpoint.h"

#include <QUuid>

// Builders for tracks in tests: points and slices of tracks placed on the timeline.
namespace testsupport {

inline routereel::TrackPoint trackPoint(double lat, double lng, routereel::Instant time = 0,
                                        bool startsSegment = false)
{
    routereel::TrackPoint p;
    p.lat = lat;
    p.lng = lng;
    p.time = time;
    p.startsSegment = startsSegment;
    return p;
}

inline routereel::GPXSegment segmentOf(const routereel::GPXTrack &track, double start, double end, double offset)
{
    routereel::GPXSegment s;
    s.trackID = track.id;
    s.gpxStart = start;
    s.gpxEnd = end;
    s.offset = offset;
    return s;
}

// `length` seconds of a track nobody has, from `start` into it.
inline routereel::GPXSegment gpx(double offset, double length, double start = 0)
{
    routereel::GPXSegment s;
    s.trackID = QUuid::createUuid();
    s.gpxStart = start;
    s.gpxEnd = start + length;
    s.offset = offset;
    return s;
}

} // namespace testsupport
