#pragma once

#include "heartrategraphgeometry.h"

#include <optional>

namespace routereel {

// Reduces the tracks to the graph's axis: the span of all heart-rate samples,
// widened by 5 bpm on both sides. Remembers the last answer (an absent axis
// too) for the same tracks; safe from any thread.
class HeartRateGraphAxisReducer {
public:
    static std::optional<HeartRateGraphAxis> reduce(const QList<GPXTrack> &tracks);
};

} // namespace routereel
