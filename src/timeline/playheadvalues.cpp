#include "playheadvalues.h"

namespace routereel {

int flattenedPointIndex(const std::optional<TrackPosition> &position, const QList<GPXTrack> &tracks)
{
    if (!position)
        return 0;
    int before = 0;
    for (const GPXTrack &track : tracks) {
        if (track.id == position->trackID)
            return before + position->index;
        before += int(track.trackPoints.size());
    }
    return 0;
}

PlayheadValues playheadValues(const TimelineEngine &engine, const QList<GPXTrack> &tracks, double t)
{
    PlayheadValues values;
    values.position = engine.trackPosition(tracks, t);
    values.heading = engine.heading(tracks, t);
    values.flattenedIndex = flattenedPointIndex(values.position, tracks);
    if (!values.position)
        return values;
    const GPXTrack *track = nullptr;
    for (const GPXTrack &candidate : tracks) {
        if (candidate.id == values.position->trackID) {
            track = &candidate;
            break;
        }
    }
    const int i = values.position->index;
    if (!track || i < 0 || i >= track->trackPoints.size())
        return values;
    const TrackPoint &point = track->trackPoints.at(i);
    values.time = point.time;
    values.heartRate = point.heartRate;
    if (i > 0 && !point.startsSegment) {
        const TrackPoint &previous = track->trackPoints.at(i - 1);
        const double dt = point.time - previous.time;
        if (dt > 0)
            values.speed = haversineDistance(previous, point) / dt;
    }
    return values;
}

} // namespace routereel
