// The time queries of TimelineEngine: what the tracks show at a timeline time.
#include "timelineengine.h"

#include <algorithm>
#include <cmath>

namespace routereel {

using namespace trackinterpolation;

namespace {

const GPXTrack *trackWithId(const QList<GPXTrack> &tracks, const QUuid &id)
{
    for (const GPXTrack &t : tracks) {
        if (t.id == id)
            return &t;
    }
    return nullptr;
}

} // namespace

void TimelineEngine::dropCaches()
{
    m_tracksCache.reset();
    m_pointsCache.reset();
}

std::optional<TimelineEngine::Chosen> TimelineEngine::chooseSegment(const QList<GPXTrack> &tracks, double t) const
{
    if (m_segments.isEmpty() || tracks.isEmpty())
        return std::nullopt;
    for (const GPXSegment &s : m_segments) {
        if (!(s.offset <= t && t < s.offset + (s.gpxEnd - s.gpxStart)))
            continue;
        const GPXTrack *track = trackWithId(tracks, s.trackID);
        if (track && !track->trackPoints.isEmpty())
            return Chosen{track, t - s.offset + s.gpxStart, false};
    }
    // In a gap or after the end, the segment that ended last holds its final position.
    const GPXSegment *held = nullptr;
    double heldEnd = 0;
    for (const GPXSegment &s : m_segments) {
        const double end = s.offset + (s.gpxEnd - s.gpxStart);
        if (end <= t && (!held || end > heldEnd)) {
            held = &s;
            heldEnd = end;
        }
    }
    if (held) {
        const GPXTrack *track = trackWithId(tracks, held->trackID);
        if (track && !track->trackPoints.isEmpty())
            return Chosen{track, held->gpxEnd, false};
    }
    return Chosen{&tracks.first(), 0, true};
}

std::optional<TrackPosition> TimelineEngine::trackPosition(const QList<GPXTrack> &tracks, double t) const
{
    const auto chosen = chooseSegment(tracks, t);
    if (!chosen)
        return std::nullopt;
    const GPXTrack &track = *chosen->track;
    if (chosen->fallback)
        return TrackPosition{track.id, 0};
    const Instant base = track.trackPoints.first().time;
    return TrackPosition{track.id, int(pointIndex(track.trackPoints, base, chosen->localTime))};
}

std::optional<LatLng> TimelineEngine::coordinate(const QList<GPXTrack> &tracks, double t) const
{
    const auto chosen = chooseSegment(tracks, t);
    if (!chosen)
        return std::nullopt;
    const QList<TrackPoint> &points = chosen->track->trackPoints;
    if (points.isEmpty())
        return std::nullopt;
    if (chosen->fallback)
        return LatLng{points.first().lat, points.first().lng};
    return interpolateCoordinate(points, points.first().time, chosen->localTime);
}

std::optional<TimelineEngine::Heading> TimelineEngine::heading(const QList<GPXTrack> &tracks, double t) const
{
    const auto c = coordinate(tracks, t);
    if (!c)
        return std::nullopt;
    const LatLng a = coordinate(tracks, t - 0.75).value_or(*c);
    const LatLng b = coordinate(tracks, t + 0.75).value_or(*c);
    return Heading{c->lat, c->lng, initialBearing(a.lat, a.lng, b.lat, b.lng)};
}

TimelineEngine::EffectiveTracksKey TimelineEngine::cacheKey(const QList<GPXTrack> &tracks) const
{
    EffectiveTracksKey key{m_segments, {}};
    key.fingerprints.reserve(tracks.size());
    for (const GPXTrack &t : tracks)
        key.fingerprints.append({t.revision, t.trackPoints.size()});
    return key;
}

// Calls visit(track, first, last) for the run of points each segment shows, segments in offset order.
template <typename Visit>
void TimelineEngine::walkSegmentRuns(const QList<GPXTrack> &tracks, Visit visit) const
{
    QList<GPXSegment> ordered = m_segments;
    std::stable_sort(ordered.begin(), ordered.end(), [](const GPXSegment &a, const GPXSegment &b) {
        if (std::isnan(a.offset))
            return false;
        return std::isnan(b.offset) || a.offset < b.offset;
    });
    for (const GPXSegment &s : ordered) {
        const GPXTrack *track = trackWithId(tracks, s.trackID);
        if (!track || track->trackPoints.isEmpty())
            continue;
        const QList<TrackPoint> &points = track->trackPoints;
        const Instant base = points.first().time;
        const Instant windowStart = base + s.gpxStart;
        const Instant windowEnd = base + s.gpxEnd;
        const qsizetype i0 = pointIndex(points, base, s.gpxStart);
        const qsizetype i1 = std::min(pointIndex(points, base, s.gpxEnd), points.size() - 1);
        if (i1 < i0)
            continue;
        qsizetype first = -1;
        qsizetype last = -1;
        for (qsizetype i = i0; i <= i1; ++i) {
            if (points[i].time >= windowStart && points[i].time <= windowEnd) {
                if (first < 0)
                    first = i;
                last = i;
            }
        }
        if (first < 0)
            continue;
        // Times never decrease, so the kept points are one contiguous run.
        visit(*track, first, last);
    }
}

QList<GPXTrack> TimelineEngine::effectiveTracks(const QList<GPXTrack> &tracks) const
{
    EffectiveTracksKey key = cacheKey(tracks);
    if (m_tracksCache && m_tracksCache->key == key)
        return m_tracksCache->tracks;
    QList<GPXTrack> out;
    walkSegmentRuns(tracks, [&](const GPXTrack &track, qsizetype first, qsizetype last) {
        GPXTrack piece;
        piece.id = track.id;
        piece.revision = QUuid::createUuid();
        piece.fileName = track.fileName;
        piece.fileURL = track.fileURL;
        piece.colorIndex = track.colorIndex;
        piece.trackPoints = track.trackPoints.mid(first, last - first + 1);
        piece.startTime = piece.trackPoints.first().time;
        piece.endTime = piece.trackPoints.last().time;
        piece.duration = *piece.endTime - *piece.startTime;
        out.append(piece);
    });
    m_tracksCache = TracksCache{std::move(key), out};
    return out;
}

TimelineEngine::EffectiveTrackPoints TimelineEngine::effectiveTrackPoints(const QList<GPXTrack> &tracks) const
{
    EffectiveTracksKey key = cacheKey(tracks);
    if (m_pointsCache && m_pointsCache->key == key)
        return m_pointsCache->value;
    EffectiveTrackPoints result;
    walkSegmentRuns(tracks, [&](const GPXTrack &track, qsizetype first, qsizetype last) {
        const int base = int(result.points.size());
        for (qsizetype i = first; i <= last; ++i) {
            if (i == first || track.trackPoints[i].startsSegment)
                result.breaks.append(base + int(i - first));
        }
        result.points.append(track.trackPoints.mid(first, last - first + 1));
    });
    result.revision = QUuid::createUuid();
    m_pointsCache = PointsCache{std::move(key), result};
    return result;
}

} // namespace routereel
