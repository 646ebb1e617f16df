#include "exportaction.h"
#include "suffixsavedialog.h"

#include "ui/state/windowstate.h"

#include "widgets/canvasgeometry.h"
#include "export/exportqueue.h"
#include "export/exportsourcecheck.h"
#include "timeline/timelineengine.h"
#include "timeline/videoplayerservice.h"
#include "tracks/gpxservice.h"

#include <QAction>
#include <QFutureWatcher>
#include <QPromise>
#include <QScopeGuard>
#include <QTimer>
#include <QDateTime>
#include <QFileDialog>
#include <QWidget>

#include <algorithm>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <variant>

namespace routereel {

ExportAction::ExportAction(const Models &models, WindowState &state, NetworkQuery isConnected,
                           AlertSink presentError, QWidget *window)
    : QObject(window),
      m_models(models),
      m_state(state),
      m_isConnected(std::move(isConnected)),
      m_presentError(std::move(presentError)),
      m_window(window),
      m_action(new QAction(this))
{
    m_action->setObjectName(QStringLiteral("exportAction"));
    m_action->setText(tr("Export"));
    m_action->setToolTip(tr("Export"));
    connect(m_action, &QAction::triggered, this, &ExportAction::checkWidgetsAndExport);

    // Readiness has no stored flag: every model it reads recomputes it.
    const TimelineEngine &engine = m_models.task.engine;
    VideoPlayerService &player = m_models.playerService;
    for (auto signal : {&TimelineEngine::segmentsChanged, &TimelineEngine::videoSourcesChanged,
                        &TimelineEngine::videoSegmentsChanged, &TimelineEngine::canvasOriginChanged})
        connect(&engine, signal, this, &ExportAction::modelsChanged);
    for (auto signal : {&VideoPlayerService::isLoadedChanged, &VideoPlayerService::isMetadataReadyChanged,
                        &VideoPlayerService::videoURLChanged, &VideoPlayerService::videoFPSChanged,
                        &VideoPlayerService::durationChanged, &VideoPlayerService::videoBitRateChanged})
        connect(&player, signal, this, &ExportAction::modelsChanged);
    connect(&m_models.task.gpxService, &GPXService::tracksChanged, this, &ExportAction::modelsChanged);
    connect(&m_state, &WindowState::compositionModeChanged, this, &ExportAction::modelsChanged);
    connect(&m_state, &WindowState::exportCompressionFactorChanged, this, &ExportAction::modelsChanged);
    m_canExport = canExport();
    m_action->setEnabled(m_canExport);
}

void ExportAction::modelsChanged()
{
    const bool ready = canExport();
    if (ready != m_canExport) {
        m_canExport = ready;
        m_action->setEnabled(ready);
        emit canExportChanged(ready);
    }
    emit exportFactsChanged();
}

ExportTaskBuilder ExportAction::builder() const
{
    ExportTaskBuilder::WindowState state;
    state.compositionMode = m_state.compositionMode();
    state.selectedPreset = m_state.selectedPreset();
    state.compressionFactor = m_state.exportCompressionFactor();
    state.mapProvider = m_state.mapProvider();
    state.mapboxToken = m_state.mapboxToken();
    state.mapLanguage = m_state.appLanguage();
    state.layoutSize = layoutSize();
    if (m_protectedFiles)
        state.protectedFiles = m_protectedFiles();
    const WidgetPositions positions = m_state.widgetPositions();
    state.mapPosition = positions.map;
    state.timePosition = positions.time;
    state.speedPosition = positions.speed;
    state.gpsPathPosition = positions.gpsPath;
    state.heartRatePosition = positions.heartRate;
    state.heartRateGraphPosition = positions.heartRateGraph;
    return ExportTaskBuilder(m_models.task, ExportTaskBuilder::PlayerState::of(m_models.playerService), state);
}

QSizeF ExportAction::layoutSize() const
{
    const QSizeF canvas = m_models.task.engine.canvasOrigin().value_or(VideoTimelineSnapshot::defaultCanvasSize);
    return referenceCanvasSize(canvas, m_state.widgetLayoutSize());
}

QString ExportAction::proposedFileName() const
{
    const ExportTaskBuilder b = builder();
    const ExportPreset preset = b.isOverlay() ? b.effectiveExportPreset() : m_state.selectedPreset();
    const QSizeF size = b.exportOutputSize(preset);
    const double shortSide = std::min(size.width(), size.height()) * b.outputScale(preset);
    // Local time: the stamp is for the user to recognise the file by.
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd-HHmmss"));
    return stamp + QLatin1Char('_') + resolutionLabel(shortSide) + QStringLiteral(".mp4");
}

void ExportAction::checkWidgetsAndExport()
{
    const ExportTaskBuilder b = builder();
    if (!b.canExport() || refusedWhileLoading())
        return;
    if (const auto error = b.checkWidgets()) {
        m_presentError(error->message());
        return;
    }
    if (b.needsNetwork() && !m_isConnected()) {
        m_state.setShowNetworkAlert(true);
        return;
    }
    m_state.setSelectedPreset(b.isOverlay() ? b.effectiveExportPreset() : ExportPreset::original);
    m_state.setShowExportSheet(true);
}

QString ExportAction::projectLoadingMessage()
{
    return tr("The project's videos are still loading. Export again once they are in the timeline.");
}

bool ExportAction::refusedWhileLoading()
{
    if (!m_projectLoading || !m_projectLoading())
        return false;
    m_presentError(projectLoadingMessage());
    return true;
}

bool ExportAction::refused(const std::optional<ExportStartError> &error)
{
    if (!error)
        return false;
    if (error->isShown())
        m_presentError(error->message());
    return true;
}

void ExportAction::startExport()
{
    if (m_checkingSources || refusedWhileLoading())
        return;
    if (m_answering)
        m_answer = m_answering();
    checkSources([this](const std::optional<ExportError> &unreachable) { chooseOutput(unreachable); });
}

void ExportAction::chooseOutput(const std::optional<ExportError> &unreachable)
{
    auto stopped = qScopeGuard([this] { m_answer.reset(); });
    if (refusedWhileLoading() || refused(builder().check(unreachable)))
        return;
    const QUrl output = m_saveDialog(m_window, proposedFileName());
    if (output.isEmpty())
        return;
    // The dialog ran its own event loop: a probe, a track load or a Clear may
    // have changed the timeline meanwhile. The task is what the state is now,
    // and a user who has chosen a file hears why nothing was queued.
    if (refusedWhileLoading())
        return;
    stopped.dismiss();
    checkSources([this, output](const std::optional<ExportError> &now) { queue(output, now); });
}

void ExportAction::queue(const QUrl &output, const std::optional<ExportError> &unreachable)
{
    const auto queued = qScopeGuard([this] { m_answer.reset(); });
    if (refusedWhileLoading())
        return;
    auto built = builder().build(output, unreachable);
    if (const auto *error = std::get_if<ExportStartError>(&built)) {
        m_presentError(error->message());
        return;
    }
    m_models.queue.enqueue(std::get<ExportTask>(built));
}

// A folder on a share that has gone can hold a stat for minutes: it is asked on
// another thread, and answered for after the limit.
void ExportAction::checkSources(SourcesAnswer then)
{
    struct Asking {
        std::mutex lock;
        QString path;
    };
    auto asking = std::make_shared<Asking>();
    const QStringList paths = builder().usedSourcePaths();
    m_checkingSources = true;
    auto *watcher = new QFutureWatcher<std::optional<ExportError>>(this);
    auto *limit = new QTimer(watcher);
    limit->setSingleShot(true);
    auto answered = std::make_shared<bool>(false);
    const auto answer = [this, watcher, limit, answered, then](const std::optional<ExportError> &unreachable) {
        // Whichever comes first, once: `then` may run a dialog's own event loop,
        // in which neither the watcher's deletion nor the other answer waits.
        if (std::exchange(*answered, true))
            return;
        limit->stop();
        watcher->disconnect(this);
        watcher->deleteLater();
        m_checkingSources = false;
        then(unreachable);
    };
    connect(watcher, &QFutureWatcherBase::finished, this, [watcher, answer] { answer(watcher->result()); });
    connect(limit, &QTimer::timeout, this, [asking, answer] {
        QString path;
        {
            std::lock_guard guard(asking->lock);
            path = asking->path;
        }
        answer(exportsourcecheck::unansweredSource(path));
    });
    // A thread of its own: a busy pool would make a healthy folder seem not to
    // answer, and a stat that never returns must not hold the pool at exit.
    QPromise<std::optional<ExportError>> promise;
    watcher->setFuture(promise.future());
    promise.start();
    std::thread([promise = std::move(promise), paths, asking]() mutable {
        promise.addResult(exportsourcecheck::firstUnreachableSource(paths, [&asking](const QString &path) {
            std::lock_guard guard(asking->lock);
            asking->path = path;
        }));
        promise.finish();
    }).detach();
    limit->start(m_sourceCheckLimitMs);
}

QUrl ExportAction::runSaveDialog(QWidget *parent, const QString &fileName)
{
    return SuffixSaveDialog::choose(parent, QStringLiteral("mp4"), fileName, [](QFileDialog &dialog) {
        dialog.setMimeTypeFilters({QStringLiteral("video/mp4")});
    });
}

} // namespace routereel
