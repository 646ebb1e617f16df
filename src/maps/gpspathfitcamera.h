#pragma once

#include "tracks/trackpoint.h"

#include <QList>
#include <QPointF>
#include <QString>

namespace routereel {

// Fits a track into the square GPS path widget: the camera handed to the web
// map pages and the GeoJSON text of the track.
class GPSPathFitCamera {
public:
    struct Camera {
        double lng = 0;  // above 180 when the track crosses the date line
        double lat = 0;
        double zoom = 0;  // fractional web-map zoom, 0...18, world 512 px wide at zoom 0
        bool crossesDateline = false;

        bool operator==(const Camera &) const = default;
    };

    static Camera fit(const QList<TrackPoint> &points, double size, double padding);

    // A FeatureCollection with one LineString per run of at least two points between breaks.
    static QString geoJSON(const QList<TrackPoint> &points, const QList<int> &breaks);

    // A position in the pixels of a map image of side `size` captured with `camera`, times `scale`.
    static QPointF project(double lat, double lng, const Camera &camera, double size, double scale);

    // Shortest text that reads back as the same double; whole numbers keep ".0".
    static QString jsonNumber(double value);
};

} // namespace routereel
