#include "exportaction.h"

#include "ui/state/windowstate.h"

#include "widgets/canvasgeometry.h"
#include "export/exportqueue.h"
#include "timeline/timelineengine.h"
#include "timeline/videoplayerservice.h"
#include "tracks/gpxservice.h"

#include <QAction>
#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QWidget>

#include <algorithm>
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
    if (!b.canExport())
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
    if (refused(builder().check()))
        return;
    const QUrl output = m_saveDialog(m_window, proposedFileName());
    if (output.isEmpty())
        return;
    // The dialog ran its own event loop: a probe, a track load or a Clear may
    // have changed the timeline meanwhile. The task is what the state is now,
    // and a user who has chosen a file hears why nothing was queued.
    auto built = builder().build(output);
    if (const auto *error = std::get_if<ExportStartError>(&built)) {
        m_presentError(error->message());
        return;
    }
    m_models.queue.enqueue(std::get<ExportTask>(built));
}

QString ExportAction::mpeg4FileName(const QString &path)
{
    if (QFileInfo(path).suffix().compare(QLatin1String("mp4"), Qt::CaseInsensitive) == 0)
        return path;
    return path + (path.endsWith(QLatin1Char('.')) ? QStringLiteral("mp4") : QStringLiteral(".mp4"));
}

namespace {

// Saves MPEG-4 only: a name typed with another extension gets ".mp4" added
// before the dialog asks whether to replace a file of that name.
class Mpeg4SaveDialog : public QFileDialog {
public:
    using QFileDialog::QFileDialog;

    void accept() override
    {
        const QStringList chosen = selectedFiles();
        if (chosen.size() == 1 && !chosen.first().isEmpty() && !QFileInfo(chosen.first()).isDir()) {
            const QString fixed = ExportAction::mpeg4FileName(chosen.first());
            if (fixed != chosen.first())
                selectFile(fixed);
        }
        QFileDialog::accept();
    }
};

} // namespace

QUrl ExportAction::runSaveDialog(QWidget *parent, const QString &fileName)
{
    QString proposal = fileName;
    for (;;) {
        Mpeg4SaveDialog dialog(parent);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setMimeTypeFilters({QStringLiteral("video/mp4")});
        dialog.setDefaultSuffix(QStringLiteral("mp4"));
        dialog.selectFile(proposal);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedUrls().isEmpty())
            return {};
        const QUrl chosen = dialog.selectedUrls().constFirst();
        if (!chosen.isLocalFile())
            return chosen;
        const QString path = chosen.toLocalFile();
        const QString fixed = mpeg4FileName(path);
        // A desktop's own panel may skip the check above; its confirmation of
        // another name does not cover the file that would now be replaced.
        if (fixed == path || !QFileInfo::exists(fixed))
            return QUrl::fromLocalFile(fixed);
        proposal = fixed;
    }
}

} // namespace routereel
