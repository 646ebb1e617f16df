#include "heartrategraphaxisreducer.h"

#include "oneentrymemo.h"
#include "trackfingerprint.h"

#include <cmath>
#include <limits>

namespace routereel {
namespace {

std::optional<HeartRateGraphAxis> walk(const QList<GPXTrack> &tracks)
{
    bool any = false;
    int minBpm = std::numeric_limits<int>::max();
    int maxBpm = std::numeric_limits<int>::min();
    double minTime = std::numeric_limits<double>::infinity();
    double maxTime = -std::numeric_limits<double>::infinity();
    for (const GPXTrack &track : tracks) {
        for (const TrackPoint &point : track.trackPoints) {
            if (!point.heartRate)
                continue;
            any = true;
            minBpm = std::min(minBpm, *point.heartRate);
            maxBpm = std::max(maxBpm, *point.heartRate);
            minTime = std::min(minTime, point.time);
            maxTime = std::max(maxTime, point.time);
        }
    }
    if (!any || !std::isfinite(minTime) || !std::isfinite(maxTime) || !(maxTime > minTime))
        return std::nullopt;
    return HeartRateGraphAxis{minTime, maxTime, minBpm - 5, maxBpm + 5};
}

} // namespace

std::optional<HeartRateGraphAxis> HeartRateGraphAxisReducer::reduce(const QList<GPXTrack> &tracks)
{
    static OneEntryMemo<QList<TrackFingerprint>, std::optional<HeartRateGraphAxis>> memo;
    return memo.get(trackFingerprints(tracks), [&] { return walk(tracks); });
}

} // namespace routereel
