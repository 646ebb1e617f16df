#include "trackinterpolation.h"

#include <algorithm>
#include <cmath>

namespace routereel::trackinterpolation {

qsizetype pointIndex(const QList<TrackPoint> &points, Instant base, double s)
{
    const qsizetype n = points.size();
    if (n <= 1)
        return 0;
    const Instant target = base + s;
    qsizetype lo = 0;
    qsizetype hi = n - 1;
    while (lo < hi) {
        const qsizetype mid = (lo + hi) / 2;
        if (points[mid].time < target)
            lo = mid + 1;
        else
            hi = mid;
    }
    return std::clamp<qsizetype>(lo, 0, n - 1);
}

double wrapDegrees(double x)
{
    if (!std::isfinite(x))
        return 0;
    double y = std::fmod(x + 180.0, 360.0);
    if (y < 0)
        y += 360.0;
    return y - 180.0;
}

LatLng interpolateCoordinate(const QList<TrackPoint> &points, Instant base, double s)
{
    const Instant target = base + s;
    const qsizetype i = pointIndex(points, base, s);
    if (i == 0)
        return {points.first().lat, points.first().lng};
    const TrackPoint &prev = points[i - 1];
    const TrackPoint &next = points[i];
    if (next.startsSegment && target < next.time)
        return {prev.lat, prev.lng};
    const double dt = next.time - prev.time;
    double r = 0;
    if (dt > 0) {
        r = (target - prev.time) / dt;
        r = r > 0 ? std::min(r, 1.0) : 0.0;
    }
    const double d = wrapDegrees(next.lng - prev.lng);
    return {prev.lat + (next.lat - prev.lat) * r, wrapDegrees(prev.lng + d * r)};
}

double initialBearing(double lat1, double lng1, double lat2, double lng2)
{
    constexpr double pi = 3.141592653589793;
    const double phi1 = lat1 * pi / 180;
    const double phi2 = lat2 * pi / 180;
    const double dLambda = (lng2 - lng1) * pi / 180;
    const double y = std::sin(dLambda) * std::cos(phi2);
    const double x = std::cos(phi1) * std::sin(phi2) - std::sin(phi1) * std::cos(phi2) * std::cos(dLambda);
    const double theta = std::atan2(y, x) * 180 / pi;
    return std::fmod(theta + 360, 360);
}

} // namespace routereel::trackinterpolation
