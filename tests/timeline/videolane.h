#pragma once

#include "timeline/videosegment.h"
#include "timeline/videosource.h"

// Small builders for video lanes in tests.
namespace videolane {

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

} // namespace videolane
