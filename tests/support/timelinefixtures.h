#pragma once

#include "timeline/videosegment.h"
#include "timeline/videosource.h"
#include "tracks/gpxsegment.h"
#include "tracks/gpxtrack.h"

#include <QSizeF>
#include <QString>
#include <QUrl>
#include <QUuid>

// Builders for timeline lanes in tests: clips that were never probed, cuts of them, slices of tracks.
namespace testsupport {

inline routereel::VideoSource source(double duration, double w = 1920, double h = 1080, bool audio = true,
                                     const QString &path = QStringLiteral("/clips/a.mov"))
{
    routereel::VideoSource s;
    s.id = QUuid::createUuid();
    s.url = QUrl::fromLocalFile(path);
    s.duration = duration;
    s.resolution = QSizeF(w, h);
    s.hasAudio = audio;
    return s;
}

inline routereel::VideoSegment cut(const routereel::VideoSource &src, double start, double end, double offset)
{
    routereel::VideoSegment s;
    s.sourceID = src.id;
    s.sourceStart = start;
    s.sourceEnd = end;
    s.offset = offset;
    return s;
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
