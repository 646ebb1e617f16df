#pragma once

#include "tracks/trackpoint.h"

#include <QList>
#include <QPointF>
#include <QSet>

#include <optional>

namespace routereel {

// A track projected into the square GPS path widget, in pixels with the
// origin top left and y growing downward.
struct GPSPathProjection {
    double size = 0;
    double padding = 0;
    int zoom = 0;           // whole part of zoomFloat
    double zoomFloat = 0;   // 1...18
    double tws = 512;       // world width at zoom 0
    double centerPx = 0;    // world pixels of the track's centre at zoomFloat
    double centerPy = 0;
    QList<QPointF> pts;
    QSet<int> breaks;
    bool crossesDateline = false;

    // `padding` defaults to 15 % of `size`.
    static GPSPathProjection make(const QList<TrackPoint> &points, const QList<int> &breaks,
                                  std::optional<double> padding, double size);

    // One position in this projection's pixels; may lie outside the square.
    QPointF point(double lat, double lng) const;
};

} // namespace routereel
