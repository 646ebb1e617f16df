#pragma once

#include "tracks/gpxservice.h"

#include <QBuffer>

#include <cmath>
#include <cstdlib>

namespace routereel::fuzz {

// What every reader promises about the points it returns; a broken promise is a crash here.
inline void checkPoints(const QList<TrackPoint> &points, bool marksSegments)
{
    for (qsizetype i = 0; i < points.size(); ++i) {
        const TrackPoint &p = points[i];
        if (!std::isfinite(p.lat) || !std::isfinite(p.lng) || std::abs(p.lat) > 90 || std::abs(p.lng) > 180)
            std::abort();
        if (p.ele && !std::isfinite(*p.ele))
            std::abort();
        if (p.heartRate && (*p.heartRate < 1 || *p.heartRate > 1000))
            std::abort();
        if (!std::isfinite(p.time))
            std::abort();
        if (marksSegments && i == 0 && !p.startsSegment)
            std::abort();
    }
}

// The store's checks and smoothing, as an import runs them.
inline void checkStore(QList<TrackPoint> points)
{
    const qsizetype n = points.size();
    const auto track = GPXService::trackFromPoints(std::move(points), QUrl());
    if (track.ok() && track.value().trackPoints.size() != n)
        std::abort();
    if (!track.ok() && track.error().message().isEmpty())
        std::abort();
}

// Runs an XML reader over the bytes: an error needs a message, points keep every promise.
template <typename Reader>
int checkXmlReader(const uint8_t *data, size_t size)
{
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    auto result = Reader().parse(&buffer);
    if (!result) {
        if (result.error().message().isEmpty())
            std::abort();
        return 0;
    }
    checkPoints(result.value(), true);
    checkStore(std::move(result).value());
    return 0;
}

} // namespace routereel::fuzz
