#include "../projectfakes.h"

#include "ui/main/exportaction.h"
#include "ui/main/fileimport.h"
#include "ui/main/mainwindow.h"
#include "ui/main/windowalerts.h"
#include "ui/state/windowstate.h"

#include "export/exportqueue.h"

#include "support/clipgenerator.h"
#include "support/slowdisk.h"
#include "support/tickgapprobe.h"

#include <QMessageBox>
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <random>

using namespace routereel;
using namespace projecttest;
using testsupport::waitFor;

namespace {

// A window whose save panel answers what the test chose.
using Counts = std::array<qsizetype, 4>;

class Window : public MainWindow {
public:
    Window() : MainWindow(Options{.makePlayer = {}, .network = QNetworkInformation::Reachability::Online}) {}
    std::optional<QUrl> saveAnswer;
    int savePanels = 0;
    std::optional<QUrl> chooseSaveLocation(const QString &, const QString &) override
    {
        ++savePanels;
        return saveAnswer;
    }
    // What the window shows, as counts: tracks, GPX pieces, clips, clip pieces.
    Counts shown()
    {
        return {gpxService().tracks().size(), engine().segments().size(), engine().videoSources().size(),
                engine().videoSegments().size()};
    }
};

Counts countsOf(const std::optional<ProjectDocument> &d)
{
    if (!d)
        return {-1, -1, -1, -1};
    return {d->gpxFiles.size(), d->segments.size(), d->videoFiles.value_or(QList<VideoFileRef>()).size(),
            d->videoSegments.value_or(QList<VideoSegment>()).size()};
}

// Everything on the slow disk: the user's data folder (the last session in it)
// and the files a project names.
struct SlowHome {
    QTemporaryDir dir{testsupport::slowdisk::prefix() + QStringLiteral("XXXXXX")};
    QByteArray dataHomeWas = qgetenv("XDG_DATA_HOME");
    QString lastSession;
    SlowHome()
    {
        qputenv("XDG_DATA_HOME", dir.path().toLocal8Bit());
        lastSession = *ProjectSession::lastSessionPath();
    }
    ~SlowHome() { qputenv("XDG_DATA_HOME", dataHomeWas); }
    QString path(const QString &name) const { return dir.filePath(name); }

    // `tracks` small tracks one after the other and `clips` (paths) from 0, saved to `file`.
    ProjectDocument write(const QString &file, const QString &stem, int tracks, const QStringList &clips,
                          double playhead = 2.5) const
    {
        ProjectDocument d = baseDocument();
        for (int i = 0; i < tracks; ++i) {
            const QString id = ProjectDocument::uuidText(QUuid::createUuid());
            d.gpxFiles.append({writeGPX(dir.path(), stem + QString::number(i) + ".gpx", 20), std::nullopt, id});
            d.segments.append(SegmentData{ProjectDocument::uuidText(QUuid::createUuid()), id, 0, 19, 20.0 * i});
        }
        QList<VideoFileRef> files;
        QList<VideoSegment> pieces;
        for (const QString &clip : clips) {
            files.append({QUuid::createUuid(), clip, std::nullopt});
            pieces.append({QUuid::createUuid(), files.last().id, 0, 1, 1.0 * pieces.size()});
        }
        d.videoFiles = files;
        d.videoSegments = pieces;
        d.playheadTime = playhead;
        writeFile(file, *d.encode(ProjectDocument::Style::saved));
        return d;
    }
    QString clip(const QString &name) const
    {
        return testsupport::makeClip(dir.path(), name, {.seconds = 1, .width = 160, .height = 120, .audio = false});
    }
};

bool settled(Window &w)
{
    return waitFor([&] {
        return !w.session().isRestoringVideo() && !w.session().hasFileWork()
            && !w.fileImport().videoImports().isBusy();
    }, 60'000);
}

double longestHoldMs = 0;

} // namespace

// Every command the window takes while the last session, or a project the user
// opened, is still being read from a slow disk. Each runs after the read, on
// what was read; nothing of the session or the project is lost, and no file is
// read on the window's thread.
TEST(ProjectStartOrder, EveryCommandWhileAProjectIsStillRead)
{
    ASSERT_TRUE(testsupport::slowdisk::active()) << "run with the slow-disk preload";
    enum Kind { quit, gpx, video, save, saveAs, open, exportNow };
    struct Case {
        Kind command;
        bool whileOpening;  // else while the last session is read
        Counts shown;       // the window at the end, and the last session written then
    };
    const Counts session{10, 10, 1, 1}, opened{4, 4, 1, 1}, other{2, 2, 0, 0};
    const Case cases[] = {
        {quit, false, session},       {gpx, false, {11, 11, 1, 1}}, {video, false, {10, 10, 2, 2}},
        {save, false, session},       {saveAs, false, session},     {open, false, other},
        {exportNow, false, session},  {quit, true, opened},         {gpx, true, {5, 5, 1, 1}},
        {video, true, {4, 4, 2, 2}},  {save, true, opened},         {saveAs, true, opened},
        {exportNow, true, opened},
    };
    for (const Case &c : cases) {
        const char *names[] = {"quit", "import GPX", "import video", "save", "save as", "open", "export"};
        SCOPED_TRACE(testing::Message() << names[c.command]
                                        << (c.whileOpening ? " while a project opens" : " while the last session is read"));
        SlowHome home;
        home.write(home.lastSession, "s", 10, {home.clip("session.mp4")});
        const QUrl project = QUrl::fromLocalFile(home.path("ride.rrl"));
        home.write(project.toLocalFile(), "p", 4, {home.clip("ride.mp4")});
        home.write(home.path("other.rrl"), "o", 2, {});
        const QUrl extra = QUrl::fromLocalFile(writeGPX(home.dir.path(), "extra.gpx", 20));
        const QUrl added = QUrl::fromLocalFile(home.clip("added.mp4"));
        if (c.whileOpening)
            QFile::remove(home.lastSession);  // the last session (none) was read at start
        Window w;
        w.saveAnswer = QUrl::fromLocalFile(home.path("chosen.rrl"));
        w.exportAction().setSaveDialog([&](QWidget *, const QString &) { return QUrl::fromLocalFile(home.path("out.mp4")); });
        // The window's web views start first: their start holds the thread, not the disk.
        waitFor([] { return false; }, 1'000);
        const long readsBefore = testsupport::slowdisk::mainThreadAccesses();
        testsupport::TickGapProbe hold(5);
        w.session().restoreLastSession();
        if (c.whileOpening)
            w.session().openProject(project);
        switch (c.command) {
        case quit: w.session().saveLastSession(); break;
        case gpx: w.fileImport().importTracks(extra); break;
        case video: w.fileImport().importVideo({added}); break;
        case save: w.session().handleSaveProject(); break;
        case saveAs: w.session().handleSaveProjectAs(); break;
        case open: w.session().openProject(QUrl::fromLocalFile(home.path("other.rrl"))); break;
        case exportNow: w.exportAction().startExport(); break;
        }
        ASSERT_TRUE(waitFor([&] { return w.shown() == c.shown; }, 20'000))
            << w.shown()[0] << " tracks, " << w.shown()[2] << " clips";
        ASSERT_TRUE(settled(w));
        hold.stop();
        // A quit waits for the read, within its bound, by design.
        if (c.command != quit)
            longestHoldMs = std::max(longestHoldMs, hold.longestGapMs());
        EXPECT_EQ(testsupport::slowdisk::mainThreadAccesses() - readsBefore, 0) << "files read on the window's thread";

        if (c.command == quit) {
            // Written at the quit: the state that received what was being read.
            EXPECT_EQ(countsOf(ProjectDocument::decode(readAll(home.lastSession))), c.shown) << "quit";
        }
        if (c.command == gpx || c.command == video) {
            // What was read first, the import after it: one Undo takes the import away.
            const Counts read = c.whileOpening ? opened : session;
            w.engine().undoStack()->undo();
            EXPECT_EQ(w.shown()[1], read[1]);
            EXPECT_EQ(w.shown()[3], read[3]);
            w.engine().undoStack()->redo();
        }
        if (c.command == save || c.command == saveAs) {
            // Save acts on the project opened before it; Save As asks at once.
            EXPECT_EQ(w.savePanels, c.whileOpening && c.command == save ? 0 : 1);
            ASSERT_TRUE(waitFor([&] { return w.session().projectURL().has_value(); }));
        }
        if (c.command == exportNow) {
            EXPECT_FALSE(w.exportQueue().isBusy()) << "the state before the read was exported";
            EXPECT_EQ(w.alerts().errorBox()->text(), ExportAction::projectLoadingMessage());
        }
        // Unedited since, the file the window names holds what it shows; so does the last session.
        if (const auto url = w.session().projectURL(); url && c.command != gpx && c.command != video)
            EXPECT_EQ(countsOf(ProjectDocument::decode(readAll(url->toLocalFile()))), w.shown()) << "named file";
        w.session().saveLastSession();
        EXPECT_EQ(countsOf(ProjectDocument::decode(readAll(home.lastSession))), c.shown) << "last session";
    }
    std::cout << "[ start order ] longest hold of the window's thread: " << longestHoldMs << " ms\n";
}

// Clips on a drive that is not plugged in stay in the last session with their
// pieces until the user clears them, and come back once the drive is.
TEST(ProjectStartOrder, ClipsOnADriveNotPluggedInStayInTheLastSession)
{
    struct Case {
        const char *what;
        bool firstAway;
    };
    for (const Case &c : {Case{"both away", true}, Case{"one of two away", false}}) {
        SCOPED_TRACE(c.what);
        SlowHome home;
        const QString drive = home.path("drive");
        const QString away = drive + "/away.mp4";
        const QString here = c.firstAway ? drive + "/also-away.mp4" : home.clip("here.mp4");
        const ProjectDocument saved = home.write(home.lastSession, "s", 1, {away, here});
        const Counts expected{1, 1, 2, 2};
        {
            Window w;
            w.setAutosaveDelay(50);
            w.session().restoreLastSession();
            ASSERT_TRUE(settled(w));
            w.engine().setSegments(w.engine().segments());  // an edit: the autosave writes
            ASSERT_TRUE(waitFor([&] { return !w.isAutosavePending() && !w.session().hasFileWork(); }));
            EXPECT_EQ(countsOf(ProjectDocument::decode(readAll(home.lastSession))), expected) << "after the autosave";
            w.session().saveLastSession();
        }
        const auto written = ProjectDocument::decode(readAll(home.lastSession));
        ASSERT_TRUE(written);
        EXPECT_EQ(countsOf(written), expected) << "after the quit";
        for (const VideoSegment &piece : *saved.videoSegments)
            EXPECT_TRUE(written->videoSegments->contains(piece));

        // The drive is back: every clip returns. A Clear removes what was missing.
        QDir().mkpath(drive);
        testsupport::makeClip(drive, "away.mp4", {.seconds = 1, .width = 160, .height = 120, .audio = false});
        testsupport::makeClip(drive, "also-away.mp4", {.seconds = 1, .width = 160, .height = 120, .audio = false});
        Window w;
        w.session().restoreLastSession();
        ASSERT_TRUE(settled(w));
        EXPECT_EQ(w.shown(), expected);
        QDir(drive).removeRecursively();
        w.engine().clear();
        w.session().saveLastSession();
        const Counts cleared = countsOf(ProjectDocument::decode(readAll(home.lastSession)));
        EXPECT_EQ(cleared[2], 0);
        EXPECT_EQ(cleared[3], 0);
    }
}

// Orders drawn at random, all given while the last session is still read: the
// window ends as the same commands would leave it one after the other, every
// file saved holds what the window showed when it was asked, and the file the
// window names holds what it shows.
TEST(ProjectStartOrder, RandomOrdersGivenWhileReading)
{
    enum Kind { openA, openB, importTrack, importVideo, saveAs, save };
    for (const unsigned seed : {1u, 2u, 3u, 4u}) {
        SCOPED_TRACE(seed);
        std::mt19937 draw(seed);
        SlowHome home;
        home.write(home.lastSession, "s", 3, {});
        const QUrl a = QUrl::fromLocalFile(home.path("a.rrl")), b = QUrl::fromLocalFile(home.path("b.rrl"));
        home.write(a.toLocalFile(), "a", 2, {});
        home.write(b.toLocalFile(), "b", 1, {});
        const QUrl clip = QUrl::fromLocalFile(home.clip("added.mp4"));
        Window w;
        // The model: GPX and clip pieces shown, the file named, and what each save must hold.
        std::pair<qsizetype, qsizetype> pieces{3, 0};
        std::optional<QUrl> named;
        QMap<QString, std::pair<qsizetype, qsizetype>> saved;
        w.session().restoreLastSession();
        for (int step = 0; step < 6; ++step) {
            const Kind kind = Kind(draw() % (named ? 6 : 5));
            if (kind == openA || kind == openB) {
                w.session().openProject(kind == openA ? a : b);
                pieces = {kind == openA ? 2 : 1, 0};
                named = kind == openA ? a : b;
            } else if (kind == importTrack) {
                w.fileImport().importTracks(QUrl::fromLocalFile(writeGPX(home.dir.path(), QStringLiteral("i%1.gpx").arg(step), 20)));
                ++pieces.first;
            } else if (kind == importVideo) {
                w.fileImport().importVideo({clip});
                ++pieces.second;
            } else if (kind == saveAs) {
                w.saveAnswer = QUrl::fromLocalFile(home.path(QStringLiteral("copy%1.rrl").arg(step)));
                w.session().handleSaveProjectAs();
                named = w.saveAnswer;
            } else {
                w.session().handleSaveProject();
            }
            if (kind == saveAs || kind == save)
                saved[named->toLocalFile()] = pieces;
        }
        ASSERT_TRUE(waitFor([&] {
            return std::pair(w.shown()[1], w.shown()[3]) == pieces && w.session().stage().isReady();
        }, 30'000)) << w.shown()[1] << " and " << w.shown()[3] << " pieces, expected " << pieces.first << " and " << pieces.second;
        ASSERT_TRUE(settled(w));
        EXPECT_EQ(w.session().projectURL(), named);
        for (auto it = saved.begin(); it != saved.end(); ++it) {
            const Counts held = countsOf(ProjectDocument::decode(readAll(it.key())));
            EXPECT_EQ(std::pair(held[1], held[3]), it.value()) << it.key().toStdString();
        }
        w.session().saveLastSession();
        EXPECT_EQ(countsOf(ProjectDocument::decode(readAll(home.lastSession))), w.shown());
    }
}

// Files of the last session on a drive not plugged in, tracks as clips: kept
// with their pieces while away, restored once back, and named once when the
// user imports one of them again.
TEST(ProjectStartOrder, FilesOnADriveNotPluggedInAreKeptAndNamedOnce)
{
    struct Case {
        const char *what;
        bool track;          // else a clip
        bool importedAgain;  // the drive comes back during the run and the user imports the file
    };
    const Case cases[] = {
        {"a track, back at the next launch", true, false},
        {"a track, imported again", true, true},
        {"a clip, back at the next launch", false, false},
        {"a clip, imported again", false, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SlowHome home;
        const QString drive = home.path("drive");
        const QString away = drive + (c.track ? "/away.gpx" : "/away.mp4");
        ProjectDocument saved = home.write(home.lastSession, "s", 1, c.track ? QStringList() : QStringList{away});
        if (c.track) {
            const QString id = ProjectDocument::uuidText(QUuid::createUuid());
            saved.gpxFiles.append({away, std::nullopt, id});
            saved.segments.append(SegmentData{ProjectDocument::uuidText(QUuid::createUuid()), id, 0, 19, 40});
            writeFile(home.lastSession, *saved.encode(ProjectDocument::Style::session));
        }
        const auto bringBack = [&] {
            QDir().mkpath(drive);
            if (c.track)
                writeGPX(drive, "away.gpx", 20);
            else
                testsupport::makeClip(drive, "away.mp4", {.seconds = 1, .width = 160, .height = 120, .audio = false});
        };
        const Counts expected = c.track ? Counts{2, 2, 0, 0} : Counts{1, 1, 1, 1};
        {
            Window w;
            w.session().restoreLastSession();
            ASSERT_TRUE(settled(w));
            EXPECT_EQ(w.shown(), (Counts{1, 1, 0, 0}));
            if (c.importedAgain) {
                bringBack();
                if (c.track)
                    w.fileImport().importTracks(QUrl::fromLocalFile(away));
                else
                    w.fileImport().importVideo({QUrl::fromLocalFile(away)});
                ASSERT_TRUE(waitFor([&] { return w.shown() == expected; }, 20'000));
                ASSERT_TRUE(settled(w));
            }
            w.session().saveLastSession();
        }
        const auto written = ProjectDocument::decode(readAll(home.lastSession));
        ASSERT_TRUE(written);
        EXPECT_EQ(countsOf(written), expected);
        const auto named = c.track ? std::count_if(written->gpxFiles.begin(), written->gpxFiles.end(),
                                                   [&](const GPXFileRef &f) { return f.path == away; })
                                   : std::count_if(written->videoFiles->begin(), written->videoFiles->end(),
                                                   [&](const VideoFileRef &f) { return f.path == away; });
        EXPECT_EQ(named, 1);
        if (!c.importedAgain) {
            if (c.track)
                EXPECT_TRUE(written->segments.contains(saved.segments.last()));
            else
                EXPECT_TRUE(written->videoSegments->contains(saved.videoSegments->first()));
            bringBack();
        }
        Window next;
        next.session().restoreLastSession();
        ASSERT_TRUE(settled(next));
        EXPECT_EQ(next.shown(), expected) << "at the next launch";
    }
}

// Ctrl+S while an import still reads its track, then Ctrl+Q: the quit carries
// the Save out once the track has landed, and the project file holds it.
TEST(ProjectStartOrder, AQuitCarriesOutASaveHeldByAnImport)
{
    SlowHome home;
    QFile::remove(home.lastSession);
    const QUrl project = QUrl::fromLocalFile(home.path("ride.rrl"));
    home.write(project.toLocalFile(), "p", 2, {});
    const QUrl track = QUrl::fromLocalFile(writeGPX(home.dir.path(), "big.gpx", 5000));
    Window w;
    w.session().openProject(project);
    ASSERT_TRUE(settled(w));
    w.fileImport().importTracks(track);
    w.session().handleSaveProject();
    ASSERT_FALSE(w.session().stage().isReady()) << "the import landed before the Save: nothing held it";
    w.session().saveLastSession();  // the quit
    const Counts withTrack{3, 3, 0, 0};
    EXPECT_EQ(countsOf(ProjectDocument::decode(readAll(project.toLocalFile()))), withTrack) << "project file";
    EXPECT_EQ(countsOf(ProjectDocument::decode(readAll(home.lastSession))), withTrack) << "last session";
    EXPECT_EQ(w.logStore().entries().value(0).title, QStringLiteral("Save Project"));
}

// Imports and Saves drawn at random, the quit given at once after them: every
// Save is carried out with what came before it, and the last session holds all.
TEST(ProjectStartOrder, RandomOrdersOfImportsAndSavesEndedByAQuit)
{
    enum Kind { importTrack, importVideo, save };
    for (const unsigned seed : {11u, 12u, 13u, 14u, 15u}) {
        SCOPED_TRACE(seed);
        std::mt19937 draw(seed);
        SlowHome home;
        QFile::remove(home.lastSession);
        const QUrl project = QUrl::fromLocalFile(home.path("ride.rrl"));
        home.write(project.toLocalFile(), "p", 1, {});
        const QUrl clip = QUrl::fromLocalFile(home.clip("added.mp4"));
        Window w;
        w.session().openProject(project);
        ASSERT_TRUE(settled(w));
        Counts pieces{1, 1, 0, 0};
        std::optional<Counts> saved;
        for (int step = 0; step < 5; ++step) {
            switch (Kind(draw() % 3)) {
            case importTrack:
                w.fileImport().importTracks(
                    QUrl::fromLocalFile(writeGPX(home.dir.path(), QStringLiteral("i%1.gpx").arg(step), 2000)));
                ++pieces[0], ++pieces[1];
                break;
            case importVideo:
                w.fileImport().importVideo({clip});
                ++pieces[2], ++pieces[3];
                break;
            case save:
                w.session().handleSaveProject();
                saved = pieces;
                break;
            }
        }
        w.session().saveLastSession();  // the quit
        if (saved)
            EXPECT_EQ(countsOf(ProjectDocument::decode(readAll(project.toLocalFile()))), *saved) << "project file";
        EXPECT_EQ(countsOf(ProjectDocument::decode(readAll(home.lastSession))), pieces) << "last session";
    }
}
