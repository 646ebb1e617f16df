#pragma once

#include "heartrateminmax.h"
#include "tracks/gpxtrack.h"

namespace routereel {

// Lowest and highest heart rate of all points of the tracks, every stored value
// counting; remembers the last answer (an absent one too) for the same tracks.
// Safe from any thread: the preview and an export may ask at once.
class HeartRateMinMaxReducer {
public:
    static std::optional<HeartRateMinMax> minMax(const QList<GPXTrack> &tracks);
};

} // namespace routereel
