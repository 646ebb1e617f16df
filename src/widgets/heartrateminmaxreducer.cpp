#include "heartrateminmaxreducer.h"

#include "oneentrymemo.h"
#include "trackfingerprint.h"

namespace routereel {
namespace {

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
    static OneEntryMemo<QList<TrackFingerprint>, std::optional<HeartRateMinMax>> memo;
    return memo.get(trackFingerprints(tracks), [&] { return walk(tracks); });
}

} // namespace routereel
