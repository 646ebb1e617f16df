#include "heartrategraphaxisreducer.h"

#include "trackfingerprint.h"

#include <cmath>
#include <limits>
#include <mutex>

namespace routereel {
namespace {

struct Memo {
    std::mutex lock;
    std::optional<QList<TrackFingerprint>> key;
    std::optional<HeartRateGraphAxis> axis;
};

Memo &memo()
{
    static Memo instance;
    return instance;
}

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
    QList<TrackFingerprint> key = trackFingerprints(tracks);
    Memo &m = memo();
    {
        std::lock_guard guard(m.lock);
        if (m.key && *m.key == key)
            return m.axis;
    }
    // Walk outside the lock: two threads may both compute; equal keys give equal results.
    const std::optional<HeartRateGraphAxis> axis = walk(tracks);
    std::lock_guard guard(m.lock);
    m.key = std::move(key);
    m.axis = axis;
    return axis;
}

} // namespace routereel
