#include "projectfakes.h"

#include "support/clipgenerator.h"
#include "support/markingtranslator.h"
#include "support/trackfixtures.h"

#include <QStandardPaths>
#include <gtest/gtest.h>

#include <limits>

using namespace routereel;
using namespace projecttest;

namespace {

QString dataFile(const char *name)
{
    return QStringLiteral(ROUTEREEL_TEST_DATA "/projects/") + QLatin1String(name);
}

// A window with something non-default everywhere a project looks.
void fillWindow(FakeWindow &w, const QString &dir)
{
    const GPXTrack a = w.gpx.importTrack(QUrl::fromLocalFile(writeGPX(dir, "a.gpx"))).value();
    const GPXTrack b = w.gpx.importTrack(QUrl::fromLocalFile(writeGPX(dir, "b.gpx", 121))).value();
    w.engineObject.setSegments({testsupport::segmentOf(a, 10, 500.5, 2), testsupport::segmentOf(b, 0, 120, 600)});
    w.engineObject.setCanvasOrigin(QSizeF(1280, 720));
    w.map.setEnabled(false);
    w.map.setWidth(150);
    w.map.setHeight(120);
    w.map.setCornerRadius(30);
    w.map.setOrientation(MapOrientation::follow);
    w.map.setZoomLevel(12);
    w.map.setOpacity(0.4);
    w.map.setBorderStyle(MapBorderStyle::gta);
    w.time.setEnabled(true);
    w.time.setFontSize(31);
    w.time.setOpacity(0.25);
    w.speed.setEnabled(true);
    w.speed.setUnit(SpeedUnit::mph);
    w.speed.setFontSize(44);
    w.gpsPath.setEnabled(true);
    w.gpsPath.setWidth(170);
    w.gpsPath.setShowMap(false);
    w.gpsPath.setPadding(33);
    w.gpsPath.setBorderStyle(MapBorderStyle::gta);
    w.heartRate.setEnabled(true);
    w.heartRate.setShowIcon(false);
    w.heartRate.setShowMinMax(true);
    w.heartRateGraph.setEnabled(true);
    w.heartRateGraph.setWidth(321);
    w.heartRateGraph.setHeight(99);
    w.provider = MapProvider::mapbox;
    w.preset = ExportPreset::p720;
    w.compressionFactor = 0.75;
    w.mode = CompositionMode::overlay;
    w.layoutSize = QSizeF(720, 405);
    w.positions = WidgetPositions{QPointF(100, 200), QPointF(1, 2), QPointF(700, 400), std::nullopt,
                                  QPointF(360.5, 202.25), QPointF(0, 0)};
    w.playerObject.playhead = 321.5;
}

// Track ids are new on every import: compare documents by track order instead.
ProjectDocument withTrackNumbers(ProjectDocument d)
{
    QHash<QString, QString> numbers;
    for (int i = 0; i < d.gpxFiles.size(); ++i) {
        numbers.insert(d.gpxFiles[i].trackID, QString::number(i));
        d.gpxFiles[i].trackID = QString::number(i);
    }
    for (SegmentData &s : d.segments)
        s.trackID = numbers.value(s.trackID, QStringLiteral("?"));
    return d;
}

} // namespace

TEST(ProjectSession, SaveThenOpenRestoresTheWholeState)
{
    QTemporaryDir dir;
    Harness first;
    fillWindow(*first.window, dir.path());
    const QString clip = testsupport::makeClip(dir.path(), "clip.mp4", {1.0, 320, 240, 25, false});
    ASSERT_FALSE(clip.isEmpty());
    const VideoSource source = VideoSource::probe(QUrl::fromLocalFile(clip), QUuid::createUuid());
    first.window->engineObject.setVideoSources({source});
    first.window->engineObject.setVideoSegments({VideoSegment{QUuid::createUuid(), source.id, 0.2, 0.9, 3}});

    first.panels.saveAnswer = QUrl::fromLocalFile(dir.path() + "/Ride.rrl");
    first.session.handleSaveProject();
    ASSERT_TRUE(settle(first.session));
    ASSERT_EQ(first.session.projectURL(), first.panels.saveAnswer);
    EXPECT_EQ(first.panels.saveRequests, (QList<std::pair<QString, QString>>{{"Untitled.rrl", ""}}));
    ASSERT_EQ(first.window->log.entries().size(), 1);
    EXPECT_EQ(first.window->log.entries()[0].title, QStringLiteral("Save Project"));
    EXPECT_EQ(first.window->log.entries()[0].detail, dir.path() + "/Ride.rrl");
    const ProjectDocument saved = first.session.makeProjectDocument();

    Harness second;
    second.session.openProject(QUrl::fromLocalFile(dir.path() + "/Ride.rrl"));
    ASSERT_TRUE(settle(second.session));
    EXPECT_TRUE(second.alerts.shown.isEmpty()) << second.alerts.shown.join("\n").toStdString();
    EXPECT_EQ(second.session.projectURL(), QUrl::fromLocalFile(dir.path() + "/Ride.rrl"));
    ASSERT_TRUE(spinUntil([&] { return !second.session.isRestoringVideo(); }));
    EXPECT_EQ(second.window->log.entries()[0].title, QStringLiteral("Open Project"));
    EXPECT_EQ(withTrackNumbers(second.session.makeProjectDocument()), withTrackNumbers(saved));
}

TEST(ProjectSession, SaveAndSaveAsPanels)
{
    QTemporaryDir dir;
    Harness h;
    // Save without a project asks once, then writes to the same file.
    h.panels.saveAnswer = QUrl::fromLocalFile(dir.path() + "/Ride.rrl");
    h.session.handleSaveProject();
    ASSERT_TRUE(settle(h.session));
    h.panels.saveAnswer.reset();
    h.session.handleSaveProject();
    ASSERT_TRUE(settle(h.session));
    EXPECT_EQ(h.panels.saveRequests.size(), 1);
    EXPECT_EQ(h.window->entries(LogEntry::Level::info).size(), 2);

    // Save As proposes a copy beside the project.
    h.session.handleSaveProjectAs();
    ASSERT_TRUE(settle(h.session));
    ASSERT_EQ(h.panels.saveRequests.size(), 2);
    EXPECT_EQ(h.panels.saveRequests[1], (std::pair<QString, QString>{"Ride Copy.rrl", dir.path()}));
    EXPECT_EQ(h.session.projectURL(), QUrl::fromLocalFile(dir.path() + "/Ride.rrl"));  // cancelled

    h.panels.saveAnswer = QUrl::fromLocalFile(dir.path() + "/Other.rrl");
    h.session.handleSaveProjectAs();
    ASSERT_TRUE(settle(h.session));
    EXPECT_EQ(h.session.projectURL(), h.panels.saveAnswer);
    EXPECT_EQ(filesIn(dir.path()), (QStringList{"Other.rrl", "Ride.rrl"}));

    Harness fresh;
    fresh.session.handleSaveProjectAs();
    ASSERT_TRUE(settle(fresh.session));
    EXPECT_EQ(fresh.panels.saveRequests[0], (std::pair<QString, QString>{"Untitled.rrl", ""}));
}

TEST(ProjectSession, AFailedSaveKeepsTheFileAndTheProject)
{
    QTemporaryDir dir;
    Harness h;
    const QUrl target = QUrl::fromLocalFile(dir.path() + "/Ride.rrl");
    h.panels.saveAnswer = target;
    h.session.handleSaveProject();
    ASSERT_TRUE(settle(h.session));
    const QByteArray before = readAll(dir.path() + "/Ride.rrl");
    ASSERT_FALSE(before.isEmpty());

    h.window->map.setWidth(std::numeric_limits<double>::quiet_NaN());
    h.session.handleSaveProject();
    ASSERT_TRUE(settle(h.session));
    EXPECT_EQ(readAll(dir.path() + "/Ride.rrl"), before);
    ASSERT_EQ(h.alerts.shown.size(), 1);
    EXPECT_TRUE(h.alerts.shown[0].contains(QStringLiteral("map.width")));
    EXPECT_EQ(h.window->entries(LogEntry::Level::error).size(), 1);

    // Save As into a folder that does not exist: nothing written, the project stays where it was.
    h.window->map.setWidth(150);
    h.panels.saveAnswer = QUrl::fromLocalFile(dir.path() + "/missing/Copy.rrl");
    h.session.handleSaveProjectAs();
    ASSERT_TRUE(settle(h.session));
    EXPECT_EQ(h.session.projectURL(), target);
    EXPECT_EQ(h.alerts.shown.size(), 2);
    EXPECT_EQ(filesIn(dir.path()), QStringList{"Ride.rrl"});

    Harness fresh;
    fresh.panels.saveAnswer = QUrl::fromLocalFile(dir.path() + "/missing/New.rrl");
    fresh.session.handleSaveProject();
    ASSERT_TRUE(settle(fresh.session));
    EXPECT_FALSE(fresh.session.projectURL());
}

TEST(ProjectSession, EveryFaultyFileIsRefusedWithAMessageAndChangesNothing)
{
    struct Case {
        const char *file;
        const char *message;  // the alert, or a part of it
    };
    const Case cases[] = {
        {"version-newer.rrl",
         "This project was saved by a newer version of routereel (v6). Please update the app and try again."},
        {"out-of-bounds-playhead.rrl", "The project contains invalid timeline or widget values."},
        {"out-of-bounds-font-size.rrl", "The project contains invalid timeline or widget values."},
        {"out-of-bounds-segment-end.rrl", "The project contains invalid timeline or widget values."},
        {"out-of-bounds-video-cut.rrl", "The project contains invalid timeline or widget values."},
        {"out-of-bounds-canvas.rrl", "The project contains invalid timeline or widget values."},
        {"invalid-not-json.rrl", "not valid JSON"},
        {"invalid-top-level-list.rrl", "must be a JSON object"},
        {"invalid-version-fraction.rrl", "\"version\" must be a whole number"},
        {"invalid-version-text.rrl", "\"version\" must be a whole number"},
        {"invalid-missing-map.rrl", "\"map\" is missing"},
        {"invalid-null-playhead.rrl", "\"playheadTime\" is null"},
        {"invalid-canvas-object.rrl", "\"canvasOrigin\" must be a list of two numbers"},
        {"invalid-canvas-one-number.rrl", "\"canvasOrigin\" must be a list of two numbers"},
        {"invalid-enabled-number.rrl", "\"timeWidget.enabled\" must be true or false"},
        {"invalid-zoom-fraction.rrl", "\"map.zoomLevel\" must be a whole number"},
        {"invalid-video-id.rrl", "\"videoFiles[0].id\" is not a valid identifier"},
        {"invalid-gpspath-no-padding.rrl", "\"gpsPathWidget.padding\" is missing"},
        {"invalid-segment-path-number.rrl", "\"gpxFiles[0].path\" must be text"},
        {"no-such-file.rrl", "cannot be read"},
    };
    QTemporaryDir dir;
    Harness h;
    fillWindow(*h.window, dir.path());
    h.session.saveProject(QUrl::fromLocalFile(dir.path() + "/current.rrl"));
    h.session.openProject(QUrl::fromLocalFile(dir.path() + "/current.rrl"));
    ASSERT_TRUE(settle(h.session));
    ASSERT_TRUE(h.alerts.shown.isEmpty());
    const ProjectDocument before = h.session.makeProjectDocument();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        h.alerts.shown.clear();
        h.session.openProject(QUrl::fromLocalFile(dataFile(c.file)));
        ASSERT_TRUE(settle(h.session));
        ASSERT_EQ(h.alerts.shown.size(), 1);
        EXPECT_TRUE(h.alerts.shown[0].contains(QLatin1String(c.message))) << h.alerts.shown[0].toStdString();
        EXPECT_EQ(h.window->log.entries()[0].level, LogEntry::Level::error);
        EXPECT_EQ(h.session.projectURL(), QUrl::fromLocalFile(dir.path() + "/current.rrl"));
        EXPECT_EQ(h.session.makeProjectDocument(), before);
    }
}

// Every version up to the current one passes the version test, zero and negative ones included.
TEST(ProjectSession, OlderVersionsOpen)
{
    QTemporaryDir dir;
    const QByteArray zero = readAll(dataFile("version-zero.rrl"));
    ASSERT_TRUE(zero.contains("\"version\": 0,"));
    for (const char *version : {"0", "-3", "5"}) {
        SCOPED_TRACE(version);
        const QString path = dir.path() + "/v.rrl";
        ASSERT_TRUE(writeFile(path, QByteArray(zero).replace("\"version\": 0,", "\"version\": " + QByteArray(version) + ",")));
        Harness h;
        h.session.openProject(QUrl::fromLocalFile(path));
        ASSERT_TRUE(settle(h.session));
        EXPECT_EQ(h.session.projectURL(), QUrl::fromLocalFile(path));
        EXPECT_EQ(h.window->entries(LogEntry::Level::info).value(0).title, QStringLiteral("Open Project"));
    }
}

TEST(ProjectSession, AHugeFileIsRefusedUnread)
{
    QTemporaryDir dir;
    QFile big(dir.path() + "/big.rrl");
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    ASSERT_TRUE(big.resize(ProjectSession::maximumFileSize + 1));  // sparse: costs no disk
    big.close();
    Harness h;
    h.session.openProject(QUrl::fromLocalFile(big.fileName()));
    ASSERT_TRUE(settle(h.session));
    ASSERT_EQ(h.alerts.shown.size(), 1);
    EXPECT_TRUE(h.alerts.shown[0].contains(QStringLiteral("too large"))) << h.alerts.shown[0].toStdString();
}

TEST(ProjectSession, LastSessionIsWrittenAtQuitAndRestoredOnceUnlessAFileIsHandedOver)
{
    QTemporaryDir dir;
    const auto path = ProjectSession::lastSessionPath();
    ASSERT_TRUE(path);
    EXPECT_TRUE(path->endsWith(QStringLiteral("/routereel/LastSession.rrl")));
    EXPECT_TRUE(path->startsWith(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)));
    {
        Harness quitting;
        fillWindow(*quitting.window, dir.path());
        quitting.session.saveLastSession();
        EXPECT_TRUE(quitting.window->log.entries().isEmpty());  // a successful write logs nothing
    }
    {
        Harness handedOver;
        handedOver.session.windowDidAppear(QUrl::fromLocalFile(dataFile("minimal.rrl")));
        ASSERT_TRUE(settle(handedOver.session));
        EXPECT_TRUE(handedOver.session.didAttemptAutoRestore());
        handedOver.session.restoreLastSession();  // a later restore leaves the handed-over project
        ASSERT_TRUE(settle(handedOver.session));
        EXPECT_EQ(handedOver.session.projectURL(), QUrl::fromLocalFile(dataFile("minimal.rrl")));
        EXPECT_EQ(handedOver.window->provider, MapProvider::openStreetMap);  // not the last session's Mapbox
    }
    Harness starting;
    starting.session.windowDidAppear(std::nullopt);
    ASSERT_TRUE(settle(starting.session));
    EXPECT_TRUE(starting.session.didAttemptAutoRestore());
    EXPECT_FALSE(starting.session.projectURL());
    EXPECT_EQ(starting.window->gpx.tracks().size(), 2);
    EXPECT_EQ(starting.window->provider, MapProvider::mapbox);
    EXPECT_TRUE(starting.window->log.entries().isEmpty());

    // Once per window: a second appearance restores nothing.
    starting.window->gpx.setTracks({});
    starting.session.restoreLastSession();
    ASSERT_TRUE(settle(starting.session));
    EXPECT_TRUE(starting.window->gpx.tracks().isEmpty());
    QFile::remove(*path);
}

TEST(ProjectSession, AnUnreadableLastSessionIsReportedQuietlyAndKept)
{
    testsupport::MarkingTranslator translator;  // log entries are data, in no language
    struct Case {
        const char *what;
        QByteArray content;
        bool newer;
    };
    const Case cases[] = {
        {"newer version", readAll(dataFile("version-newer.rrl")), true},
        {"corrupt", QByteArray("{\"version\":5,\"gpxFi"), false},
        {"out of bounds", readAll(dataFile("out-of-bounds-playhead.rrl")), false},
        {"too large", QByteArray(ProjectSession::maximumFileSize + 1, ' '), false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const QString path = *ProjectSession::lastSessionPath();
        const QString backup = ProjectSession::lastSessionBackupPath(path);
        QFile::remove(backup);
        ASSERT_TRUE(writeFile(path, c.content));
        Harness h;
        h.session.restoreLastSession();
        ASSERT_TRUE(settle(h.session));
        EXPECT_TRUE(h.alerts.shown.isEmpty());
        EXPECT_TRUE(h.window->entries(LogEntry::Level::error).isEmpty());
        const auto warnings = h.window->entries(LogEntry::Level::warning);
        if (c.newer) {
            ASSERT_EQ(warnings.size(), 1);
            EXPECT_EQ(warnings[0].title, QStringLiteral("Last session saved by newer version"));
            EXPECT_EQ(warnings[0].detail, QStringLiteral("LastSession.rrl version 6 > app supports 5. Skipped."));
        } else {
            EXPECT_TRUE(warnings.isEmpty());
        }
        EXPECT_EQ(h.window->entries(LogEntry::Level::info).value(0).title, "Last session kept as a backup");
        EXPECT_TRUE(h.window->gpx.tracks().isEmpty());
        // Compared as a whole: a difference in 32 MB is not printed.
        EXPECT_TRUE(readAll(path) == c.content);  // untouched until the next quit
        EXPECT_TRUE(readAll(backup) == c.content);
        // The quit overwrites the session; the copy survives.
        h.session.saveLastSession();
        EXPECT_TRUE(readAll(path) != c.content);
        EXPECT_TRUE(readAll(backup) == c.content);
        QFile::remove(path);
        QFile::remove(backup);
    }
}

TEST(ProjectSession, AFailedLastSessionWriteIsLoggedAndKeepsTheOldFile)
{
    const QString path = *ProjectSession::lastSessionPath();
    QFile::remove(path);
    ASSERT_TRUE(QDir().mkpath(path));  // a folder where the file should be: the write must fail
    testsupport::MarkingTranslator translator;
    Harness h;
    h.session.saveLastSession();
    const auto warnings = h.window->entries(LogEntry::Level::warning);
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_EQ(warnings[0].title, QStringLiteral("Save last session failed"));
    EXPECT_TRUE(warnings[0].detail.endsWith(QStringLiteral("\nPath: ") + path)) << warnings[0].detail.toStdString();
    EXPECT_TRUE(h.alerts.shown.isEmpty());
    EXPECT_EQ(filesIn(QFileInfo(path).absolutePath()), QStringList());
    QDir(path).removeRecursively();
}

TEST(ProjectSession, DropsPanelsAndHandOvers)
{
    QTemporaryDir dir;
    Harness h;
    const QUrl project = QUrl::fromLocalFile(dataFile("minimal.rrl"));
    const QUrl track = QUrl::fromLocalFile(writeGPX(dir.path(), "t.gpx"));
    const QUrl second = QUrl::fromLocalFile(dir.filePath("Second.RRL"));
    ASSERT_TRUE(QFile::copy(dataFile("minimal.rrl"), second.toLocalFile()));
    EXPECT_TRUE(h.session.dropPerform({track, project, second}));
    EXPECT_TRUE(h.window->droppedImports.isEmpty());  // handled on the next turn of the event loop
    spinEvents();
    // The window's import takes the whole drop in order; it opens the projects (window tests).
    EXPECT_EQ(h.window->droppedImports, (QList<QList<QUrl>>{{track, project, second}}));
    EXPECT_FALSE(h.session.projectURL());

    Harness other;
    other.session.handleOpenProjectURL(QUrl());
    other.session.handleOpenProjectURL(QUrl(QStringLiteral("https://example.org/p.rrl")));
    other.session.presentOpenProjectPanel();  // cancelled
    ASSERT_TRUE(settle(other.session));
    EXPECT_FALSE(other.session.projectURL());
    EXPECT_TRUE(other.alerts.shown.isEmpty());
    other.panels.openAnswer = project;
    other.session.presentOpenProjectPanel();
    ASSERT_TRUE(settle(other.session));
    EXPECT_EQ(other.session.projectURL(), project);

    const QString cwd = QDir::currentPath();
    EXPECT_EQ(ProjectSession::projectFromArguments({"routereel", "-platform", "offscreen", "notes.txt", "Ride.RRL"}),
              QUrl::fromLocalFile(cwd + "/Ride.RRL"));
    EXPECT_EQ(ProjectSession::projectFromArguments({"routereel"}), std::nullopt);
}

// A window that goes while a command still waits behind an import names it in
// its log; nothing runs after it has gone.
TEST(ProjectSession, AWindowThatGoesNamesTheCommandsItDrops)
{
    ClearedSettings cleared;
    FakeWindow window;
    FakeAlerts alerts;
    FakePanels panels;
    QPromise<void> import;
    import.start();
    {
        ProjectSession session(window, alerts, panels);
        session.stage().holdUntil(import.future(), QStringLiteral("Import"));
        session.handleSaveProject();
    }
    const auto warnings = window.entries(LogEntry::Level::warning);
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_TRUE(warnings[0].detail.contains(QStringLiteral("Save Project"))) << warnings[0].detail.toStdString();
    import.finish();
    spinEvents();
    EXPECT_TRUE(panels.saveRequests.isEmpty());
}
