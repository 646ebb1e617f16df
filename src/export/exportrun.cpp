#include "exportrun.h"

#include "exportdrawing.h"
#include "exportframeloop.h"
#include "exportframering.h"
#include "exportmapwarmup.h"
#include "exportoutputtransaction.h"
#include "exportpathcapture.h"
#include "exportruncontrol.h"
#include "exportshutdown.h"
#include "exportwebmapframes.h"
#include "ffmpegcommandline.h"
#include "ffmpegprogressparser.h"
#include "pipeframe.h"
#include "stderrreader.h"
#include "yuvaframeconverter.h"

#include "maps/gpspathprojection.h"
#include "maps/gpspathrenderer.h"
#include "maps/tilecache.h"

#include <QCoreApplication>
#include <QThread>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>
#include <thread>
#include <unistd.h>

namespace routereel {

namespace {

constexpr double maxFrameRate = 240;
constexpr double maxDuration = 2'678'400;  // 31 days

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

// What the user is told of a failed ffmpeg: how it ended when a signal ended
// it, then the line saying which input it could not read (first, as the alert
// shows the first line), then its last error lines; the exit status only when
// it said nothing.
QString failureText(const FFmpegProcess::Exit &exit, const QString &errorLines,
                    const std::optional<QString> &readError)
{
    QStringList parts;
    if (exit.signalled) {
        const char *name = ::sigabbrev_np(exit.code);
        parts << QCoreApplication::translate("VideoExporter", "ended by signal %1 (%2)")
                     .arg(exit.code)
                     .arg(name ? QStringLiteral("SIG") + QString::fromLatin1(name) : QStringLiteral("?"));
    }
    // The tail stays as ffmpeg wrote it: its "Last message repeated" lines refer to the line before.
    if (readError && !errorLines.startsWith(*readError + QLatin1Char('\n')) && errorLines != *readError)
        parts << *readError;
    if (!errorLines.isEmpty())
        parts << errorLines;
    else if (!exit.signalled && !readError)
        parts << QCoreApplication::translate("VideoExporter", "exit code %1").arg(exit.code);
    return parts.join(QLatin1Char('\n'));
}

// Over source video only the parts of the canvas that widgets can draw in go
// to ffmpeg: far less to pipe and blend than a mostly transparent frame.
PipeFrame sentFrame(const PipeFrame &canvas, FFmpegCommandLine::PipeFormat format, const ExportDrawing &drawing,
                    double textScale)
{
    if (format != FFmpegCommandLine::PipeFormat::yuva420p || canvas.compact || canvas.width % 2 != 0
        || canvas.height % 2 != 0)
        return canvas;
    const YuvaFrameConverter grid(canvas.width, canvas.height);
    if (!grid.isValid())
        return canvas;
    return PipeFrame::withTiles(canvas, grid.boxesAround(drawing.reach(textScale)));
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
    const auto camera = ExportPathCapture::camera(config, effective.points);
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

std::function<bool()> ExportRun::cancelTest() const
{
    return [control = m_control] { return control->isCancelled(); };
}

ExportResult ExportRun::runFrames()
{
    const ExportTask &task = m_in.task;
    const auto isCancelled = cancelTest();
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
    TimelineEngine::EffectiveTrackPoints effective;
    if (task.gpsPathWidget.enabled)
        effective = engine.effectiveTrackPoints(task.tracks);
    // The path map's one capture runs on its own page while the map page warms up.
    ExportPathCapture pathCapture(task.gpsPathWidget, effective, m_in.gpsPathWeb.data(), isCancelled);
    TileCache &cache = m_in.tileCache ? *m_in.tileCache : TileCache::shared();
    // The web map warms up on its pages while ffmpeg starts and the drawing is set up;
    // the frames wait for it. An early return abandons it.
    ExportMapWarmUp mapWarmUp(task, cache, m_in.mapWeb, isCancelled);
    mapWarmUp.start(engine, m_in.start, fps, frames, m_publish);
    if (const auto pageDeadline = pathCapture.pageDeadline())
        mapWarmUp.probePathTiles(effective, *pageDeadline);
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
    const PipeFrame canvas = PipeFrame::forTask(task);
    const ExportDrawing drawing(task, canvas, engine, m_in.start, mapWarmUp.renderer(), effective.points);
    const PipeFrame pipe = sentFrame(canvas, pipeFormat, drawing, task.previewToVideoScale);
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
    switch (const PieceFileWriter::Result copied = command->writePieceFiles(isCancelled); copied.outcome) {
    case PieceFileWriter::Outcome::written:
        break;
    case PieceFileWriter::Outcome::cancelled:
        return fail(ExportResult::failure(ExportError::cancelled()));
    case PieceFileWriter::Outcome::unreadable:
        // Told as ffmpeg tells a clip it cannot read: the same fault, found earlier.
        return fail(ExportResult::failure(ExportError::ffmpegError(copied.message)));
    case PieceFileWriter::Outcome::unwritable:
        return fail(ExportResult::systemFailure(copied.message));
    }

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
    const auto diagnostics = std::make_shared<StderrAccumulator>(command->inputErrorPrefixes());
    StderrReader stderrReader(process->takeStderrFd(), diagnostics);

    ExportFrameRing ring(task, pipe, drawing.composer(), slotCount(QThread::idealThreadCount()));
    if (!ring.isValid())
        return stopBeforeFrames(*process, ExportError::renderError());
    if (!drawPathBase(drawing.pathRenderer(), pathCapture, effective, cache))
        return stopBeforeFrames(*process, ExportError::renderError());
    // Raster tiles load after ffmpeg has started: its start-up is not waited for.
    mapWarmUp.finish();
    if (task.mapEnabled)
        m_stats.mapRenderer = m_in.mapWeb ? QStringLiteral("web") : QStringLiteral("raster");
    m_publish(0.05);
    if (isCancelled())
        return stopBeforeFrames(*process, ExportError::cancelled());

    std::unique_ptr<ExportWebMapFrames> webFrames;
    if (m_in.mapWeb && mapWarmUp.pages().size() > 0)
        webFrames = std::make_unique<ExportWebMapFrames>(mapWarmUp.pages(), drawing.context(), task.zoomLevel,
                                                         int(frames), ring.batchSize(), isCancelled);
    ExportFrameLoop loop(drawing, ring, webFrames.get(), task.previewToVideoScale, isCancelled);
    const std::optional<ExportResult> failure = loop.run(frames, *process, m_stats);
    if (webFrames)
        webFrames->stop();
    if (ring.drewOutside())
        qWarning().noquote() << "[VideoExporter] frames drew outside the parts of the canvas sent to ffmpeg";
    if (m_in.mapWeb) {
        const OSMWebMapExportRenderer::CaptureStats captures = mapWarmUp.pages().captureStats();
        m_stats.mapCaptures = captures.made;
        m_stats.mapCapturesReused = captures.reused;
        m_stats.mapCaptureSeconds = captures.seconds;
    }
    const FFmpegProcess::Exit exit = waitForFFmpeg(*process);
    stderrReader.wait();
    progressReader.wait();
    ring.release();
    const std::optional<QString> readError = diagnostics->firstWatchedLine();
    return verdict(failure, sourceStamps,
                   {exit, command->withClipNames(diagnostics->tail()),
                    readError ? std::optional(command->withClipNames(*readError)) : std::nullopt, m_stats.frames},
                   frames, *transaction);
}

// The path's still part, drawn once over its map; ffmpeg starts meanwhile.
bool ExportRun::drawPathBase(GPSPathRenderer *renderer, ExportPathCapture &capture,
                             const TimelineEngine::EffectiveTrackPoints &effective, TileCache &cache)
{
    if (!renderer)
        return true;
    const ExportTask &task = m_in.task;
    const bool showsMap = task.gpsPathWidget.showMap && !effective.points.isEmpty();
    bool webBackground = false;
    if (showsMap && m_in.gpsPathWeb) {
        if (const auto background = capture.take()) {
            const GPSPathFitCamera::Camera &camera = background->camera;
            renderer->setTileBackground(background->image, camera.crossesDateline, camera.lng, camera.lat,
                                        camera.zoom);
            webBackground = true;
            qInfo().noquote() << "[VideoExporter] GPSPath web background captured";
        } else {
            qInfo().noquote() << "[VideoExporter] GPSPath web capture unavailable, falling back to raster tiles";
        }
    }
    if (showsMap)
        m_stats.pathMapRenderer = webBackground ? QStringLiteral("web") : QStringLiteral("raster");
    shutDownOnMain(m_in.gpsPathWeb);
    if (showsMap && !webBackground) {
        const GPSPathWidgetExportConfig &config = task.gpsPathWidget;
        const auto projection
            = GPSPathProjection::make(effective.points, effective.breaks, config.padding, config.pixelSize);
        const QImage background = GPSPathRenderer::loadTileBackground(
            projection, task.mapProvider, task.mapboxToken, task.mapLanguage, 1.0, cache, cancelTest());
        if (!background.isNull())
            renderer->setTileBackground(background);
    }
    return renderer->renderBase(effective.points, effective.breaks);
}

// Before the first frame: the started child is ended with the run.
ExportResult ExportRun::stopBeforeFrames(FFmpegProcess &process, const ExportError &error)
{
    // Nothing writes to its input yet: closed, it ends the read ffmpeg may wait in.
    process.stop(stopGrace);
    m_control->setProcess(nullptr);
    return fail(ExportResult::failure(error));
}

// ffmpeg finishes the file after its input ends; a cancel meanwhile still ends it in bounded time.
FFmpegProcess::Exit ExportRun::waitForFFmpeg(FFmpegProcess &process)
{
    process.closeStdin();
    while (!process.waitForExit(std::chrono::milliseconds(100))) {
        if (m_control->isCancelled()) {
            process.end(stopGrace);
            break;
        }
    }
    const FFmpegProcess::Exit exit = process.exitState();
    m_control->setProcess(nullptr);
    return exit;
}

ExportResult ExportRun::verdict(const std::optional<ExportResult> &failure,
                                const QList<exportsourcecheck::FileStamp> &sourceStamps, const FFmpegEnd &end,
                                long long frames, ExportOutputTransaction &transaction) const
{
    if (m_control->isCancelled())
        return fail(ExportResult::failure(ExportError::cancelled()));
    if (failure)
        return fail(*failure);
    // Before ffmpeg's own verdict: a clip cut short under it fails it, or not at all.
    if (auto changed = exportsourcecheck::changedSince(sourceStamps))
        return fail(ExportResult::failure(*changed));
    // ffmpeg takes a failed read of a clip for its end and still ends well: the
    // file would hold a frozen picture and silence where the clip could not be read.
    if (end.exit.signalled || end.exit.code != 0 || end.readError)
        return fail(ExportResult::failure(
            ExportError::ffmpegError(failureText(end.exit, end.errorLines, end.readError))));
    if (end.written < frames) {
        // ffmpeg ended by itself before taking every frame: the file would be cut short.
        QString message = QCoreApplication::translate("VideoExporter", "stopped after %1 of %2 frames")
                              .arg(end.written)
                              .arg(frames);
        if (!end.errorLines.isEmpty())
            message += QLatin1Char('\n') + end.errorLines;
        return fail(ExportResult::failure(ExportError::ffmpegError(message)));
    }
    if (auto commitFailure = transaction.commit())
        return fail(ExportResult::failure(*commitFailure));
    return ExportResult::success(m_in.task.outputURL.toLocalFile());
}

} // namespace routereel
