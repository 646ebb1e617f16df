#include "heartrategraphcurvepathcache.h"

#include "trackfingerprint.h"

#include <mutex>
#include <optional>

namespace routereel {
namespace {

struct Key {
    QList<TrackFingerprint> fingerprints;
    double width = 0;
    double height = 0;
    HeartRateGraphAxis axis;

    bool operator==(const Key &) const = default;
};

struct Memo {
    std::mutex lock;
    std::optional<Key> key;
    QPainterPath path;
};

Memo &memo()
{
    static Memo instance;
    return instance;
}

} // namespace

QPainterPath HeartRateGraphCurvePathCache::path(const QList<GPXTrack> &tracks, const HeartRateGraphAxis &axis,
                                                double width, double height)
{
    Key key{trackFingerprints(tracks), width, height, axis};
    Memo &m = memo();
    {
        std::lock_guard guard(m.lock);
        if (m.key && *m.key == key)
            return m.path;
    }
    const QPainterPath built = heartRateGraphCurve(tracks, axis, width, height, HeartRateGraphLayout::insetX,
                                                   HeartRateGraphLayout::insetY);
    std::lock_guard guard(m.lock);
    m.key = std::move(key);
    m.path = built;
    return built;
}

} // namespace routereel
