#include "heartrateminmaxreducer.h"

#include "trackfingerprint.h"

#include <mutex>

namespace routereel {
namespace {

struct Memo {
    std::mutex lock;
    std::optional<QList<TrackFingerprint>> key;
    std::optional<HeartRateMinMax> result;
};

Memo &memo()
{
    static Memo instance;
    return instance;
}

std::optional<HeartRateMinMax> walk(const QList<GPXTrack> &tracks)
{
    std::optional<HeartRateMinMax> out;
    for (const GPXTrack &track : tracks) {
        for (const TrackPoint &point : track.trackPoints) {
            if (!point.heartRate)
                continue;
            const int hr = *point.heartRate;
            if (!out) {
                out = HeartRateMinMax{hr, hr};
                continue;
            }
            if (hr < out->min)
                out->min = hr;
            if (hr > out->max)
                out->max = hr;
        }
    }
    return out;
}

} // namespace

std::optional<HeartRateMinMax> HeartRateMinMaxReducer::minMax(const QList<GPXTrack> &tracks)
{
    QList<TrackFingerprint> key = trackFingerprints(tracks);
    Memo &m = memo();
    {
        std::lock_guard guard(m.lock);
        if (m.key && *m.key == key)
            return m.result;
    }
    const std::optional<HeartRateMinMax> result = walk(tracks);
    std::lock_guard guard(m.lock);
    m.key = std::move(key);
    m.result = result;
    return result;
}

} // namespace routereel
