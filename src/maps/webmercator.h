#pragma once

#include <cmath>
#include <numbers>

namespace routereel {

// Web Mercator world pixel coordinates for a world `worldSize` pixels wide.
namespace webmercator {

inline constexpr double maxLatitude = 85.0511287798;
inline constexpr double maxLatitudeRadians = 1.484422229745217;

inline double x(double lng, double worldSize)
{
    return (lng + 180.0) / 360.0 * worldSize;
}

inline double y(double lat, double worldSize)
{
    double phi;
    if (lat < -maxLatitude)
        phi = -maxLatitudeRadians;
    else if (lat >= maxLatitude)
        phi = maxLatitudeRadians;
    else
        phi = lat * std::numbers::pi / 180.0;
    return (1.0 - std::log(std::tan(phi) + 1.0 / std::cos(phi)) / std::numbers::pi) / 2.0 * worldSize;
}

// Moves `x` by whole world widths so that it lies nearest `reference` (halves away from zero).
inline double unwrapNear(double x, double reference, double worldSize)
{
    return x + std::round((reference - x) / worldSize) * worldSize;
}

} // namespace webmercator
} // namespace routereel
