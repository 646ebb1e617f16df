#include "gpspathprojectioncache.h"

#include <QMutex>

namespace routereel {
namespace {

struct Entry {
    GPSPathProjectionCache::Key key;
    GPSPathProjectionCache::Result result;
};

QMutex memoMutex;
std::optional<Entry> memo;
int builds = 0;

} // namespace

QPainterPath GPSPathProjectionCache::pathOf(const GPSPathProjection &projection)
{
    QPainterPath path;
    for (qsizetype i = 0; i < projection.pts.size(); ++i) {
        if (i == 0 || projection.breaks.contains(int(i)))
            path.moveTo(projection.pts[i]);
        else
            path.lineTo(projection.pts[i]);
    }
    return path;
}

GPSPathProjectionCache::Result GPSPathProjectionCache::path(const QUuid &revision, const QList<TrackPoint> &points,
                                                            const QList<int> &breaks, MapProvider provider,
                                                            std::optional<double> padding, double size)
{
    Key key{revision, {}, breaks, size, provider, padding};
    if (!points.isEmpty()) {
        key.fingerprints = {{points.first().lat, points.first().lng},
                            {points.last().lat, points.last().lng},
                            {double(points.size()), 0}};
    }
    // Held only by the preview on the main thread; the lock just keeps a stray caller safe.
    QMutexLocker lock(&memoMutex);
    if (memo && memo->key == key)
        return memo->result;
    Result result;
    result.projection = GPSPathProjection::make(points, breaks, padding, size);
    result.path = pathOf(result.projection);
    ++builds;
    memo = Entry{std::move(key), result};
    return result;
}

int GPSPathProjectionCache::buildCount()
{
    QMutexLocker lock(&memoMutex);
    return builds;
}

} // namespace routereel
