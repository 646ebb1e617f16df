#pragma once

#include "maps/webmercator.h"
#include "tracks/trackpoint.h"

#include "support/trackfixtures.h"

#include <QColor>
#include <QImage>

#include <cmath>
#include <numbers>

namespace maptest {

inline routereel::TrackPoint point(double lat, double lng, bool startsSegment = false)
{
    return testsupport::trackPoint(lat, lng, 0, startsSegment);
}

// The position `dx`, `dy` world pixels away from (lat, lng) in a world `worldSize` pixels wide.
inline routereel::TrackPoint offset(double lat, double lng, double dx, double dy, double worldSize)
{
    const double x = routereel::webmercator::x(lng, worldSize) + dx;
    const double y = routereel::webmercator::y(lat, worldSize) + dy;
    const double outLng = x / worldSize * 360 - 180;
    const double outLat = std::atan(std::sinh(std::numbers::pi * (1 - 2 * y / worldSize))) * 180 / std::numbers::pi;
    return point(outLat, outLng);
}

// The travelled line's cyan over the generated tiles (whose red never drops below ~180).
inline bool isTravelledLine(QRgb c)
{
    return qAlpha(c) > 200 && qRed(c) < 90 && qBlue(c) > 200;
}

inline bool isGrey(QRgb c)
{
    return std::abs(qRed(c) - 237) <= 1 && std::abs(qGreen(c) - 237) <= 1 && std::abs(qBlue(c) - 237) <= 1;
}

} // namespace maptest
