// Map widget, GPS path widget and tile preload figures, against a loopback tile server.
#include "benchcommand.h"
#include "benchexport.h"

#include "maps/gpspathrenderer.h"
#include "maps/mapservices.h"
#include "maps/tilecache.h"
#include "maps/tilemaprenderer.h"
#include "maps/webmercator.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtConcurrent>

#include <cmath>
#include <cstdio>
#include <numbers>

namespace routereel::bench {
namespace {

// The shared loopback tiles as the endpoints of every tile request while it lives.
class LoopbackTiles {
public:
    explicit LoopbackTiles(int latencyMs) : m_server(latencyMs)
    {
        MapServices::overrideEndpointsForTesting(m_server.url());
    }
    ~LoopbackTiles() { MapServices::overrideEndpointsForTesting(QUrl()); }
    int requests() const { return m_server.requests(); }

private:
    BenchTileServer m_server;
};

// A wandering ride of `count` one-second fixes, about 5 m apart, that comes back on itself.
QList<TrackPoint> syntheticTrack(int count)
{
    QRandomGenerator rng(42);
    QList<TrackPoint> points;
    points.reserve(count);
    double lat = 47.37, lng = 8.54, heading = 0;
    for (int i = 0; i < count; ++i) {
        heading += (rng.generateDouble() - 0.5) * 0.3;
        lat += std::cos(heading) * 5 / 111320.0;
        lng += std::sin(heading) * 5 / (111320.0 * std::cos(lat * std::numbers::pi / 180));
        TrackPoint p;
        p.lat = lat;
        p.lng = lng;
        p.time = 1.7e9 + i;
        p.startsSegment = i > 0 && i % 25000 == 0;
        points.append(p);
    }
    return points;
}

// Frames are drawn on pool threads, as the export does: from any other thread Qt splits
// each large blit over the global pool, which costs more than it gains at widget sizes.
template <typename Frame>
void measure(const char *label, int frames, const Frame &frame)
{
    QThreadPool *pool = QThreadPool::globalInstance();
    const auto timed = [&](int count, auto &&run) {
        QElapsedTimer timer;
        timer.start();
        run();
        return count / (timer.nsecsElapsed() / 1e9);
    };
    // Not QFuture::waitForFinished(): it may run a task that has not started in the waiting thread.
    const auto oneThread = [&] {
        QSemaphore done;
        pool->start([&] {
            for (int f = 0; f < frames; ++f)
                frame(f);
            done.release();
        });
        done.acquire();
    };
    oneThread();  // warm-up: tiles decoded and scaled, geometry built
    const double one = timed(frames, oneThread);
    QList<int> indices(frames * 4);
    std::iota(indices.begin(), indices.end(), 0);
    const double all = timed(int(indices.size()), [&] { QtConcurrent::blockingMap(pool, indices, [&](int f) { frame(f % frames); }); });
    const double mainThread = timed(frames, [&] {
        for (int f = 0; f < frames; ++f)
            frame(f);
    });
    std::printf("%-30s %8.0f frames/s one core %9.0f frames/s on %d threads  (%6.0f from a non-pool thread)\n", label, one,
                all, pool->maxThreadCount(), mainThread);
}

int runRender(const QStringList &args)
{
    const int count = args.value(0, QStringLiteral("100000")).toInt();
    const int frames = args.value(1, QStringLiteral("3000")).toInt();
    const QString only = args.value(2);  // run only the cases whose label contains this
    LoopbackTiles server(0);
    QTemporaryDir dir;
    TileCache::Options options;
    options.root = dir.path();
    TileCache cache(options);
    const QList<TrackPoint> track = syntheticTrack(count);
    std::printf("track: %d points; frames per run: %d (one core), %d (all cores)\n", count, frames, frames * 4);

    struct Variant {
        const char *label;
        MapShape shape;
        QSizeF reference;
        double scale;
        bool follow;
    };
    for (const Variant &v : {Variant{"map circle north 200 @1x", MapShape::circle, {200, 200}, 1, false},
                             Variant{"map circle follow 200 @1x", MapShape::circle, {200, 200}, 1, true},
                             Variant{"map rect follow 200x140 @2x", MapShape::roundedRect, {200, 140}, 2, true}}) {
        if (!QString::fromLatin1(v.label).contains(only))
            continue;
        TileMapRenderer renderer(v.reference, v.shape, MapProvider::openStreetMap, {}, 15, {}, v.reference * v.scale, 12,
                                 cache);
        QElapsedTimer t;
        t.start();
        renderer.preload(track);
        std::printf("  preload for %s: %lld ms, %d requests so far\n", v.label, qlonglong(t.elapsed()), server.requests());
        measure(v.label, frames, [&](int f) {
            // Along the track like a 30 frames/s export of a 1 Hz track.
            const int i = int((qint64(f) / 30) % track.size());
            const TrackPoint &p = track[i];
            const double bearing = v.follow ? std::fmod(f * 1.7, 360.0) : 0;
            const QImage image = renderer.renderFrame(track, i, p.lat, p.lng, p.lat, p.lng, bearing);
            if (image.isNull())
                std::abort();
        });
    }

    QList<int> breaks{0};
    for (int i = 1; i < track.size(); ++i)
        if (track[i].startsSegment)
            breaks.append(i);
    for (const double scale : {1.0, 2.0}) {
        if (!QStringLiteral("GPS path").contains(only))
            continue;
        GPSPathRenderer renderer(MapProvider::openStreetMap, 200 * scale, 200, 1, 20 * scale);
        const auto projection = GPSPathProjection::make(track, breaks, 20 * scale, 200 * scale);
        QElapsedTimer t;
        t.start();
        renderer.setTileBackground(GPSPathRenderer::loadTileBackground(projection, MapProvider::openStreetMap, {}, {}, 1, cache));
        if (!renderer.renderBase(track, breaks))
            return 1;
        std::printf("  GPS path base @%gx: %lld ms\n", scale, qlonglong(t.elapsed()));
        measure(scale == 1 ? "GPS path 200 @1x" : "GPS path 200 @2x", frames, [&](int f) {
            const TrackPoint &p = track[int((qint64(f) / 30) % track.size())];
            if (renderer.renderFrame(track, p.lat, p.lng).isNull())
                std::abort();
        });
    }
    return 0;
}

int runPreload(const QStringList &args)
{
    const int latency = args.value(0, QStringLiteral("50")).toInt();
    const int count = args.value(1, QStringLiteral("400")).toInt();
    LoopbackTiles server(latency);
    QTemporaryDir dir;
    TileCache::Options options;
    options.root = dir.path();
    TileCache cache(options);
    QList<QPoint> tiles;
    for (int i = 0; i < count; ++i)
        tiles.append(QPoint(34000 + i % 20, 22000 + i / 20));
    QElapsedTimer timer;
    timer.start();
    cache.preload(MapProvider::openStreetMap, 16, tiles, {}, {});
    const double seconds = timer.nsecsElapsed() / 1e9;
    std::printf("preload: %d tiles, %d ms latency: %.2f s, %.0f tiles/s (%d requests)\n", count, latency, seconds,
                count / seconds, server.requests());
    timer.restart();
    cache.preload(MapProvider::openStreetMap, 16, tiles, {}, {});
    std::printf("preload again (memory): %.1f ms\n", timer.nsecsElapsed() / 1e6);
    return 0;
}

const bool renderRegistered = registerCommand("maps-render", "[POINTS=100000] [FRAMES=3000] [CASE]", runRender);
const bool preloadRegistered = registerCommand("maps-preload", "[LATENCY_MS=50] [TILES=400]", runPreload);

} // namespace
} // namespace routereel::bench
