#pragma once

#include "tracks/trackpoint.h"

#include <QList>

namespace routereel {

// Bounds of a track in the GPS path widget's Web Mercator convention (a world
// 512 pixels wide at zoom 0). When the longitudes span more than 180 degrees
// the track is taken to cross the date line and every negative longitude gets
// 360 added, so the track stays one piece.
struct GPSPathBounds {
    bool crossesDateline = false;
    double minLat = 0;
    double maxLat = 0;
    double minLng = 0;  // adjusted
    double maxLng = 0;  // adjusted
    double span = 0;    // larger side of the bounds in world pixels at zoom 0

    static GPSPathBounds of(const QList<TrackPoint> &points);
    static bool crossesDatelineOf(const QList<TrackPoint> &points);

    static double adjustedLng(double lng, bool crossesDateline) { return crossesDateline && lng < 0 ? lng + 360 : lng; }
    double centerLng() const { return (minLng + maxLng) / 2; }
    double centerLat() const { return (minLat + maxLat) / 2; }
    // The zoom that fits the span into `size` less twice `padding`, at most 18 (may be negative).
    double fittedZoom(double size, double padding) const;
};

} // namespace routereel
