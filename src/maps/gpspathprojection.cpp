#include "gpspathprojection.h"

#include "gpspathbounds.h"
#include "webmercator.h"

#include <cmath>

namespace routereel {

GPSPathProjection GPSPathProjection::make(const QList<TrackPoint> &points, const QList<int> &breaks,
                                          std::optional<double> padding, double size)
{
    GPSPathProjection p;
    p.size = size;
    p.padding = padding.value_or(0.15 * size);
    const GPSPathBounds b = GPSPathBounds::of(points);
    p.crossesDateline = b.crossesDateline;
    p.zoomFloat = std::max(1.0, b.fittedZoom(size, p.padding));
    p.zoom = int(std::floor(p.zoomFloat));
    const double world = std::exp2(p.zoomFloat) * p.tws;
    p.centerPx = webmercator::x(b.centerLng(), world);
    p.centerPy = webmercator::y(b.centerLat(), world);
    p.pts.reserve(points.size());
    for (const TrackPoint &tp : points)
        p.pts.append(p.point(tp.lat, tp.lng));
    p.breaks = QSet<int>(breaks.begin(), breaks.end());
    return p;
}

QPointF GPSPathProjection::point(double lat, double lng) const
{
    const double world = std::exp2(zoomFloat) * tws;
    const double adjusted = GPSPathBounds::adjustedLng(lng, crossesDateline);
    return {webmercator::x(adjusted, world) - centerPx + size / 2, webmercator::y(lat, world) - centerPy + size / 2};
}

} // namespace routereel
