#include "trackpoint.h"

#include <QRandomGenerator>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace routereel {

QUuid newTrackPointId()
{
    thread_local QRandomGenerator generator = QRandomGenerator::securelySeeded();
    quint32 words[4];
    generator.fillRange(words);
    const quint16 w1 = quint16(words[1] >> 16);
    const quint16 w2 = quint16((words[1] & 0x0fff) | 0x4000); // version 4
    const quint8 b1 = quint8(((words[2] >> 24) & 0x3f) | 0x80); // RFC 4122 variant
    return QUuid(words[0], w1, w2, b1, quint8(words[2] >> 16), quint8(words[2] >> 8),
                 quint8(words[2]), quint8(words[3] >> 24), quint8(words[3] >> 16),
                 quint8(words[3] >> 8), quint8(words[3]));
}

bool TrackPoint::operator==(const TrackPoint &other) const
{
    return lat == other.lat && lng == other.lng && ele == other.ele && time == other.time
        && heartRate == other.heartRate && startsSegment == other.startsSegment;
}

double wrapLongitude(double lng)
{
    double r = std::fmod(lng + 180.0, 360.0);
    if (r < 0)
        r += 360.0;
    return r - 180.0;
}

double haversineDistance(const TrackPoint &a, const TrackPoint &b)
{
    constexpr double rad = std::numbers::pi / 180.0;
    const double dLat = (b.lat - a.lat) * rad;
    const double dLng = (b.lng - a.lng) * rad;
    const double sLat = std::sin(dLat / 2);
    const double sLng = std::sin(dLng / 2);
    double h = sLat * sLat + std::cos(a.lat * rad) * std::cos(b.lat * rad) * sLng * sLng;
    h = std::isnan(h) ? 0.0 : std::clamp(h, 0.0, 1.0);
    return std::atan2(std::sqrt(h), std::sqrt(1 - h)) * 12'742'000.0;
}

QList<TrackPoint> TrackPoint::smoothed(const QList<TrackPoint> &points, int window)
{
    const qsizetype n = points.size();
    if (window < 2 || n < window)
        return points;

    const qsizetype half = window / 2;
    QList<TrackPoint> out;
    out.reserve(n);
    for (qsizetype i = 0; i < n; ++i) {
        const qsizetype lo = std::max<qsizetype>(i - half, 0);
        qsizetype start = lo;
        for (qsizetype j = i; j >= lo; --j) {
            if (points[j].startsSegment) {
                start = j;
                break;
            }
        }
        const qsizetype hi = std::min<qsizetype>(i + half, n - 1);
        qsizetype end = hi;
        for (qsizetype j = i + 1; j <= hi; ++j) {
            if (points[j].startsSegment) {
                end = j - 1;
                break;
            }
        }

        const TrackPoint &p = points[i];
        const double m = double(end - start + 1);
        double latSum = 0, lngSum = 0, eleSum = 0;
        int eleCount = 0;
        for (qsizetype j = start; j <= end; ++j) {
            const TrackPoint &q = points[j];
            latSum += q.lat;
            const double d = wrapLongitude(q.lng - p.lng);
            lngSum += p.lng + (std::isfinite(d) ? d : 0.0);
            if (q.ele) {
                eleSum += *q.ele;
                ++eleCount;
            }
        }
        const double lngMean = lngSum / m;

        TrackPoint s;
        s.lat = latSum / m;
        s.lng = std::isfinite(lngMean) ? wrapLongitude(lngMean) : 0.0;
        if (eleCount > 0)
            s.ele = eleSum / eleCount;
        s.time = p.time;
        s.heartRate = p.heartRate;
        s.startsSegment = p.startsSegment;
        out.append(s);
    }
    return out;
}

} // namespace routereel
