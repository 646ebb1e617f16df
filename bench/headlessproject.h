#pragma once
// A main window without a screen: the real model objects (track store, timeline,
// player service, widget settings, log) behind the window interfaces of the
// project roads, so that a saved project is opened exactly as the app opens it.
// Header only: the project tests use it as well.

#include "export/exporttaskbuilder.h"
#include "project/projectalerts.h"
#include "project/projectfilepanels.h"
#include "project/projectmodels.h"
#include "project/projectplayer.h"
#include "project/projectsession.h"
#include "project/projectwindow.h"
#include "support/waitfor.h"
#include "timeline/previewplayer.h"
#include "timeline/timelineengine.h"
#include "timeline/videoplayerservice.h"
#include "tracks/gpxservice.h"
#include "tracks/logstore.h"
#include "widgets/gpspathwidgetsettings.h"
#include "widgets/heartrategraphwidgetsettings.h"
#include "widgets/heartratewidgetsettings.h"
#include "widgets/mapsettings.h"
#include "widgets/speedwidgetsettings.h"
#include "widgets/timewidgetsettings.h"

#include <QCoreApplication>
#include <QTimer>

#include <variant>

namespace routereel::bench {

// Accepts every item as soon as it is installed and shows nothing: the player
// service still builds the real preview plan (reading every clip) and publishes
// what the export reads of it.
class HeadlessPreviewPlayer : public PreviewPlayer {
public:
    using PreviewPlayer::PreviewPlayer;

    ItemId replaceItem(std::optional<PreviewPlan> plan) override
    {
        const ItemId item = ++m_lastItem;
        m_current = item;
        m_status = ItemStatus::unknown;
        m_renderSize = plan ? plan->renderSize : QSizeF();
        if (plan) {
            QTimer::singleShot(0, this, [this, item] {
                if (m_current != item)
                    return;
                m_status = ItemStatus::readyToPlay;
                emit itemStatusChanged(item, m_status);
            });
        }
        return item;
    }
    ItemId currentItem() const override { return m_current; }
    ItemStatus itemStatus() const override { return m_status; }
    QString itemError() const override { return {}; }
    void play() override { setPlaying(true); }
    void pause() override { setPlaying(false); }
    bool isPlaying() const override { return m_playing; }
    double currentTime() const override { return m_time; }
    void seek(double seconds, std::function<void(bool)> completion) override
    {
        m_time = seconds;
        QTimer::singleShot(0, this, [completion = std::move(completion)] {
            if (completion)
                completion(true);
        });
    }
    QImage currentFrame() const override { return {}; }
    QTransform currentFrameTransform() const override { return {}; }
    QSizeF renderSize() const override { return m_renderSize; }

private:
    void setPlaying(bool playing)
    {
        if (m_playing == playing)
            return;
        m_playing = playing;
        emit playingChanged(playing);
    }

    ItemId m_lastItem = 0;
    ItemId m_current = 0;
    ItemStatus m_status = ItemStatus::unknown;
    bool m_playing = false;
    double m_time = 0;
    QSizeF m_renderSize;
};

// The player service as the project roads see it, as the main window hands it over.
class ServiceProjectPlayer : public ProjectPlayer {
public:
    explicit ServiceProjectPlayer(VideoPlayerService &service) : m_service(service)
    {
        connect(&service, &VideoPlayerService::isLoadedChanged, this, &ProjectPlayer::isLoadedChanged);
        connect(&service, &VideoPlayerService::loadingErrorChanged, this, &ProjectPlayer::loadingErrorChanged);
    }
    QUrl videoURL() const override { return m_service.videoURL(); }
    double playheadTime() const override { return m_service.clock()->playheadTime(); }
    bool isLoaded() const override { return m_service.isLoaded(); }
    QString loadingError() const override { return m_service.loadingError(); }
    bool loadingErrorIsSoundOnly() const override { return m_service.loadingErrorIsSoundOnly(); }
    void reset() override { m_service.reset(); }
    void loadTimeline(const VideoTimelineSnapshot &snapshot) override { m_service.loadTimeline(snapshot); }
    void loadOverlayOnly(std::optional<std::pair<double, double>> range, QSizeF canvas) override
    {
        m_service.loadOverlayOnly(range, canvas);
    }
    void pause() override { m_service.pause(); }
    void seek(double seconds) override { m_service.seek(seconds); }
    void scrub(double seconds) override { m_service.scrub(seconds); }

private:
    VideoPlayerService &m_service;
};

// The window: its models, its state, its alerts (remembered, not shown), no
// file panels, and its project session with the reactions the window installs.
// The settings objects read the user's settings when made, and an opened
// project writes to them, as in the app.
class HeadlessProjectWindow : public ProjectModels, public ProjectAlerts, public ProjectFilePanels {
public:
    HeadlessProjectWindow() : playerService(new HeadlessPreviewPlayer), projectPlayer(playerService)
    {
        session.installReactions();
    }

    VideoPlayerService playerService;
    ServiceProjectPlayer projectPlayer;
    QString mapboxToken;
    QString mapLanguage = QStringLiteral("en");
    QStringList alertsShown;

    ProjectSession session{*this, *this, *this};

    // ProjectWindow
    ProjectPlayer &player() override { return projectPlayer; }
    void setCompositionMode(CompositionMode value) override
    {
        if (mode == value)
            return;
        mode = value;
        // Queued, as the window's own reaction.
        QTimer::singleShot(0, &session, [this] { session.cancelRestoreSeekAndRebuildPlayer(); });
    }
    void cancelVideoImport() override {}
    void importDroppedFiles(const QList<QUrl> &) override {}

    // ProjectAlerts
    void showErrorAlert(const QString &text) override { alertsShown << text; }

    // ProjectFilePanels: nobody to ask.
    std::optional<QUrl> chooseSaveLocation(const QString &, const QString &) override { return std::nullopt; }
    std::optional<QUrl> chooseProjectToOpen() override { return std::nullopt; }

    // The export action's view of this window at this moment.
    ExportTaskBuilder taskBuilder() const
    {
        ExportTaskBuilder::WindowState state;
        state.compositionMode = mode;
        state.selectedPreset = preset;
        state.compressionFactor = compressionFactor;
        state.mapProvider = provider;
        state.mapboxToken = mapboxToken;
        state.mapLanguage = mapLanguage;
        state.layoutSize = session.resolveLayoutSize();
        state.mapPosition = positions.map;
        state.timePosition = positions.time;
        state.speedPosition = positions.speed;
        state.gpsPathPosition = positions.gpsPath;
        state.heartRatePosition = positions.heartRate;
        state.heartRateGraphPosition = positions.heartRateGraph;
        state.protectedFiles = session.protectedFiles();
        return ExportTaskBuilder({gpx, engineObject, map, time, speed, gpsPath, heartRate, heartRateGraph},
                                 ExportTaskBuilder::PlayerState::of(playerService), state);
    }

    // Runs the event loop until the project's video is restored and the player
    // has settled (loaded or failed), then lets the queued reactions run.
    // False when that took longer than `timeoutMs`.
    bool settle(int timeoutMs)
    {
        const auto settled = [this] {
            if (session.isRestoringVideo())
                return false;
            if (mode == CompositionMode::regular && !engineObject.videoSegments().isEmpty())
                return playerService.isMetadataReady() || !playerService.loadingError().isEmpty();
            return true;
        };
        // The reactions are queued: a first pass lets the restore start.
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (!testsupport::waitFor(settled, timeoutMs, 50))
            return false;
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        return settled();
    }
};

// Opens `projectPath` in `window` as the app's Open does and builds the export
// the user would start from it, to `output`. Anything the user would be shown
// on the way (a project that cannot be read, files missing, a clip or track that
// cannot be loaded, an export that the window refuses) comes back as that
// message instead; the last one, as the window's alert shows the last.
inline std::variant<ExportTask, QString> openProjectForExport(HeadlessProjectWindow &window,
                                                              const QString &projectPath, const QUrl &output,
                                                              int timeoutMs = 120000)
{
    const qsizetype alertsBefore = window.alertsShown.size();
    window.session.openProject(QUrl::fromLocalFile(projectPath));
    // The file is read off the window's thread: wait until it was applied or refused.
    testsupport::waitFor([&] { return !window.session.hasFileWork(); }, timeoutMs, 10);
    const bool settled = window.session.projectURL().has_value() && window.settle(timeoutMs);
    if (window.alertsShown.size() > alertsBefore)
        return window.alertsShown.last();
    if (!window.session.projectURL())
        return QCoreApplication::translate("ProjectExport", "The project could not be opened.");
    if (!settled)
        return QCoreApplication::translate("ProjectExport", "The project's video did not finish loading within %1 s.")
            .arg(timeoutMs / 1000);
    // The order of the window: the Export button needs a ready project, then a widget.
    const ExportTaskBuilder builder = window.taskBuilder();
    if (builder.canExport()) {
        if (const auto noWidgets = builder.checkWidgets())
            return noWidgets->message();
    }
    auto built = builder.build(output);
    if (const auto *error = std::get_if<ExportStartError>(&built))
        return error->message();
    return std::get<ExportTask>(std::move(built));
}

} // namespace routereel::bench
