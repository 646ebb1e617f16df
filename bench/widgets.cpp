#include "benchcommand.h"

#include "widgets/heartrategraphrenderer.h"
#include "widgets/heartrateminmax.h"
#include "widgets/speedunit.h"
#include "widgets/textwidgetrenderer.h"
#include "widgets/widgetborderring.h"

#include <QElapsedTimer>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

namespace routereel::bench {
namespace {

// Frames per second of `frame` (called with a running frame number) on `threads` threads for about `seconds`.
double framesPerSecond(const std::function<bool(int)> &frame, int threads, double seconds)
{
    std::atomic<long> done{0};
    std::atomic<bool> failed{false};
    std::atomic<bool> stop{false};
    QElapsedTimer timer;
    timer.start();
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            for (int i = t * 100000; !stop.load(std::memory_order_relaxed); ++i) {
                if (!frame(i))
                    failed = true;
                done.fetch_add(1, std::memory_order_relaxed);
            }
        });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(int(seconds * 1000)));
    stop = true;
    for (auto &w : workers)
        w.join();
    const double elapsed = timer.nsecsElapsed() / 1e9;
    if (failed)
        std::fprintf(stderr, "  (some frames gave no image)\n");
    return double(done.load()) / elapsed;
}

QList<GPXTrack> benchTracks()
{
    GPXTrack track;
    for (int i = 0; i < 3600; ++i) {
        TrackPoint p;
        p.time = 1.7e9 + i;
        if (i % 600 != 599)
            p.heartRate = 120 + int(30 * std::sin(i / 200.0));
        track.trackPoints.append(p);
    }
    return {track};
}

int run(const QStringList &args)
{
    const double seconds = args.isEmpty() ? 1.0 : args.first().toDouble();
    const QString only = args.size() > 1 ? args.at(1) : QString();
    const int cores = int(std::max(1u, std::thread::hardware_concurrency()));
    const QList<GPXTrack> tracks = benchTracks();
    struct Case {
        QString name;
        std::function<bool(int)> frame;
    };
    std::vector<Case> cases;
    for (double scale : {1.0, 2.0}) {
        const QString tag = QStringLiteral(" @%1x").arg(scale);
        auto graph = std::make_shared<HeartRateGraphRenderer>(QColor(Qt::white), 220 * scale, 70 * scale, 220, 0.85);
        graph->buildCurvePath(tracks);
        cases.push_back({QStringLiteral("heart-rate graph frame") + tag, [graph](int i) {
                             const int k = i % 3600;
                             return !graph->renderFrame(1.7e9 + k, 120 + k % 30).isNull();
                         }});
        cases.push_back({QStringLiteral("speed text") + tag, [scale](int i) {
                             return !TextWidgetRenderer::render(formatSpeed(SpeedUnit::kmh, (i % 400) / 10.0),
                                                                Qt::white, std::nullopt, 18, scale)
                                         .isNull();
                         }});
        cases.push_back({QStringLiteral("time text") + tag, [scale](int i) {
                             const QString t = QStringLiteral("19:%1:%2").arg(i / 60 % 60, 2, 10, QLatin1Char('0'))
                                                   .arg(i % 60, 2, 10, QLatin1Char('0'));
                             return !TextWidgetRenderer::render(t, Qt::white, std::nullopt, 18, scale).isNull();
                         }});
        const QString range = *HeartRateMinMax::rangeText(HeartRateMinMax{95, 178});
        cases.push_back({QStringLiteral("heart-rate text + range") + tag, [scale, range](int i) {
                             return !TextWidgetRenderer::render(*HeartRateMinMax::bpmText(100 + i % 80, true),
                                                                Qt::white, range, 18, scale)
                                         .isNull();
                         }});
        cases.push_back({QStringLiteral("GTA ring, 200 circle") + tag, [scale](int) {
                             return mapBorderRing(MapShape::circle, int(200 * scale), int(200 * scale),
                                                  MapBorderStyle::gta, scale, 0)
                                 .has_value();
                         }});
        cases.push_back({QStringLiteral("north badge") + tag, [scale](int) {
                             return northBadgeImage(2 * 10 * scale, std::max(scale, 1.0)).has_value();
                         }});
    }
    std::printf("%-34s %14s %14s\n", "renderer", "1 thread", qPrintable(QStringLiteral("%1 threads").arg(cores)));
    for (const Case &c : cases) {
        if (!c.name.contains(only))
            continue;
        const double one = framesPerSecond(c.frame, 1, seconds);
        const double all = framesPerSecond(c.frame, cores, seconds);
        std::printf("%-34s %10.0f f/s %10.0f f/s\n", qPrintable(c.name), one, all);
    }
    return 0;
}

const bool registered = registerCommand("widgets", "[SECONDS [NAME-PART]]  frames/s of the widget export renderers", run);

} // namespace
} // namespace routereel::bench
