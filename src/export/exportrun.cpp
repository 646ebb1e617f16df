#include "exportrun.h"

#include "exportframeproducer.h"
#include "exportoutputtransaction.h"
#include "exportruncontrol.h"
#include "exportshutdown.h"
#include "exportsourcecheck.h"
#include "ffmpegcommandline.h"
#include "ffmpegprocess.h"
#include "ffmpegprogressparser.h"
#include "framewriter.h"
#include "overlayframecomposition.h"
#include "pipeframe.h"
#include "yuvaframeconverter.h"
#include "stderrreader.h"

#include "maps/gpspathfitcamera.h"
#include "maps/gpspathprojection.h"
#include "maps/gpspathrenderer.h"
#include "maps/tilecache.h"
#include "maps/tilemaprenderer.h"
#include "maps/webmapcapturepool.h"
#include "timeline/timelineengine.h"
#include "tracks/maptrackdata.h"
#include "widgets/heartrategraphrenderer.h"
#include "widgets/heartrateminmaxreducer.h"
#include "widgets/widgetborderring.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QScopeGuard>
#include <QSemaphore>
#include <QThread>
#include <QThreadPool>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace routereel {

namespace {

constexpr double maxFrameRate = 240;
constexpr double maxDuration = 2'678'400;  // 31 days
constexpr auto stopGrace = std::chrono::seconds(3);

// Reads ffmpeg's "-progress pipe:1" lines until end of file.
class ProgressReader {
public:
    ProgressReader(int fd, double duration, ExportRun::PublishProgress publish)
    {
        m_thread = std::thread([fd, duration, publish = std::move(publish)] {
            FFmpegProgressParser parser(duration);
            char chunk[4096];
            for (;;) {
                const ssize_t n = ::read(fd, chunk, sizeof chunk);
                if (n > 0) {
                    for (double p : parser.feed(QByteArray(chunk, n)))
                        publish(0.05 + 0.95 * p);
                    continue;
                }
                if (n < 0 && errno == EINTR)
                    continue;
                break;
            }
            ::close(fd);
        });
    }
    ~ProgressReader() { wait(); }
    void wait()
    {
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    std::thread m_thread;
};

// Where the map of each exported frame is centred: the tiles around these are
// all that the frames can show. At most a million of them, evenly spread: a
// tile the preload misses is still fetched when its frame is drawn.
QList<trackinterpolation::LatLng> mapCentres(const TimelineEngine &engine, const QList<GPXTrack> &tracks,
                                             double start, double fps, long long frames)
{
    constexpr long long maximumCentres = 1'000'000;
    const double step = double(std::max(frames, maximumCentres)) / double(maximumCentres);
    QList<trackinterpolation::LatLng> centres;
    std::optional<trackinterpolation::LatLng> previous;
    for (double i = 0; i < double(frames); i += step) {
        const auto c = engine.coordinate(tracks, start + std::floor(i) / fps);
        if (c && c != previous)
            centres.append(*c);
        previous = c;
    }
    return centres;
}

// What the user is told of a failed ffmpeg: how it ended when a signal ended
// it, then its last error lines; the exit status only when it said nothing.
QString failureText(const FFmpegProcess::Exit &exit, const QString &errorLines)
{
    QStringList parts;
    if (exit.signalled) {
        const char *name = ::sigabbrev_np(exit.code);
        parts << QCoreApplication::translate("VideoExporter", "ended by signal %1 (%2)")
                     .arg(exit.code)
                     .arg(name ? QStringLiteral("SIG") + QString::fromLatin1(name) : QStringLiteral("?"));
    }
    if (!errorLines.isEmpty())
        parts << errorLines;
    else if (!exit.signalled)
        parts << QCoreApplication::translate("VideoExporter", "exit code %1").arg(exit.code);
    return parts.join(QLatin1Char('\n'));
}

} // namespace

int ExportRun::slotCount(int processors)
{
    return std::clamp(processors, 2, 8);
}

int ExportRun::drawThreads(int threads, int most, double waitedSeconds, double drawSeconds)
{
    // Half a batch's drawing time in hand is enough; less than a tenth is too little.
    if (waitedSeconds > drawSeconds / 2)
        --threads;
    else if (waitedSeconds < drawSeconds / 10)
        ++threads;
    return std::clamp(threads, 1, std::max(1, most));
}

std::optional<long long> ExportRun::frameCount(double fps, double duration)
{
    const double f = fps > 0 ? fps : 30;
    if (!std::isfinite(f) || f > maxFrameRate)
        return std::nullopt;
    if (!std::isfinite(duration) || duration <= 0 || duration > maxDuration)
        return std::nullopt;
    const long long n = std::llround(f * duration);
    if (n < 1)
        return std::nullopt;
    return n;
}

namespace {

GPSPathFitCamera::Camera pathCamera(const GPSPathWidgetExportConfig &config, const QList<TrackPoint> &points)
{
    const double scale = config.pixelSize / std::max(1.0, config.referenceSize);
    return GPSPathFitCamera::fit(points, config.referenceSize, config.padding / std::max(0.001, scale));
}

} // namespace

std::optional<WebMapPageView> ExportRun::mapPageView(const ExportTask &task, const TimelineEngine &engine,
                                                     double start)
{
    const auto centre = engine.coordinate(task.tracks, start);
    if (!task.mapEnabled || !centre)
        return std::nullopt;
    // A North-up map is captured with margins to move in; a turning one without.
    const QSize margin = task.orientation == MapOrientation::follow
        ? QSize(0, 0)
        : OSMWebMapExportRenderer::baseMargin(task.mapReferenceSize);
    return WebMapPageView{centre->lng, centre->lat, double(task.zoomLevel), QSizeF(margin)};
}

std::optional<WebMapPageView> ExportRun::pathPageView(const ExportTask &task, const TimelineEngine &engine)
{
    const GPSPathWidgetExportConfig &config = task.gpsPathWidget;
    if (!config.enabled || !config.showMap)
        return std::nullopt;
    const TimelineEngine::EffectiveTrackPoints effective = engine.effectiveTrackPoints(task.tracks);
    if (effective.points.isEmpty())
        return std::nullopt;
    const auto camera = pathCamera(config, effective.points);
    return WebMapPageView{camera.lng, camera.lat, camera.zoom, QSizeF(0, 0)};
}

ExportRun::ExportRun(Inputs inputs, std::shared_ptr<ExportRunControl> control, PublishProgress publishProgress)
    : m_in(std::move(inputs)), m_control(std::move(control)), m_publish(std::move(publishProgress))
{
}

ExportResult ExportRun::fail(const ExportResult &result) const
{
    return m_control->isCancelled() ? ExportResult::failure(ExportError::cancelled()) : result;
}

void ExportRun::shutDownOnMain(QPointer<OSMWebMapExportRenderer> &renderer)
{
    if (!renderer)
        return;
    OSMWebMapExportRenderer::runOnMainThread([renderer] {
        if (renderer)
            renderer->shutdown();
    });
    renderer.clear();
}

ExportResult ExportRun::execute()
{
    // Live until its staging folder is gone: a process that ends by a signal waits for it.
    const ExportShutdown::RunScope live(m_control);
    const ExportResult result = runFrames();
    shutDownOnMain(m_in.mapWeb);
    shutDownOnMain(m_in.gpsPathWeb);
    return result;
}

ExportResult ExportRun::runFrames()
{
    const ExportTask &task = m_in.task;
    const auto isCancelled = [control = m_control] { return control->isCancelled(); };
    // A vanished ffmpeg must show as a failed write, not end the application.
    std::signal(SIGPIPE, SIG_IGN);

    const double fps = task.frameRate();
    const auto total = frameCount(task.videoFPS, m_in.duration);
    if (!total)
        return fail(ExportResult::failure(ExportError::renderError()));
    const long long frames = *total;

    // Taken before the clips are checked: a change from then on shows when ffmpeg has ended.
    QList<exportsourcecheck::FileStamp> sourceStamps;
    if (task.compositionMode == CompositionMode::regular) {
        sourceStamps = exportsourcecheck::stamps(m_in.sourcePaths, task.videoTimeline);
        if (auto unusable = exportsourcecheck::unusableSource(m_in.sourcePaths, task.videoTimeline))
            return fail(ExportResult::failure(*unusable));
        if (task.videoTimeline) {
            if (auto changed = exportsourcecheck::changedSource(*task.videoTimeline))
                return fail(ExportResult::failure(*changed));
        }
    }

    ExportOutputTransaction::Failure transactionFailure;
    std::unique_ptr<ExportOutputTransaction> transaction
        = ExportOutputTransaction::begin(task.outputURL.toLocalFile(), task.protectedFilePaths(), &transactionFailure);
    if (!transaction)
        return fail(ExportResult::failure(transactionFailure));

    const TimelineEngine &engine = *m_in.engine;
    const GPSPathWidgetExportConfig &gpsConfig = task.gpsPathWidget;
    const double gpsScale = gpsConfig.pixelSize / std::max(1.0, gpsConfig.referenceSize);
    TimelineEngine::EffectiveTrackPoints effective;
    if (gpsConfig.enabled)
        effective = engine.effectiveTrackPoints(task.tracks);

    // The path map's one capture runs on its own page while the map page warms up.
    struct PathBackground {
        QImage image;
        GPSPathFitCamera::Camera camera;
    };
    std::thread pathCapture;
    std::optional<PathBackground> pathBackground;
    const auto joinPathCapture = qScopeGuard([&pathCapture] {
        if (pathCapture.joinable())
            pathCapture.join();
    });
    std::optional<std::chrono::steady_clock::time_point> pathPageDeadline;
    if (gpsConfig.enabled && gpsConfig.showMap && !effective.points.isEmpty() && m_in.gpsPathWeb) {
        OSMWebMapExportRenderer *pathWeb = m_in.gpsPathWeb.data();
        pathPageDeadline = pathWeb->loadDeadline();
        pathCapture = std::thread([&, pathWeb] {
            if (!pathWeb->waitUntilReady(OSMWebMapExportRenderer::defaultReadyTimeout, isCancelled))
                return;
            const auto camera = pathCamera(gpsConfig, effective.points);
            const auto image = pathWeb->captureStatic(GPSPathFitCamera::geoJSON(effective.points, effective.breaks),
                                                      camera.lng, camera.lat, camera.zoom, isCancelled);
            if (image)
                pathBackground = PathBackground{*image, camera};
        });
    }

    TileCache &cache = m_in.tileCache ? *m_in.tileCache : TileCache::shared();
    TileMapRenderer mapRenderer(task.mapReferenceSize, task.mapShape, task.mapProvider, task.mapboxToken,
                                task.zoomLevel, task.mapLanguage, task.mapSize, task.cornerRadius, cache);
    // The web map warms up on its pages while ffmpeg starts and the drawing is set up;
    // the frames wait for it. An early return abandons it.
    WebMapCapturePool mapPages(m_in.mapWeb.data());
    std::atomic<bool> abandonWarmUp = false;
    const auto warmUpCancelled = [&abandonWarmUp, isCancelled] { return abandonWarmUp || isCancelled(); };
    std::thread mapWarmUp;
    std::thread rasterProbe;
    bool webPrepared = false;
    const auto joinMapWarmUp = qScopeGuard([&] {
        abandonWarmUp = true;
        if (mapWarmUp.joinable())
            mapWarmUp.join();
        if (rasterProbe.joinable())
            rasterProbe.join();
    });
    // The frames' map views: what the web page's cache or the tile cache is warmed with.
    const QList<trackinterpolation::LatLng> frameCentres
        = task.mapEnabled ? mapCentres(engine, task.tracks, m_in.start, fps, frames)
                          : QList<trackinterpolation::LatLng>();
    if (task.mapEnabled && m_in.mapWeb) {
        qInfo().noquote() << "[VideoExporter] OSM web map warmup start";
        QList<TrackPoint> centres;
        for (const trackinterpolation::LatLng &c : frameCentres) {
            TrackPoint p;
            p.lat = c.lat;
            p.lng = c.lng;
            centres.append(p);
        }
        mapWarmUp = std::thread([&, centres] {
            const MapTrackData data = MapTrackData::build(task.tracks);
            const auto warmUpProgress = [publish = m_publish](double p) { publish(p * 0.05); };
            const bool turns = task.orientation == MapOrientation::follow;
            webPrepared = mapPages.prepareForFrames(
                data.points, data.breaks, task.zoomLevel, OSMWebMapExportRenderer::defaultReadyTimeout,
                warmUpProgress, warmUpCancelled, centres, turns,
                WebMapCapturePool::pageCount(turns, QThread::idealThreadCount()));
        });
        // Meanwhile one raster tile is asked for: should the page fail for want of a
        // network, the raster service's silence has then been waited for already.
        // The probe may outlive `frameCentres` on an early return (it is joined later): it keeps its own point.
        // It waits no longer than the page: both are decided by the same moment.
        if (!frameCentres.isEmpty())
            rasterProbe = std::thread([&, first = frameCentres.first(), by = m_in.mapWeb->loadDeadline()] {
                mapRenderer.probe(first, warmUpCancelled, by);
            });
    }
    // The path's raster map is the fall-back of its page: the same service, asked meanwhile.
    if (pathPageDeadline && !rasterProbe.joinable())
        rasterProbe = std::thread([&, by = *pathPageDeadline] {
            const auto projection = GPSPathProjection::make(effective.points, effective.breaks, gpsConfig.padding,
                                                            gpsConfig.pixelSize);
            GPSPathRenderer::probeTileService(projection, task.mapProvider, task.mapboxToken, task.mapLanguage, cache,
                                              warmUpCancelled, by);
        });
    const auto preloadRasterTiles = [&] {
        if (task.mapEnabled)
            m_stats.mapRenderer = m_in.mapWeb ? QStringLiteral("web") : QStringLiteral("raster");
        if (task.mapEnabled && !m_in.mapWeb) {
            if (!isCancelled()) {
                qInfo().noquote() << "[VideoExporter] preload tiles start," << task.tracks.size() << "tracks";
                mapRenderer.preloadAround(frameCentres, isCancelled);
                qInfo().noquote().nospace() << "[VideoExporter] preload done, cancelled="
                                            << (isCancelled() ? "true" : "false");
            }
        } else if (!task.mapEnabled) {
            qInfo().noquote() << "[VideoExporter] Map widget disabled, skipping tile preload";
        }
    };
    // Raster tiles load after ffmpeg has started: its start-up is not waited for.
    const auto finishMapWarmUp = [&] {
        if (mapWarmUp.joinable()) {
            mapWarmUp.join();
            if (webPrepared) {
                qInfo().noquote().nospace() << "[VideoExporter] OSM web map warmup done, cancelled="
                                            << (isCancelled() ? "true" : "false");
            } else {
                m_in.mapWeb.clear();  // already shut down by the failed preparation
                qInfo().noquote() << "[VideoExporter] OSM web renderer unavailable, falling back to raster tiles";
            }
        }
        preloadRasterTiles();
        m_publish(0.05);
    };
    if (isCancelled())
        return fail(ExportResult::failure(ExportError::cancelled()));

    ExportError locateError = ExportError::ffmpegNotFound();
    const QString ffmpeg = FFmpegRuntime::locateFFmpeg(&locateError, m_in.search);
    if (ffmpeg.isEmpty())
        return fail(ExportResult::failure(locateError));
    if (auto missing = FFmpegRuntime::requireLibx264(ffmpeg))
        return fail(ExportResult::failure(*missing));

    const QString frameRate = FFmpegRuntime::ffmpegFrameRate(fps);
    std::optional<TimelineFilterGraphError> graphError;
    const FFmpegCommandLine::PipeFormat pipeFormat = FFmpegCommandLine::pipeFormat(task);
    PipeFrame pipe = PipeFrame::forTask(task);

    // Drawing resources, made once for every frame.
    const double mapScale = task.mapSize.width() / std::max(1.0, task.mapReferenceSize.width());
    OverlayFrameComposer::Setup setup;
    setup.width = pipe.width;
    setup.height = pipe.height;
    setup.overlayMode = task.compositionMode == CompositionMode::overlay;
    setup.texts = {task.timeWidget, task.speedWidget, task.heartRateWidget};
    OverlayFrameComposer::MapGroup &map = setup.map;
    map.enabled = task.mapEnabled;
    map.renderer = &mapRenderer;
    map.rect = QRect(pipe.mapOrigin, QSize(int(task.mapSize.width()), int(task.mapSize.height())));
    map.opacity = task.overlayOpacity;
    map.shape = task.mapShape;
    map.cornerRadius = task.cornerRadius;
    map.orientation = task.orientation;
    map.borderWidth = borderTotalWidth(task.mapBorderStyle) * mapScale;
    if (task.mapEnabled) {
        map.ring = mapBorderRing(task.mapShape, map.rect.width(), map.rect.height(), task.mapBorderStyle, mapScale,
                                 task.cornerRadius);
        if (task.mapBorderStyle == MapBorderStyle::gta)
            map.badge = northBadgeImage(2 * map.borderWidth, std::max(1.0, mapScale));
    }
    setup.gpsPath.config = gpsConfig;
    setup.gpsPath.borderWidth = borderTotalWidth(gpsConfig.borderStyle) * gpsScale;
    if (gpsConfig.enabled) {
        setup.gpsPath.ring = gpsPathBorderRing(gpsConfig.borderStyle, gpsConfig.pixelSize, gpsConfig.referenceSize);
        if (gpsConfig.borderStyle == MapBorderStyle::gta)
            setup.gpsPath.badge = northBadgeImage(2 * setup.gpsPath.borderWidth, std::max(1.0, gpsScale));
    }

    const QList<GPXTrack> effectiveTracks = engine.effectiveTracks(task.tracks);
    std::optional<HeartRateMinMax> minMax;
    if (task.heartRateWidget.enabled && task.heartRateWidget.showsMinMax())
        minMax = HeartRateMinMaxReducer::minMax(effectiveTracks);

    std::unique_ptr<GPSPathRenderer> gpsRenderer;
    if (gpsConfig.enabled) {
        gpsRenderer = std::make_unique<GPSPathRenderer>(task.mapProvider, gpsConfig.pixelSize,
                                                        gpsConfig.referenceSize, gpsConfig.opacity, gpsConfig.padding);
        setup.gpsPath.renderer = gpsRenderer.get();
        setup.gpsPath.points = effective.points;
    }
    // The path's still part, drawn once over its map; ffmpeg starts meanwhile.
    const auto drawPathBase = [&] {
        if (!gpsRenderer)
            return true;
        bool webBackground = false;
        if (gpsConfig.showMap && !effective.points.isEmpty() && m_in.gpsPathWeb) {
            if (pathCapture.joinable())
                pathCapture.join();
            if (pathBackground) {
                const GPSPathFitCamera::Camera &camera = pathBackground->camera;
                gpsRenderer->setTileBackground(pathBackground->image, camera.crossesDateline, camera.lng,
                                               camera.lat, camera.zoom);
                webBackground = true;
                qInfo().noquote() << "[VideoExporter] GPSPath web background captured";
            }
            if (!webBackground)
                qInfo().noquote() << "[VideoExporter] GPSPath web capture unavailable, falling back to raster tiles";
        }
        if (gpsConfig.showMap && !effective.points.isEmpty())
            m_stats.pathMapRenderer = webBackground ? QStringLiteral("web") : QStringLiteral("raster");
        shutDownOnMain(m_in.gpsPathWeb);
        if (gpsConfig.showMap && !effective.points.isEmpty() && !webBackground) {
            const auto projection = GPSPathProjection::make(effective.points, effective.breaks, gpsConfig.padding,
                                                            gpsConfig.pixelSize);
            const QImage background = GPSPathRenderer::loadTileBackground(
                projection, task.mapProvider, task.mapboxToken, task.mapLanguage, 1.0, cache, isCancelled);
            if (!background.isNull())
                gpsRenderer->setTileBackground(background);
        }
        return gpsRenderer->renderBase(effective.points, effective.breaks);
    };
    std::unique_ptr<HeartRateGraphRenderer> graphRenderer;
    if (task.heartRateGraphWidget.enabled) {
        const HeartRateGraphWidgetExportConfig &g = task.heartRateGraphWidget;
        graphRenderer = std::make_unique<HeartRateGraphRenderer>(g.lineColor, g.pixelWidth, g.pixelHeight,
                                                                 std::max(1.0, g.referenceWidth), g.opacity);
        graphRenderer->buildCurvePath(effectiveTracks);
        setup.graph = {graphRenderer.get(), g};
    }
    const OverlayFrameComposer composer(setup);

    FrameParamsContext context;
    context.needsTrackData = task.mapEnabled || task.timeWidget.enabled || task.speedWidget.enabled
        || task.heartRateWidget.enabled || gpsConfig.enabled || task.heartRateGraphWidget.enabled;
    context.engine = &engine;
    context.tracks = task.tracks;
    context.startTime = m_in.start;
    context.frameRate = fps;
    context.orientation = task.orientation;
    context.texts = setup.texts;
    context.heartRateMinMax = minMax;

    // Over source video only the parts of the canvas that widgets can draw in go
    // to ffmpeg: far less to pipe and blend than a mostly transparent frame.
    if (pipeFormat == FFmpegCommandLine::PipeFormat::yuva420p && !pipe.compact && pipe.width % 2 == 0
        && pipe.height % 2 == 0) {
        const YuvaFrameConverter grid(pipe.width, pipe.height);
        if (grid.isValid())
            pipe = PipeFrame::withTiles(
                pipe, grid.boxesAround(composer.reach(widestTextImages(context, task.previewToVideoScale))));
    }
    if (pipe.tiled())
        qInfo().noquote() << "[VideoExporter] sending" << pipe.tiles.size() << "parts of the canvas in"
                          << pipe.packedSize.width() << "x" << pipe.packedSize.height();
    const auto command = FFmpegCommandLine::command(task, pipe, frameRate, transaction->stagingPath(),
                                                    transaction->filterScriptPath(), &graphError);
    if (!command)
        return fail(graphError ? ExportResult::systemFailure(graphError->message())
                               : ExportResult::failure(ExportError::renderError()));
    if (auto unwritten = command->writeFilterScript())
        return fail(ExportResult::systemFailure(*unwritten));

    if (isCancelled())
        return fail(ExportResult::failure(ExportError::cancelled()));

    // The child and everything that talks to it.
    QString launchError;
    std::unique_ptr<FFmpegProcess> process
        = FFmpegProcess::start(ffmpeg, command->arguments, FFmpegRuntime::ffmpegEnvironment(ffmpeg), &launchError);
    if (!process)
        return fail(ExportResult::systemFailure(
            QCoreApplication::translate("VideoExporter", "FFmpeg could not be started: %1").arg(launchError)));
    m_control->setProcess(process.get());
    if (isCancelled())
        process->terminate();  // a cancel that came before the child was registered
    ProgressReader progressReader(process->takeStdoutFd(), m_in.duration, m_publish);
    const auto diagnostics = std::make_shared<StderrAccumulator>();
    StderrReader stderrReader(process->takeStderrFd(), diagnostics);

    const int s = slotCount(QThread::idealThreadCount());
    // Two halves: one is drawn while ffmpeg takes the other.
    const int ringSize = 2 * s;
    // Frames go out converted wherever ffmpeg would only convert them (each
    // drawing task converts its own frame, off ffmpeg's single filter thread);
    // the drawing buffers are then free again as soon as a batch is drawn, and
    // only the converted frames wait for the pipe.
    const bool converted = pipeFormat != FFmpegCommandLine::PipeFormat::bgra;
    const auto output = pipeFormat == FFmpegCommandLine::PipeFormat::yuva420p
        ? YuvaFrameConverter::Output::yuva420p
        : YuvaFrameConverter::Output::yuv420pBt709;
    const quint32 background = setup.overlayMode ? OverlayFrameComposer::overlayBackground : 0;
    const ExportColour overlayColour = FFmpegCommandLine::overlayColour(task);
    const int drawSlots = converted ? s : ringSize;
    std::vector<std::unique_ptr<unsigned char[]>> memory;
    std::vector<OverlayFrameComposer::Slot> ring(static_cast<std::size_t>(drawSlots));
    for (int k = 0; k < drawSlots; ++k) {
        memory.emplace_back(new unsigned char[std::size_t(pipe.byteCount())]);
        ring[std::size_t(k)].data = memory.back().get();
        composer.initialise(ring[std::size_t(k)]);
    }
    std::vector<unsigned char *> outputs(static_cast<std::size_t>(ringSize));
    std::vector<std::unique_ptr<YuvaFrameConverter>> converters;
    std::size_t outputBytes = std::size_t(pipe.byteCount());
    for (int k = 0; k < ringSize; ++k) {
        if (converted) {
            converters.push_back(
                std::make_unique<YuvaFrameConverter>(pipe.width, pipe.height, output, background, overlayColour));
            if (!converters.back()->isValid())
                break;
            outputBytes = std::size_t(pipe.tiled() ? YuvaFrameConverter::byteCount(pipe.packedSize.width(),
                                                                                   pipe.packedSize.height(), output)
                                                   : converters.back()->byteCount());
            // Zero: what lies between packed tiles is never written, nor shown.
            memory.emplace_back(new unsigned char[outputBytes]());
            outputs[std::size_t(k)] = memory.back().get();
        } else {
            outputs[std::size_t(k)] = ring[std::size_t(k)].data;
        }
    }
    // Converted buffers start as an empty frame; later only the widgets' surroundings change.
    std::vector<QRegion> outputBoxes(static_cast<std::size_t>(ringSize));
    for (std::size_t k = 0; converted && !pipe.tiled() && k < converters.size(); ++k)
        converters[k]->convert(ring[0].data, outputs[k]);
    // A frame drawing outside the tiles would lose that part: said once in the log.
    QRegion sent;
    for (const PipeTile &tile : pipe.tiles)
        sent += tile.canvas;
    std::atomic<bool> drawnOutside = false;
    // Before the first frame: the started child is ended with the run.
    const auto stopBeforeFrames = [&](const ExportError &error) {
        process->end(stopGrace);
        m_control->setProcess(nullptr);
        return fail(ExportResult::failure(error));
    };
    if (converted && int(converters.size()) < ringSize)
        return stopBeforeFrames(ExportError::renderError());
    if (!drawPathBase())
        return stopBeforeFrames(ExportError::renderError());
    finishMapWarmUp();
    if (isCancelled())
        return stopBeforeFrames(ExportError::cancelled());

    // Web-map frames are slow to capture: they are taken ahead, in order, on threads of their
    // own, one per map page; page k takes frames k, k + pages, ...
    struct WebFrame {
        FrameParams params;
        OSMWebMapExportRenderer::ExportFrame map;
    };
    std::unique_ptr<ExportFrameProducer<WebFrame>> producer;
    std::mutex engineLock;  // the engine answers one thread at a time
    if (m_in.mapWeb && mapPages.size() > 0) {
        const int lanes = mapPages.size();
        producer = std::make_unique<ExportFrameProducer<WebFrame>>(
            int(frames), s, isCancelled,
            [&mapPages, &context, &engineLock, lanes, zoom = task.zoomLevel](int i, const auto &shouldStop) {
                WebFrame item;
                {
                    std::lock_guard lock(engineLock);
                    item.params = computeFrameParams(i, context);
                }
                const FrameParams &p = item.params;
                std::optional<OSMWebMapExportRenderer::FramePosition> position;
                if (p.hasPosition)
                    position = OSMWebMapExportRenderer::FramePosition{p.flattenedIndex, p.dotLng, p.dotLat,
                                                                      p.mapCenterLng, p.mapCenterLat, p.bearing};
                item.map = mapPages.page(i % lanes).exportFrame(position, zoom, shouldStop);
                return item;
            },
            lanes);
    }

    // Drawn on the application's pool: Qt's painter hands large fills and blends to that
    // pool unless it already runs on one of its threads, and those hand-overs cost more
    // than they saved.
    QThreadPool *drawPool = QThreadPool::globalInstance();
    const int mostThreads = std::clamp(drawPool->maxThreadCount(), 1, s);
    int threads = mostThreads;
    double waited = 0;
    std::mutex freeLock;
    std::vector<std::size_t> freeSlots;
    for (std::size_t k = 0; converted && k < ring.size(); ++k)
        freeSlots.push_back(k);
    TextImageCache textCache;
    std::optional<ExportResult> failure;
    long long submitted = 0;
    {
        // Before a half is drawn into again, the s frames of the other half have been submitted.
        FrameWriter writer(process->stdinFd(), (long long)s * (long long)outputBytes);
        QElapsedTimer timer;
        for (long long batchStart = 0, batch = 0; batchStart < frames; batchStart += s, ++batch) {
            if (isCancelled() || !process->isRunning() || writer.error() != 0)
                break;
            const long long batchEnd = std::min(batchStart + s, frames);
            QList<FrameParams> params;
            QList<std::optional<QImage>> maps;
            params.reserve(int(batchEnd - batchStart));
            if (producer) {
                for (long long i = batchStart; i < batchEnd && !failure; ++i) {
                    std::optional<WebFrame> item = producer->take();
                    // A frame off the track has no map, which is no failure; a lost capture is.
                    if (!item || item->map.status == OSMWebMapExportRenderer::ExportFrame::Status::failed) {
                        failure = ExportResult::failure(ExportError::renderError());
                        break;
                    }
                    params.append(item->params);
                    maps.append(item->map.image);
                }
                if (failure)
                    break;
            } else {
                for (long long i = batchStart; i < batchEnd; ++i)
                    params.append(computeFrameParams(int(i), context));
            }
            if (auto error = prepareTextImages(textCache, params, setup.texts, task.previewToVideoScale, isCancelled)) {
                failure = ExportResult::failure(*error);
                break;
            }
            // The ring of this half were last used two batches ago.
            timer.start();
            if (!writer.waitUntilReleased(batchEnd - ringSize, isCancelled))
                break;
            waited = timer.nsecsElapsed() / 1e9;
            m_stats.pipeWaitSeconds += waited;

            timer.start();
            const int base = int(batch % 2) * s;
            const auto drawOne = [&](int k) {
                // Unconverted frames are drawn in their own output; the others in the slot
                // freed last, still in the caches (with fewer threads than slots the rest stay cold).
                std::size_t used = std::size_t(base + k);
                if (converted) {
                    std::lock_guard lock(freeLock);
                    used = freeSlots.back();
                    freeSlots.pop_back();
                }
                OverlayFrameComposer::Slot &slot = ring[used];
                composer.draw(slot, params.at(k), producer ? maps.at(k) : std::nullopt, bool(producer), textCache);
                if (!converted)
                    return;
                const auto out = std::size_t(base + k);
                if (pipe.tiled()) {
                    converters[used]->convertTiles(slot.data, pipe.tiles, pipe.packedSize, outputs[out]);
                    if (!(slot.dirty - sent).isEmpty())
                        drawnOutside = true;
                } else {
                    converters[used]->convertContent(slot.data, slot.dirty, outputs[out], outputBoxes[out]);
                }
                std::lock_guard lock(freeLock);
                freeSlots.push_back(used);
            };
            std::atomic<int> next = 0;
            const int workers = std::min(threads, int(params.size()));
            QSemaphore done;
            for (int w = 0; w < workers; ++w) {
                drawPool->start([&] {
                    for (int k = next++; k < params.size(); k = next++)
                        drawOne(k);
                    done.release();
                });
            }
            done.acquire(workers);
            const double drawn = timer.nsecsElapsed() / 1e9;
            m_stats.drawSeconds += drawn;
            // Judged once both halves of the ring are in use: before that nothing waits.
            if (batch >= 2)
                threads = drawThreads(threads, mostThreads, waited, drawn);
            if (isCancelled())
                break;
            for (int k = 0; k < params.size(); ++k)
                writer.submit(outputs[std::size_t(base + k)], outputBytes);
            submitted = batchEnd;
        }
        timer.start();
        if (isCancelled() || !writer.finish(isCancelled)) {
            // The writer may be stuck in a write that only the child's end releases.
            if (isCancelled() || !process->waitForExit(std::chrono::seconds(10)))
                process->end(stopGrace);
            writer.abort();
        }
        m_stats.pipeWaitSeconds += timer.nsecsElapsed() / 1e9;
        m_stats.writeSeconds = writer.secondsInWrite();
        m_stats.frames = writer.written();
    }
    if (producer)
        producer->stop();
    if (drawnOutside)
        qWarning().noquote() << "[VideoExporter] frames drew outside the parts of the canvas sent to ffmpeg";
    if (m_in.mapWeb) {
        const OSMWebMapExportRenderer::CaptureStats captures = mapPages.captureStats();
        m_stats.mapCaptures = captures.made;
        m_stats.mapCapturesReused = captures.reused;
        m_stats.mapCaptureSeconds = captures.seconds;
    }
    const long long written = m_stats.frames;
    process->closeStdin();
    // ffmpeg finishes the file after its input ends; a cancel meanwhile still ends it in bounded time.
    while (!process->waitForExit(std::chrono::milliseconds(100))) {
        if (isCancelled()) {
            process->end(stopGrace);
            break;
        }
    }
    const FFmpegProcess::Exit exit = process->exitState();
    m_control->setProcess(nullptr);
    stderrReader.wait();
    progressReader.wait();
    memory.clear();

    if (isCancelled())
        return fail(ExportResult::failure(ExportError::cancelled()));
    if (failure)
        return fail(*failure);
    // Before ffmpeg's own verdict: a clip cut short under it fails it, or not at all.
    if (auto changed = exportsourcecheck::changedSince(sourceStamps))
        return fail(ExportResult::failure(*changed));
    const QString errorLines = diagnostics->tail();
    if (exit.signalled || exit.code != 0)
        return fail(ExportResult::failure(ExportError::ffmpegError(failureText(exit, errorLines))));
    if (written < frames) {
        // ffmpeg ended by itself before taking every frame: the file would be cut short.
        QString message = QCoreApplication::translate("VideoExporter", "stopped after %1 of %2 frames")
                              .arg(written)
                              .arg(frames);
        if (!errorLines.isEmpty())
            message += QLatin1Char('\n') + errorLines;
        return fail(ExportResult::failure(ExportError::ffmpegError(message)));
    }
    Q_UNUSED(submitted);
    if (auto commitFailure = transaction->commit())
        return fail(ExportResult::failure(*commitFailure));
    return ExportResult::success(task.outputURL.toLocalFile());
}

} // namespace routereel
