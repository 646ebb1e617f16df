// webmap-capture: web-map frames captured per second during an export-like
// loop (the centre moves every frame), from a map service on loopback.
#include "benchcommand.h"
#include "support/loopbackmapservice.h"
#include "support/waitfor.h"

#include "maps/mapservices.h"
#include "maps/osmwebmapexportrenderer.h"
#include "maps/views/webmapexportpage.h"
#include "maps/views/webmapruntime.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cmath>
#include <cstdio>

namespace routereel::bench {
namespace {

// Before main creates the QApplication.
const bool runtimePrepared = (prepareWebMapRuntime(), true);

using testsupport::runInBackground;

void measure(const QSize &size, int frames)
{
    WebMapExportPage *page = nullptr;
    OSMWebMapExportRenderer renderer(OSMWebMapExportRenderer::Kind::mapWidget, QStringLiteral("en"), QSizeF(size), 1,
                                     [&page](const WebMapPageRequest &request) {
                                         auto made = std::make_unique<WebMapExportPage>(request);
                                         page = made.get();
                                         return made;
                                     });
    if (!runInBackground([&] { return renderer.waitUntilReady(std::chrono::seconds(60), {}); })) {
        std::printf("%dx%d: page not ready\n", size.width(), size.height());
        return;
    }
    // A ride of about 30 km/h sampled at 30 frames per second.
    QList<TrackPoint> points;
    for (int i = 0; i < frames + 1; ++i) {
        TrackPoint p;
        p.lng = 13.40 + 0.0000042 * i;
        p.lat = 52.52 + 0.002 * std::sin(i / 600.0);
        points.append(p);
    }
    const bool prepared = runInBackground(
        [&] { return renderer.prepareForFrames(points, {}, 16, std::chrono::seconds(60), {}, {}); });
    if (!prepared) {
        std::printf("%dx%d: track not loaded\n", size.width(), size.height());
        return;
    }
    int captured = 0;
    const int ticksBefore = page->frameDriver()->tickCount();
    QElapsedTimer clock;
    clock.start();
    runInBackground([&] {
        for (int i = 0; i < frames; ++i) {
            const TrackPoint &p = points[i];
            const double bearing = std::fmod(i * 0.5, 360.0);
            if (renderer.captureFrame(i, p.lng, p.lat, p.lng, p.lat, bearing, 16, {}))
                ++captured;
        }
        return true;
    });
    const double seconds = clock.nsecsElapsed() / 1e9;
    std::printf("%dx%d: %d/%d frames captured in %.2f s = %.1f frames/s (%.1f animation frames each)\n", size.width(),
                size.height(), captured, frames, seconds, captured / seconds,
                double(page->frameDriver()->tickCount() - ticksBefore) / std::max(1, frames));
    renderer.shutdown();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

int run(const QStringList &args)
{
    const int frames = args.value(0, QStringLiteral("300")).toInt();
    const auto server = testsupport::startMapService();
    MapServices::overrideEndpointsForTesting(server->baseUrl());
    measure(QSize(400, 400), frames);
    measure(QSize(1920, 1080), std::max(1, frames / 3));
    MapServices::overrideEndpointsForTesting(QUrl());
    return 0;
}

const bool registered = registerCommand("webmap-capture", "[FRAMES=300]  (needs a display: xvfb-run)", run);

} // namespace
} // namespace routereel::bench
