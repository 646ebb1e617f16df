#include "exportaction.h"
#include "suffixsavedialog.h"

#include "ui/state/windowstate.h"

#include "widgets/canvasgeometry.h"
#include "export/exportqueue.h"
#include "export/exportsourcelook.h"
#include "timeline/timelineengine.h"
#include "timeline/videoplayerservice.h"
#include "tracks/gpxservice.h"

#include <QAction>
#include <QScopeGuard>
#include <QDateTime>
#include <QFileDialog>
#include <QProgressBar>
#include <QProgressDialog>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <utility>
#include <variant>

namespace routereel {

namespace {

// A look that ends sooner shows nothing.
constexpr int lookProgressDelayMs = 400;

} // namespace

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

QString ExportAction::unsettledMessage(const Unsettled &unsettled)
{
    if (unsettled.projectLoading)
        return projectLoadingMessage();
    if (unsettled.underWay.isEmpty())
        return {};
    return tr("The export waits for what is still under way: %1. Export again once it has ended.")
        .arg(unsettled.underWay.join(QStringLiteral(", ")));
}

bool ExportAction::refusedWhileLoading()
{
    if (!m_unsettled)
        return false;
    const QString message = unsettledMessage(m_unsettled());
    if (message.isEmpty())
        return false;
    m_presentError(message);
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
    if (isCheckingSources() || refusedWhileLoading())
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

void ExportAction::checkSources(SourcesAnswer then)
{
    auto *look = new ExportSourceLook(builder().usedSourcePaths(), std::chrono::milliseconds(m_sourceCheckLimitMs),
                                      this);
    m_look = look;
    connect(look, &ExportSourceLook::finished, this, [this, then](const std::optional<ExportError> &unreachable) {
        // Before `then`, which may run the save dialog's own event loop.
        endLook();
        then(unreachable);
    });
    showLookProgress(*look);
    look->start();
}

// Shown only when the look takes a while (a slow share): the user sees the
// clips answer one by one, and may give up on a folder that stands.
void ExportAction::showLookProgress(ExportSourceLook &look)
{
    const int total = look.total();
    const auto label = [total](int answered) {
        return tr("Looking for the clips before the export: %1 of %2 answered").arg(answered).arg(total);
    };
    // Not modal: the window stays at hand while a share answers.
    auto *progress = new QProgressDialog(label(0), tr("Cancel"), 0, total, m_window);
    progress->setObjectName(QStringLiteral("exportSourceLook"));
    progress->setWindowTitle(tr("Export"));
    progress->setAccessibleName(tr("Looking for the clips"));
    auto *bar = new QProgressBar(progress);
    bar->setAccessibleName(tr("Clips answered"));
    progress->setBar(bar);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    progress->setMinimumDuration(lookProgressDelayMs);
    progress->setValue(0);
    m_lookProgress = progress;
    connect(&look, &ExportSourceLook::looked, progress, [progress, label](int answered) {
        progress->setValue(answered);
        progress->setLabelText(label(answered));
    });
    connect(progress, &QProgressDialog::canceled, this, [this] {
        endLook();
        // Given up: a file handed over meanwhile may open now.
        m_answer.reset();
    });
}

void ExportAction::endLook()
{
    if (m_look) {
        m_look->disconnect(this);
        m_look->deleteLater();
        m_look = nullptr;
    }
    if (m_lookProgress) {
        m_lookProgress->disconnect(this);
        m_lookProgress->hide();
        m_lookProgress->deleteLater();
        m_lookProgress = nullptr;
    }
}

QUrl ExportAction::runSaveDialog(QWidget *parent, const QString &fileName)
{
    return SuffixSaveDialog::choose(parent, QStringLiteral("mp4"), fileName, [](QFileDialog &dialog) {
        dialog.setMimeTypeFilters({QStringLiteral("video/mp4")});
    });
}

} // namespace routereel
