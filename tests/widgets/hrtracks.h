#pragma once

#include "tracks/gpxtrack.h"

#include <QPainterPath>

#include <initializer_list>
#include <optional>

// A sample of a test track: time, heart rate (0 = none) and whether it starts a segment.
struct HrSample {
    double time;
    int bpm;
    bool startsSegment = false;
};

inline routereel::GPXTrack hrTrack(std::initializer_list<HrSample> samples)
{
    routereel::GPXTrack track;
    for (const HrSample &s : samples) {
        routereel::TrackPoint p;
        p.time = s.time;
        if (s.bpm != 0)
            p.heartRate = s.bpm;
        p.startsSegment = s.startsSegment;
        track.trackPoints.append(p);
    }
    return track;
}

// Number of subpaths that have at least one line segment.
inline int drawnSubpaths(const QPainterPath &path)
{
    int count = 0;
    bool counted = false;
    for (int i = 0; i < path.elementCount(); ++i) {
        const auto e = path.elementAt(i);
        if (e.isMoveTo())
            counted = false;
        else if (!counted) {
            ++count;
            counted = true;
        }
    }
    return count;
}
