#pragma once

#include "ui/state/windowstate.h"

#include "project/projectfilepanels.h"
#include "project/projectwindow.h"

#include <QDBusConnection>
#include <QFuture>
#include <QMainWindow>
#include <QNetworkInformation>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

namespace routereel {

class ExportAction;
class ExportQueue;
class FileImport;
class MainLayout;
class NetworkMonitor;
class PlaybackClock;
class PreviewPlayer;
class ProjectSession;
class TileCache;
class VideoPlayerAdapter;
class VideoPlayerService;
class WindowAlerts;
class WindowCommands;
class WindowSheets;

// The single document window. It owns every model object for its whole life and
// the window state that the views bind to, lays the views out, and runs the
// project roads (open, save, restore, drop) through its project session.
class MainWindow : public QMainWindow, public ProjectWindow, public ProjectFilePanels {
    Q_OBJECT

public:
    struct Options {
        // The media player behind the preview; the real one when not given.
        std::function<PreviewPlayer *()> makePlayer;
        // A fixed network state instead of the system's (tests).
        std::optional<QNetworkInformation::Reachability> network;
        // Where export notifications go; the session bus when not given.
        std::optional<QDBusConnection> notificationBus = std::nullopt;
    };

    explicit MainWindow(QWidget *parent = nullptr);
    explicit MainWindow(const Options &options, QWidget *parent = nullptr);
    ~MainWindow() override;

    // ---- model objects, for the views
    TimelineEngine &engine() override;
    GPXService &gpxService() override;
    LogStore &logStore() override;
    VideoPlayerService &playerService();
    PlaybackClock &clock();
    ExportQueue &exportQueue();
    TileCache &tileCache();
    MapSettings &mapSettings() override;
    TimeWidgetSettings &timeSettings() override;
    SpeedWidgetSettings &speedSettings() override;
    GPSPathWidgetSettings &gpsPathSettings() override;
    HeartRateWidgetSettings &heartRateSettings() override;
    HeartRateGraphWidgetSettings &heartRateGraphSettings() override;
    WindowState &windowState() { return m_state; }
    NetworkMonitor &networkMonitor();
    ProjectSession &session();
    FileImport &fileImport();
    WindowAlerts &alerts();
    WindowSheets &sheets();
    WindowCommands &commands();
    MainLayout &content();
    // The export front end; its action() is the toolbar's Export command.
    ExportAction &exportAction() { return *m_exportAction; }

    // Puts a view in its place ("previewArea", "timelinePanel", "modePicker",
    // "inspector", "exportBar"); false for an unknown name.
    bool replacePlaceholder(const QString &name, QWidget *view);

    // ---- start-up
    // A project file handed over before the window is shown (command line).
    void setPendingOpenURL(const std::optional<QUrl> &url) { m_pendingOpenURL = url; }
    std::optional<QUrl> pendingOpenURL() const { return m_pendingOpenURL; }
    // The silent update check run at the first show (filled by the application shell).
    void setUpdateCheck(std::function<void()> check) { m_updateCheck = std::move(check); }
    // Asked before the window closes (and the application with it); false keeps it open.
    void setCloseGuard(std::function<bool()> guard) { m_closeGuard = std::move(guard); }

    // The layout that widget positions refer to, for the current canvas.
    QSizeF resolveLayoutSize() const;
    // Logs the whole message as an error and shows its first line in the "Error" alert.
    void presentError(const QString &message);

    // ---- commands (Save, Save As and Open are the actions of commands())
    // A project file handed over while the window runs.
    void openProjectURL(const QUrl &url);
    // Toggles the interface language between "en" and "zh-Hans" and retranslates every view.
    void setLanguage();
    void importFiles();

    // ---- ProjectWindow
    ProjectPlayer &player() override;
    MapProvider mapProvider() const override;
    void setMapProvider(MapProvider provider) override;
    ExportPreset selectedPreset() const override;
    void setSelectedPreset(ExportPreset preset) override;
    double exportCompressionFactor() const override;
    void setExportCompressionFactor(double factor) override;
    CompositionMode compositionMode() const override;
    void setCompositionMode(CompositionMode mode) override;
    std::optional<QSizeF> widgetLayoutSize() const override;
    void setWidgetLayoutSize(const std::optional<QSizeF> &size) override;
    WidgetPositions widgetPositions() const override;
    void setWidgetPositions(const WidgetPositions &positions) override;
    void cancelVideoImport() override;
    void importDroppedFiles(const QList<QUrl> &urls) override;

    // ---- ProjectFilePanels
    std::optional<QUrl> chooseSaveLocation(const QString &proposedName, const QString &folder) override;
    std::optional<QUrl> chooseProjectToOpen() override;

    // The last session is written this long after the last edit (and at quit).
    static constexpr int autosaveDelayMs = 3000;
    void setAutosaveDelay(int milliseconds) { m_autosave.setInterval(milliseconds); }
    bool isAutosavePending() const { return m_autosave.isActive(); }

protected:
    void showEvent(QShowEvent *event) override;
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    struct Models;

    void installReactions();
    // Puts each view of the window in its place of the layout.
    void installViews();
    void runStartup();
    void scheduleAutosave();
    void autosave();
    void writeLastSessionBeforeQuit();
    void holdForImport(QFuture<void> settled, const QList<QUrl> &files);
    void applyAppearance();
    void retranslate();

    WindowState m_state;
    std::unique_ptr<Models> m_models;
    MainLayout *m_content;
    ExportAction *m_exportAction = nullptr;
    std::optional<QUrl> m_pendingOpenURL;
    std::function<void()> m_updateCheck;
    std::function<bool()> m_closeGuard;
    bool m_started = false;
    bool m_startupRan = false;
    QTimer m_autosave;
};

} // namespace routereel
