#pragma once

#include "tracks/trackpoint.h"

namespace routereel::trackinterpolation {

struct LatLng {
    double lat = 0;
    double lng = 0;

    bool operator==(const LatLng &) const = default;
};

// First point whose time is not before base + s; the last index when all are
// before; 0 for fewer than two points. `points` must have non-decreasing times.
qsizetype pointIndex(const QList<TrackPoint> &points, Instant base, double s);

// The position at base + s between the neighbouring fixes, the short way
// round across the 180th meridian; held on the earlier fix across a polyline
// break until the next piece begins. `points` must not be empty.
LatLng interpolateCoordinate(const QList<TrackPoint> &points, Instant base, double s);

// Great-circle initial bearing from the first to the second position, degrees in [0, 360).
double initialBearing(double lat1, double lng1, double lat2, double lng2);

// Longitude difference or sum wrapped into [-180, 180); 0 for a non-finite value.
double wrapDegrees(double x);

} // namespace routereel::trackinterpolation
