#pragma once

#include "timelineengine.h"

#include "tracks/gpxtrack.h"
#include "tracks/trackposition.h"

#include <optional>

namespace routereel {

// What the widgets show at one timeline time; the preview and the export both
// read them here, so a frame shows what the preview showed at its time.
struct PlayheadValues {
    std::optional<TrackPosition> position;
    std::optional<TimelineEngine::Heading> heading;
    // The position's point counted over all tracks laid end to end (the map's index); 0 without one.
    int flattenedIndex = 0;
    // The fix at the position: its own time and heart rate, never interpolated.
    std::optional<Instant> time;
    std::optional<int> heartRate;
    // Metres per second from the fix before; 0 at a track's or polyline's first
    // fix and when the time does not advance.
    double speed = 0;

    // Degrees the map turns: the heading when it follows it, else 0.
    double mapRotation(bool followHeading) const { return followHeading && heading ? heading->degrees : 0; }
};

PlayheadValues playheadValues(const TimelineEngine &engine, const QList<GPXTrack> &tracks, double t);

// Index of the point over all tracks laid end to end; 0 without a position or for an unknown track.
int flattenedPointIndex(const std::optional<TrackPosition> &position, const QList<GPXTrack> &tracks);

} // namespace routereel
