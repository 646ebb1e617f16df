#pragma once

#include "support/trackfixtures.h"
#include "timeline/videosegment.h"
#include "media/videosource.h"

#include <QSizeF>
#include <QString>
#include <QUrl>
#include <QUuid>

// Builders for the video lane in tests: clips that were never probed and cuts of them.
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

} // namespace testsupport
