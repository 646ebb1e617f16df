#pragma once

#include "heartrategraphgeometry.h"

namespace routereel {

// The preview's curve path for the given tracks, axis and panel size (insets
// 6 and 8, y down), remembered for the last such combination; safe from any thread.
class HeartRateGraphCurvePathCache {
public:
    static QPainterPath path(const QList<GPXTrack> &tracks, const HeartRateGraphAxis &axis, double width,
                             double height);
};

} // namespace routereel
