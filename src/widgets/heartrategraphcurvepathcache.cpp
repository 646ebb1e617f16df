#include "heartrategraphcurvepathcache.h"

#include "oneentrymemo.h"
#include "trackfingerprint.h"

namespace routereel {
namespace {

struct Key {
    QList<TrackFingerprint> fingerprints;
    double width = 0;
    double height = 0;
    HeartRateGraphAxis axis;

    bool operator==(const Key &) const = default;
};

} // namespace

QPainterPath HeartRateGraphCurvePathCache::path(const QList<GPXTrack> &tracks, const HeartRateGraphAxis &axis,
                                                double width, double height)
{
    static OneEntryMemo<Key, QPainterPath> memo;
    return memo.get(Key{trackFingerprints(tracks), width, height, axis}, [&] {
        return heartRateGraphCurve(tracks, axis, width, height, HeartRateGraphLayout::insetX,
                                   HeartRateGraphLayout::insetY);
    });
}

} // namespace routereel
