#include "gpspathfitcamera.h"

#include "gpspathbounds.h"
#include "webmercator.h"

#include <QSet>

#include <charconv>
#include <cmath>

namespace routereel {

GPSPathFitCamera::Camera GPSPathFitCamera::fit(const QList<TrackPoint> &points, double size, double padding)
{
    const GPSPathBounds b = GPSPathBounds::of(points);
    Camera c;
    c.lng = b.centerLng();
    c.lat = b.centerLat();
    c.zoom = std::max(0.0, b.fittedZoom(size, padding));
    c.crossesDateline = b.crossesDateline;
    return c;
}

QString GPSPathFitCamera::jsonNumber(double value)
{
    char buffer[64];
    const double magnitude = std::fabs(value);
    // Plain decimals in the usual range, exponent form for tiny and huge magnitudes.
    const bool plain = magnitude == 0 || (magnitude >= 1e-4 && magnitude < 9007199254740992.0);
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                      plain ? std::chars_format::fixed : std::chars_format::scientific);
    QString text = QString::fromLatin1(buffer, result.ptr - buffer);
    if (plain && !text.contains(QLatin1Char('.')))
        text += QStringLiteral(".0");
    return text;
}

QString GPSPathFitCamera::geoJSON(const QList<TrackPoint> &points, const QList<int> &breaks)
{
    const bool crosses = GPSPathBounds::crossesDatelineOf(points);
    const QSet<int> breakSet(breaks.begin(), breaks.end());
    QStringList features;
    QStringList run;
    const auto closeRun = [&] {
        if (run.size() >= 2) {
            features.append(QStringLiteral("{\"type\":\"Feature\",\"geometry\":{\"type\":\"LineString\",\"coordinates\":[")
                            + run.join(QLatin1Char(',')) + QStringLiteral("]}}"));
        }
        run.clear();
    };
    for (qsizetype i = 0; i < points.size(); ++i) {
        if (i > 0 && breakSet.contains(int(i)))
            closeRun();
        const TrackPoint &p = points[i];
        run.append(QLatin1Char('[') + jsonNumber(GPSPathBounds::adjustedLng(p.lng, crosses)) + QLatin1Char(',')
                   + jsonNumber(p.lat) + QLatin1Char(']'));
    }
    closeRun();
    return QStringLiteral("{\"type\":\"FeatureCollection\",\"features\":[") + features.join(QLatin1Char(','))
           + QStringLiteral("]}");
}

QPointF GPSPathFitCamera::project(double lat, double lng, const Camera &camera, double size, double scale)
{
    const double world = std::exp2(camera.zoom) * 512;
    const double adjusted = GPSPathBounds::adjustedLng(lng, camera.crossesDateline);
    return {(webmercator::x(adjusted, world) - webmercator::x(camera.lng, world) + size / 2) * scale,
            (webmercator::y(lat, world) - webmercator::y(camera.lat, world) + size / 2) * scale};
}

} // namespace routereel
