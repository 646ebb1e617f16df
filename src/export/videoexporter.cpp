#include "videoexporter.h"

#include "exportrun.h"
#include "exportruncontrol.h"

#include "maps/osmwebmapexportrenderer.h"
#include "maps/tilecache.h"
#include "maps/webmappage.h"
#include "media/libavinput.h"
#include "timeline/timelineengine.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSet>
#include <QThread>

#include <algorithm>
#include <malloc.h>
#include <mutex>
#include <optional>

namespace routereel {

namespace {

struct ExportRange {
    double start = 0;
    double duration = 0;
};

ExportRange exportRange(const ExportTask &task, const TimelineEngine &engine)
{
    if (task.compositionMode == CompositionMode::overlay) {
        const auto range = engine.gpxTimeRange();
        return range ? ExportRange{range->lower, range->upper - range->lower} : ExportRange{};
    }
    if (!task.videoTimeline)
        return {0, task.videoDuration};
    // The span the video shows, so that the overlays start where the video does.
    const auto shown = task.videoTimeline->shownRange();
    return shown ? ExportRange{shown->start, shown->end - shown->start} : ExportRange{};
}

// Every clip the timeline shows, once per slice, in timeline order.
QStringList sourceFiles(const ExportTask &task)
{
    QStringList paths;
    if (!task.videoTimeline) {
        paths << task.videoURL.toLocalFile();
        return paths;
    }
    for (const VideoTimelineSnapshot::Slice &slice : task.videoTimeline->slices()) {
        if (slice.source)
            paths << slice.source->url.toLocalFile();
    }
    return paths;
}

} // namespace

VideoExporter::VideoExporter(QObject *parent) : QObject(parent)
{
    // An export frees frame buffers of several megabytes. glibc would then raise
    // its mmap threshold past them and keep the next export's buffers in a heap
    // it does not give back: the process grew by a frame ring with every export
    // of a queue. A fixed threshold hands such buffers back when they are freed.
    static std::once_flag fixed;
    std::call_once(fixed, [] { ::mallopt(M_MMAP_THRESHOLD, 1 << 20); });
}

VideoExporter::~VideoExporter()
{
    if (m_control)
        m_control->cancel();
    joinWorker();
}

void VideoExporter::joinWorker()
{
    if (m_worker.joinable())
        m_worker.join();
}

void VideoExporter::setFFmpegSearch(const FFmpegSearch &search)
{
    m_search = search;
}

void VideoExporter::setTileCache(TileCache *cache)
{
    m_tileCache = cache;
}

void VideoExporter::setNotifier(std::shared_ptr<ExportNotifier> notifier)
{
    m_notifier = std::move(notifier);
}

void VideoExporter::setProgress(double value)
{
    if (m_progress == value)
        return;
    m_progress = value;
    emit progressChanged();
}

void VideoExporter::setExporting(bool value)
{
    if (m_isExporting == value)
        return;
    m_isExporting = value;
    emit isExportingChanged();
}

void VideoExporter::setComplete(bool value)
{
    if (m_isComplete == value)
        return;
    m_isComplete = value;
    emit isCompleteChanged();
}

void VideoExporter::setErrorMessage(const QString &value)
{
    if (m_errorMessage == value)
        return;
    m_errorMessage = value;
    emit errorMessageChanged();
}

bool VideoExporter::cancelled() const
{
    return m_control && m_control->isCancelled();
}

std::function<bool()> VideoExporter::isCancelled() const
{
    std::weak_ptr<ExportRunControl> weak = m_control;
    return [weak] {
        const auto control = weak.lock();
        return !control || control->isCancelled();
    };
}

void VideoExporter::cancel()
{
    qInfo().noquote() << "[VideoExporter] cancel called";
    if (m_control)
        m_control->cancel();
    (m_tileCache ? *m_tileCache : TileCache::shared()).cancelRunningRequests();
}

void VideoExporter::kill()
{
    qWarning().noquote() << "[VideoExporter] kill called";
    if (m_control)
        m_control->kill();
    (m_tileCache ? *m_tileCache : TileCache::shared()).cancelRunningRequests();
}

void VideoExporter::postExportNotification(const QString &title, const QString &body)
{
    if (m_notifier)
        m_notifier->postExportNotification(title, body);
}

VideoExporter::RunStats VideoExporter::lastRunStats() const
{
    std::lock_guard guard(m_statsLock);
    return m_stats;
}

void VideoExporter::exportTask(const ExportTask &task, Completion completion)
{
    // The previous run has delivered its result; its thread is at its very end.
    joinWorker();
    m_engine = std::make_unique<TimelineEngine>();
    m_engine->setSegments(task.segments);

    setExporting(true);
    setComplete(false);
    setProgress(0);
    setErrorMessage(QString());
    m_control = std::make_shared<ExportRunControl>();

    const ExportRange range = exportRange(task, *m_engine);
    QStringList sources;
    if (task.compositionMode == CompositionMode::regular) {
        if (task.videoURL.isEmpty()) {
            const ExportError error = ExportError::renderError();
            setExporting(false);
            setErrorMessage(error.message());
            completion(ExportResult::failure(error));
            return;
        }
        // Checked on the run's worker: reading them here would hold the window.
        sources = sourceFiles(task);
    }

    ExportRun::Inputs inputs;
    inputs.task = task;
    inputs.engine = m_engine.get();
    inputs.start = range.start;
    inputs.duration = range.duration;
    inputs.sourcePaths = sources;
    inputs.search = m_search;
    inputs.tileCache = m_tileCache;
    // OSM maps come from a web map page when this process can show one (a web
    // engine registered its page factory); otherwise, and whenever the page
    // fails, from raster tiles. Without a factory no page could ever get ready.
    m_mapWeb.reset();
    m_gpsPathWeb.reset();
    const bool webMaps = task.mapProvider == MapProvider::openStreetMap && bool(webMapPageFactory())
        && QThread::currentThread() == QCoreApplication::instance()->thread();
    if (webMaps && task.mapEnabled) {
        m_mapWeb = std::make_unique<OSMWebMapExportRenderer>(
            OSMWebMapExportRenderer::Kind::mapWidget, task.mapLanguage, task.mapReferenceSize,
            task.mapSize.width() / std::max(1.0, task.mapReferenceSize.width()), WebMapPageFactory(),
            ExportRun::mapPageView(task, *m_engine, range.start));
        inputs.mapWeb = m_mapWeb.get();
    }
    const GPSPathWidgetExportConfig &path = task.gpsPathWidget;
    if (webMaps && path.enabled && path.showMap) {
        m_gpsPathWeb = std::make_unique<OSMWebMapExportRenderer>(
            OSMWebMapExportRenderer::Kind::gpsPath, task.mapLanguage, QSizeF(path.referenceSize, path.referenceSize),
            path.pixelSize / std::max(1.0, path.referenceSize), WebMapPageFactory(),
            ExportRun::pathPageView(task, *m_engine));
        inputs.gpsPathWeb = m_gpsPathWeb.get();
    }
    // This object outlives the worker (the destructor joins it), so posting to it is safe.
    // The run's own steps and ffmpeg's count tell from two threads, in either order:
    // the progress of this run only goes forward.
    const ExportRun::PublishProgress publish = [this, run = std::weak_ptr(m_control)](double value) {
        QMetaObject::invokeMethod(
            this,
            [this, run, value] {
                if (run.lock() == m_control && value > m_progress)
                    setProgress(value);
            },
            Qt::QueuedConnection);
    };
    m_worker = std::thread([this, inputs = std::move(inputs), control = m_control, publish, completion]() mutable {
        ExportRun run(std::move(inputs), control, publish);
        const ExportResult result = run.execute();
        {
            std::lock_guard guard(m_statsLock);
            m_stats = run.stats();
        }
        QMetaObject::invokeMethod(
            this, [this, result, completion] { finishOnMain(result, completion); }, Qt::QueuedConnection);
    });
}

void VideoExporter::finishOnMain(const ExportResult &result, const Completion &completion)
{
    setExporting(false);
    if (result.succeeded()) {
        setProgress(1.0);
        setComplete(true);
        postExportNotification(QStringLiteral("routereel"), tr("Export Complete!"));
    } else {
        setErrorMessage(cancelled() ? QString() : result.message());
    }
    if (completion)
        completion(result);
}

} // namespace routereel
