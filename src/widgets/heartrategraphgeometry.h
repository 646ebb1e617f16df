#pragma once

#include "tracks/gpxtrack.h"

#include <QPainterPath>

namespace routereel {

// Time and heart-rate ranges spanned by the graph; times on the clock of TrackPoint::time.
struct HeartRateGraphAxis {
    double minTime = 0;
    double maxTime = 1;
    int minBpm = 60;
    int maxBpm = 200;

    bool operator==(const HeartRateGraphAxis &) const = default;
};

// Layout of the graph panel in reference units; the export multiplies each by its scale.
namespace HeartRateGraphLayout {
inline constexpr double insetX = 6;
inline constexpr double insetY = 8;
inline constexpr double lineWidth = 2;
inline constexpr double dotRadius = 4;
inline constexpr double cornerRadius = 6;
inline constexpr double labelFontSize = 14;
inline constexpr double labelTop = 2;
inline constexpr double labelLeft = 6;
inline constexpr double shadowBlur = 3;
} // namespace HeartRateGraphLayout

// Where a sample lies in a plot of `width` × `height` with the given insets,
// y growing downwards (a higher heart rate lies higher up).
QPointF heartRateGraphPoint(const HeartRateGraphAxis &axis, double time, int heartRate, double width,
                            double height, double insetX, double insetY);

// The curve through every heart-rate sample, y down. A point without a heart
// rate breaks the line, and so does a point that starts a new segment; every
// track starts a new subpath.
QPainterPath heartRateGraphCurve(const QList<GPXTrack> &tracks, const HeartRateGraphAxis &axis, double width,
                                 double height, double insetX, double insetY);

} // namespace routereel
