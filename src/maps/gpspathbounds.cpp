#include "gpspathbounds.h"

#include "webmercator.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace routereel {

bool GPSPathBounds::crossesDatelineOf(const QList<TrackPoint> &points)
{
    if (points.isEmpty())
        return false;
    double lo = std::numeric_limits<double>::infinity();
    double hi = -lo;
    for (const TrackPoint &p : points) {
        lo = std::min(lo, p.lng);
        hi = std::max(hi, p.lng);
    }
    return hi - lo > 180;
}

GPSPathBounds GPSPathBounds::of(const QList<TrackPoint> &points)
{
    GPSPathBounds b;
    b.crossesDateline = crossesDatelineOf(points);
    if (!points.isEmpty()) {
        b.minLat = b.minLng = std::numeric_limits<double>::infinity();
        b.maxLat = b.maxLng = -std::numeric_limits<double>::infinity();
        for (const TrackPoint &p : points) {
            const double lng = adjustedLng(p.lng, b.crossesDateline);
            b.minLat = std::min(b.minLat, p.lat);
            b.maxLat = std::max(b.maxLat, p.lat);
            b.minLng = std::min(b.minLng, lng);
            b.maxLng = std::max(b.maxLng, lng);
        }
    }
    const double dx = webmercator::x(b.maxLng, 512) - webmercator::x(b.minLng, 512);
    const double dy = webmercator::y(b.minLat, 512) - webmercator::y(b.maxLat, 512);
    b.span = dx <= dy ? dy : dx;
    return b;
}

double GPSPathBounds::fittedZoom(double size, double padding) const
{
    const double available = std::max(1.0, size - 2 * padding);
    return std::min(18.0, std::log2(available / std::max(1e-9, span)));
}

} // namespace routereel
