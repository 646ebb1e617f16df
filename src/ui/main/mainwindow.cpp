#include "mainwindow.h"

#include "exportaction.h"
#include "fileimport.h"
#include "interfacelanguage.h"
#include "mainlayout.h"
#include "networkmonitor.h"
#include "pressablecontrolkeys.h"
#include "suffixsavedialog.h"
#include "windowalerts.h"
#include "windowappearance.h"
#include "windowanswers.h"
#include "windowcommands.h"
#include "windowplacement.h"
#include "windowsheets.h"

#include "widgets/canvasgeometry.h"
#include "export/exportqueue.h"
#include "export/videoexporter.h"
#include "export/views/desktopexportnotifier.h"
#include "maps/tilecache.h"
#include "project/projectsession.h"
#include "project/videoplayeradapter.h"
#include "timeline/timelineengine.h"
#include "timeline/videoplayerservice.h"
#include "timeline/timelineplayer.h"
#include "tracks/gpxservice.h"
#include "tracks/logstore.h"
#include "widgets/gpspathwidgetsettings.h"
#include "widgets/heartrategraphwidgetsettings.h"
#include "widgets/heartratewidgetsettings.h"
#include "widgets/mapsettings.h"
#include "widgets/speedwidgetsettings.h"
#include "widgets/timewidgetsettings.h"
#include "ui/panels/screenfit.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QMimeData>
#include <QSessionManager>

#include <utility>

namespace routereel {

// Declared in the order they are built; the ones that use others come last and go first.
struct MainWindow::Models {
    LogStore log;
    GPXService gpx;
    TimelineEngine engine;
    VideoPlayerService player;
    VideoPlayerAdapter playerAdapter{player};
    ExportQueue queue;
    MapSettings map;
    TimeWidgetSettings time;
    SpeedWidgetSettings speed;
    GPSPathWidgetSettings gpsPath;
    HeartRateWidgetSettings heartRate;
    HeartRateGraphWidgetSettings heartRateGraph;
    std::unique_ptr<NetworkMonitor> network;
    WindowAlerts *alerts = nullptr;
    WindowSheets *sheets = nullptr;
    WindowCommands *commands = nullptr;
    std::unique_ptr<ProjectSession> session;
    std::unique_ptr<FileImport> import;

    explicit Models(const Options &options)
        : player(options.makePlayer ? options.makePlayer() : new TimelinePlayer),
          network(options.network ? std::make_unique<NetworkMonitor>(*options.network)
                                  : std::make_unique<NetworkMonitor>())
    {
    }
};

MainWindow::MainWindow(QWidget *parent)
    : MainWindow(Options(), parent)
{
}

MainWindow::MainWindow(const Options &options, QWidget *parent)
    : QMainWindow(parent), m_models(std::make_unique<Models>(options))
{
    setObjectName(QStringLiteral("main"));
    resize(1280, 720);
    setAcceptDrops(true);

    Models &m = *m_models;
    m.alerts = new WindowAlerts(m_state, this);
    m.sheets = new WindowSheets(m_state, this);
    m.session = std::make_unique<ProjectSession>(*this, *m.alerts, *this);
    m.import = std::make_unique<FileImport>(m.engine, m.gpx, m.log,
                                            [this](const QString &message) { presentError(message); }, this);
    m.import->setProjectRoad([this](const QUrl &url, std::function<void()> then) {
        m_models->session->openProject(url, std::move(then));
    });
    // Imports keep the user's order against the projects being read: they land in
    // the project asked for before them, once its video is back.
    m.import->setGate(
        [this](std::function<void()> import) { m_models->session->stage().whenReady(std::move(import), tr("Import")); },
        [this](QFuture<void> settled, const QList<QUrl> &files) { holdForImport(settled, files); });
    // A video import waits for the restore of the project's video before it.
    connect(m.session.get(), &ProjectSession::videoRestoreStarted, m.import.get(),
            [this](QObject *task) { m_models->import->videoImports().waitFor(task); });
    m.commands = new WindowCommands(*m.session, *m.engine.undoStack(), this);
    new WindowAnswers(*this, m.session->stage());
    m.queue.exporter()->setNotifier(std::make_shared<DesktopExportNotifier>(
        options.notificationBus.value_or(QDBusConnection::sessionBus()), QApplication::windowIcon()));

    m_content = new MainLayout;
    setCentralWidget(m_content);
    new WindowPlacement(*this, *m_content);
    new PressableControlKeys(*this);
    m_content->setCanvasSize(m.engine.canvasOrigin().value_or(VideoTimelineSnapshot::defaultCanvasSize));

    m_autosave.setSingleShot(true);
    m_autosave.setInterval(autosaveDelayMs);
    connect(&m_autosave, &QTimer::timeout, this, &MainWindow::autosave);

    installViews();
    installReactions();
    applyAppearance();
    retranslate();
}

MainWindow::~MainWindow()
{
    // The export front end, the session and the import first: they refer to the models.
    delete m_exportAction;
    m_models->import.reset();
    m_models->session.reset();
}

// ---- models

TimelineEngine &MainWindow::engine() { return m_models->engine; }
GPXService &MainWindow::gpxService() { return m_models->gpx; }
LogStore &MainWindow::logStore() { return m_models->log; }
VideoPlayerService &MainWindow::playerService() { return m_models->player; }
PlaybackClock &MainWindow::clock() { return *m_models->player.clock(); }
ExportQueue &MainWindow::exportQueue() { return m_models->queue; }
TileCache &MainWindow::tileCache() { return TileCache::shared(); }
MapSettings &MainWindow::mapSettings() { return m_models->map; }
TimeWidgetSettings &MainWindow::timeSettings() { return m_models->time; }
SpeedWidgetSettings &MainWindow::speedSettings() { return m_models->speed; }
GPSPathWidgetSettings &MainWindow::gpsPathSettings() { return m_models->gpsPath; }
HeartRateWidgetSettings &MainWindow::heartRateSettings() { return m_models->heartRate; }
HeartRateGraphWidgetSettings &MainWindow::heartRateGraphSettings() { return m_models->heartRateGraph; }
NetworkMonitor &MainWindow::networkMonitor() { return *m_models->network; }
ProjectSession &MainWindow::session() { return *m_models->session; }
FileImport &MainWindow::fileImport() { return *m_models->import; }
WindowAlerts &MainWindow::alerts() { return *m_models->alerts; }
WindowSheets &MainWindow::sheets() { return *m_models->sheets; }
WindowCommands &MainWindow::commands() { return *m_models->commands; }
MainLayout &MainWindow::content() { return *m_content; }
ProjectPlayer &MainWindow::player() { return m_models->playerAdapter; }

bool MainWindow::replacePlaceholder(const QString &name, QWidget *view)
{
    return m_content->replacePlaceholder(name, view);
}

// ---- window state as the project roads see it

MapProvider MainWindow::mapProvider() const { return m_state.mapProvider(); }
void MainWindow::setMapProvider(MapProvider provider) { m_state.setMapProvider(provider); }
ExportPreset MainWindow::selectedPreset() const { return m_state.selectedPreset(); }
void MainWindow::setSelectedPreset(ExportPreset preset) { m_state.setSelectedPreset(preset); }
double MainWindow::exportCompressionFactor() const { return m_state.exportCompressionFactor(); }
void MainWindow::setExportCompressionFactor(double factor) { m_state.setExportCompressionFactor(factor); }
CompositionMode MainWindow::compositionMode() const { return m_state.compositionMode(); }
void MainWindow::setCompositionMode(CompositionMode mode) { m_state.setCompositionMode(mode); }
std::optional<QSizeF> MainWindow::widgetLayoutSize() const { return m_state.widgetLayoutSize(); }
void MainWindow::setWidgetLayoutSize(const std::optional<QSizeF> &size) { m_state.setWidgetLayoutSize(size); }
WidgetPositions MainWindow::widgetPositions() const { return m_state.widgetPositions(); }
void MainWindow::setWidgetPositions(const WidgetPositions &positions) { m_state.setWidgetPositions(positions); }
void MainWindow::cancelVideoImport() { m_models->import->cancelVideoImport(); }
void MainWindow::importDroppedFiles(const QList<QUrl> &urls) { m_models->import->importDropped(urls); }

QSizeF MainWindow::resolveLayoutSize() const
{
    return m_models->session->resolveLayoutSize();
}

void MainWindow::presentError(const QString &message)
{
    m_models->session->presentError(message);
}

// ---- reactions

void MainWindow::installReactions()
{
    Models &m = *m_models;
    connect(m.network.get(), &NetworkMonitor::isConnectedChanged, this, [this](bool connected) {
        if (!connected)
            m_state.setShowNetworkAlert(true);
    });
    // Queued like the session's own reactions: a project apply finishes first.
    connect(&m_state, &WindowState::compositionModeChanged, m.session.get(),
            &ProjectSession::cancelRestoreSeekAndRebuildPlayer, Qt::QueuedConnection);
    m.session->installReactions();
    connect(m.session.get(), &ProjectSession::projectURLChanged, this,
            [this] { m_state.setProjectURL(m_models->session->projectURL().value_or(QUrl())); });
    connect(&m.engine, &TimelineEngine::canvasOriginChanged, this, [this] {
        m_content->setCanvasSize(m_models->engine.canvasOrigin().value_or(VideoTimelineSnapshot::defaultCanvasSize));
    });
    connect(&m.gpx, &GPXService::tracksChanged, this,
            [this] { m_content->setInspectorEnabled(!m_models->gpx.tracks().isEmpty()); });
    connect(&m_state, &WindowState::appAppearanceChanged, this, &MainWindow::applyAppearance);
    connect(&m_state, &WindowState::appLanguageChanged, this,
            [this] { InterfaceLanguage::install(m_state.appLanguage()); });

    // The last session: at quit, when the session manager asks, and shortly after each edit.
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
        m_autosave.stop();
        writeLastSessionBeforeQuit();
    });
    connect(qApp, &QGuiApplication::commitDataRequest, this,
            [this](QSessionManager &) { writeLastSessionBeforeQuit(); });
    const auto edited = [this] { scheduleAutosave(); };
    for (auto signal : {&TimelineEngine::segmentsChanged, &TimelineEngine::videoSegmentsChanged,
                        &TimelineEngine::videoSourcesChanged, &TimelineEngine::canvasOriginChanged})
        connect(&m.engine, signal, this, edited);
    connect(&m.gpx, &GPXService::tracksChanged, this, edited);
    connect(&m.map, &MapSettings::changed, this, edited);
    connect(&m.time, &TimeWidgetSettings::changed, this, edited);
    connect(&m.speed, &SpeedWidgetSettings::changed, this, edited);
    connect(&m.gpsPath, &GPSPathWidgetSettings::changed, this, edited);
    connect(&m.heartRate, &HeartRateWidgetSettings::changed, this, edited);
    connect(&m.heartRateGraph, &HeartRateGraphWidgetSettings::changed, this, edited);
    for (auto signal : {&WindowState::widgetPositionsChanged, &WindowState::compositionModeChanged,
                        &WindowState::selectedPresetChanged, &WindowState::mapProviderChanged,
                        &WindowState::exportCompressionFactorChanged, &WindowState::widgetLayoutSizeChanged})
        connect(&m_state, signal, this, edited);
}

void MainWindow::holdForImport(QFuture<void> settled, const QList<QUrl> &files)
{
    QStringList paths;
    for (const QUrl &file : files)
        paths << file.toLocalFile();
    m_models->session->stage().holdUntil(settled, FileImport::importName(files), paths);
}

void MainWindow::scheduleAutosave()
{
    if (m_started)
        m_autosave.start();
}

void MainWindow::writeLastSessionBeforeQuit()
{
    // A window that quits before its start-up never asked for the last session:
    // its state holds nothing of it, and the file stays as it is.
    if (!m_startupRan) {
        m_models->log.add(LogEntry::Level::warning, QStringLiteral("Last session left as it is"),
                          QStringLiteral("The window closed before the last session was read."));
        return;
    }
    m_models->session->saveLastSession();
}

void MainWindow::autosave()
{
    // A project's videos still being probed would be missing from the file, and
    // a command waiting for them not yet in it: wait for them.
    if (m_models->session->isRestoringVideo() || !m_models->session->stage().isReady()) {
        m_autosave.start();
        return;
    }
    m_models->session->saveLastSession(ProjectSession::LastSessionWrite::inBackground);
}

// ---- start-up

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // Qt shows the window again after un-minimising: start up once.
    if (m_started)
        return;
    m_started = true;
    // Opening a project parses its tracks here: the window is painted first.
    // A platform that never paints a shown window still starts up.
    QTimer::singleShot(500, this, &MainWindow::runStartup);
}

bool MainWindow::event(QEvent *event)
{
    const bool handled = QMainWindow::event(event);
    if (event->type() == QEvent::Paint && m_started && !m_startupRan)
        QTimer::singleShot(0, this, &MainWindow::runStartup);
    return handled;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (m_closeGuard && !m_closeGuard()) {
        event->ignore();
        return;
    }
    // A sheet, an alert or the About box left open would keep the application
    // running with no window.
    for (QWidget *child : findChildren<QWidget *>()) {
        if (child->isWindow() && child->isVisible())
            child->close();
    }
    QMainWindow::closeEvent(event);
}

void MainWindow::runStartup()
{
    if (std::exchange(m_startupRan, true))
        return;
    Models &m = *m_models;
    if (m_state.mapProvider() == MapProvider::mapbox && m_state.mapboxToken().isEmpty())
        m_state.setShowTokenSheet(true);
    m.queue.setLogStore(&m.log);
    // No text field holds the keyboard at start.
    QTimer::singleShot(0, this, [this] {
        if (QWidget *focused = focusWidget())
            focused->clearFocus();
        setFocus(Qt::OtherFocusReason);
    });
    if (m_updateCheck)
        m_updateCheck();
    const std::optional<QUrl> pending = std::exchange(m_pendingOpenURL, std::nullopt);
    m.session->windowDidAppear(pending);
}

// ---- commands

void MainWindow::importFiles() { m_models->import->importFiles(); }

void MainWindow::openProjectURL(const QUrl &url)
{
    m_pendingOpenURL.reset();
    m_models->session->handleOpenProjectURL(url);
}

void MainWindow::setLanguage()
{
    m_state.setAppLanguage(m_state.appLanguage() == QLatin1String("en") ? QStringLiteral("zh-Hans")
                                                                        : QStringLiteral("en"));
}

std::optional<QUrl> MainWindow::chooseSaveLocation(const QString &proposedName, const QString &folder)
{
    const QString start = folder.isEmpty() ? proposedName : folder + QLatin1Char('/') + proposedName;
    const QUrl chosen = SuffixSaveDialog::choose(this, QStringLiteral("rrl"), start, [this](QFileDialog &dialog) {
        dialog.setWindowTitle(tr("Save Project"));
        dialog.setNameFilter(tr("routereel project (*.rrl)"));
    });
    if (chosen.isEmpty())
        return std::nullopt;
    return chosen;
}

std::optional<QUrl> MainWindow::chooseProjectToOpen()
{
    QFileDialog panel(this, tr("Open Project"), QString(), tr("routereel project (*.rrl *.RRL)"));
    panel.setFileMode(QFileDialog::ExistingFile);
    screenfit::fitPanel(&panel);
    if (panel.exec() != QDialog::Accepted || panel.selectedFiles().isEmpty())
        return std::nullopt;
    return QUrl::fromLocalFile(panel.selectedFiles().constFirst());
}

// ---- drop

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent *event)
{
    QList<QUrl> files;
    for (const QUrl &url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            files.append(url);
    }
    // Accepted at once, whatever can be imported; the work runs on the next turn.
    m_models->session->dropPerform(files);
    event->acceptProposedAction();
}

// ---- look and language

void MainWindow::applyAppearance()
{
    QApplication::setPalette(windowPalette(m_state.isDark()));
}

void MainWindow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QMainWindow::changeEvent(event);
}

void MainWindow::retranslate()
{
    setWindowTitle(tr("routereel"));
    m_models->alerts->retranslate();
    m_models->commands->retranslate();
}

} // namespace routereel
