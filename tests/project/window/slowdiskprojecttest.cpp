#include "../projectfakes.h"

#include "ui/main/exportaction.h"
#include "ui/main/fileimport.h"
#include "ui/main/mainwindow.h"
#include "ui/main/windowalerts.h"
#include "ui/state/windowstate.h"

#include "export/exportqueue.h"
#include "timeline/playbackclock.h"
#include "timeline/videoplayerservice.h"

#include "support/clipdamage.h"
#include "support/clipgenerator.h"
#include "support/slowdisk.h"
#include "support/tickgapprobe.h"

#include <QMessageBox>
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>

using namespace routereel;
using namespace projecttest;
using testsupport::waitFor;

namespace {

MainWindow::Options online()
{
    return {.makePlayer = {}, .network = QNetworkInformation::Reachability::Online};
}

// A project of `clips` two-second clips one after the other, with a track, in `dir`.
struct ClipProject {
    QList<QUuid> ids;
    ProjectDocument document = baseDocument();
    QUrl url;

    ClipProject(const QString &dir, int clips, double playhead)
    {
        QList<VideoFileRef> files;
        QList<VideoSegment> segments;
        for (int i = 0; i < clips; ++i) {
            const QString clip = testsupport::makeClip(dir, QStringLiteral("clip%1.mp4").arg(i),
                                                       {.seconds = 2, .width = 160, .height = 120, .audio = false});
            ids.append(QUuid::createUuid());
            files.append(VideoFileRef{ids.last(), clip, std::nullopt});
            segments.append(VideoSegment{QUuid::createUuid(), ids.last(), 0, 2, 2.0 * i});
        }
        document.videoFiles = files;
        document.videoSegments = segments;
        document.playheadTime = playhead;
        const QString track = writeGPX(dir, QStringLiteral("ride.gpx"), 30);
        document.gpxFiles = {GPXFileRef{track, std::nullopt, ProjectDocument::uuidText(QUuid::createUuid())}};
        url = QUrl::fromLocalFile(dir + QStringLiteral("/ride.rrl"));
        writeFile(url.toLocalFile(), *document.encode(ProjectDocument::Style::saved));
    }
};

} // namespace

// A project whose clips lie on a slow disk (a network share, a USB drive): Save,
// what Save As writes, a video import and an export all come while its clips are
// still being read. Nothing is lost, and the window's thread reads none of it.
TEST(ProjectWindowSlowDisk, NothingIsLostWhileTheProjectsVideoLoads)
{
    ASSERT_TRUE(testsupport::slowdisk::active()) << "run with the slow-disk preload";
    QTemporaryDir dir(testsupport::slowdisk::prefix() + QStringLiteral("XXXXXX"));
    const ClipProject project(dir.path(), 6, 2.5);
    const QString added = testsupport::makeClip(dir.path(), QStringLiteral("added.mp4"),
                                                {.seconds = 1, .width = 160, .height = 120, .audio = false});
    const QUrl copy = QUrl::fromLocalFile(dir.filePath(QStringLiteral("ride copy.rrl")));
    MainWindow window(online());
    window.exportAction().setSaveDialog(
        [&](QWidget *, const QString &) { return QUrl::fromLocalFile(dir.filePath(QStringLiteral("out.mp4"))); });

    // The window's web views start first: their start holds the thread, not the disk.
    waitFor([] { return false; }, 1'000);
    const long readsBefore = testsupport::slowdisk::mainThreadAccesses();
    testsupport::TickGapProbe hold(5);
    window.session().openProject(project.url);
    ASSERT_TRUE(waitFor([&] { return window.session().projectURL() == project.url; }, 30'000));
    ASSERT_TRUE(window.session().isRestoringVideo());
    window.session().handleSaveProject();
    ASSERT_TRUE(window.session().saveProject(copy));
    window.fileImport().importVideo({QUrl::fromLocalFile(added)});
    window.exportAction().startExport();
    ASSERT_TRUE(waitFor([&] {
        return !window.session().isRestoringVideo() && !window.fileImport().videoImports().isBusy();
    }, 120'000));
    ASSERT_TRUE(waitFor([&] {
        return std::count_if(window.logStore().entries().begin(), window.logStore().entries().end(),
                             [](const LogEntry &e) { return e.title == QStringLiteral("Save Project"); }) == 2;
    }));
    hold.stop();
    EXPECT_EQ(testsupport::slowdisk::mainThreadAccesses() - readsBefore, 0) << "files read on the window's thread";
    std::cout << "[ slowdisk ] longest hold of the window's thread: " << hold.longestGapMs() << " ms, "
              << testsupport::slowdisk::slowedReads() << " reads slowed\n";

    // The export would have taken the half-loaded timeline: it is refused, and says why.
    EXPECT_FALSE(window.exportQueue().isBusy());
    EXPECT_TRUE(window.windowState().showError());
    EXPECT_EQ(window.alerts().errorBox()->text(),
              QStringLiteral("The project's videos are still loading. Export again once they are in the timeline."));

    // The project's clips, then the import after them; one Undo takes the import away.
    const TimelineEngine &engine = window.engine();
    ASSERT_EQ(engine.videoSources().size(), 7);
    ASSERT_EQ(engine.videoSegments().size(), 7);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(engine.videoSources()[i].id, project.ids[i]);
        EXPECT_EQ(engine.videoSegments()[i], project.document.videoSegments->at(i));
    }
    EXPECT_EQ(engine.videoSources()[6].url, QUrl::fromLocalFile(added));
    EXPECT_DOUBLE_EQ(engine.videoSegments()[6].offset, 12);
    engine.undoStack()->undo();
    EXPECT_EQ(engine.videoSegments(), *project.document.videoSegments);
    EXPECT_EQ(engine.videoSources().size(), 6);

    for (const QUrl &saved : {project.url, copy}) {
        SCOPED_TRACE(saved.toLocalFile().toStdString());
        const auto written = ProjectDocument::decode(readAll(saved.toLocalFile()));
        ASSERT_TRUE(written);
        EXPECT_EQ(written->videoFiles, project.document.videoFiles);
        EXPECT_EQ(written->videoSegments, project.document.videoSegments);
        EXPECT_EQ(written->playheadTime, 2.5);
        EXPECT_EQ(written->gpxFiles.size(), 1);
    }
}

// The last session on the slow disk is read, and written at quit, off the window's thread.
TEST(ProjectWindowSlowDisk, TheLastSessionIsReadAndWrittenOffTheWindowsThread)
{
    ASSERT_TRUE(testsupport::slowdisk::active()) << "run with the slow-disk preload";
    QTemporaryDir dir(testsupport::slowdisk::prefix() + QStringLiteral("XXXXXX"));
    const ClipProject project(dir.path(), 1, 1);
    struct DataHome {
        QByteArray was = qgetenv("XDG_DATA_HOME");
        ~DataHome() { qputenv("XDG_DATA_HOME", was); }
    } dataHome;
    qputenv("XDG_DATA_HOME", dir.path().toLocal8Bit());
    const auto session = ProjectSession::lastSessionPath();
    ASSERT_TRUE(session && session->startsWith(dir.path()));
    writeFile(*session, readAll(project.url.toLocalFile()));
    const long readsBefore = testsupport::slowdisk::mainThreadAccesses();
    {
        MainWindow window(online());
        window.session().restoreLastSession();
        ASSERT_TRUE(waitFor([&] { return window.gpxService().tracks().size() == 1; }, 30'000));
        window.session().saveLastSession();
    }
    EXPECT_EQ(testsupport::slowdisk::mainThreadAccesses() - readsBefore, 0) << "files read on the window's thread";
}

// The clips' share has gone, and its stats stand until the system gives up:
// neither the sheet's Export nor a seek into the next clip looks for them on the
// window's thread or waits on without end. The export is refused with a
// timed-out read, and goes on once they answer.
TEST(ProjectWindowSlowDisk, AnExportWhoseClipsDoNotAnswerIsRefusedWithoutHoldingTheWindow)
{
    QTemporaryDir dir;
    const ClipProject project(dir.path(), 2, 0);
    MainWindow window(online());
    const QString output = dir.filePath(QStringLiteral("out.mp4"));
    int dialogs = 0;
    window.exportAction().setSaveDialog([&](QWidget *, const QString &) {
        ++dialogs;
        return QUrl::fromLocalFile(output);
    });
    window.session().openProject(project.url);
    ASSERT_TRUE(waitFor([&] {
        return !window.session().isRestoringVideo() && window.playerService().isLoaded()
            && window.exportAction().canExport();
    }, 30'000));
    {
        testsupport::faultydisk::StatHold hold(dir.path(), 3'000);
        ASSERT_TRUE(hold.active()) << "run with the slow-disk preload";
        const long before = hold.mainThreadStats();
        window.exportAction().setSourceCheckLimit(200);
        window.exportAction().startExport();
        window.exportAction().startExport();  // a second press while it looks is one
        window.playerService().seek(3);  // into the next clip, which the player looks at again
        ASSERT_TRUE(waitFor([&] { return window.windowState().showError(); }, 2'000));
        const QString told = window.alerts().errorBox()->text();
        EXPECT_TRUE(told.startsWith(QStringLiteral("The source video \"%1\" cannot be read: Connection timed out")
                                        .arg(project.document.videoFiles->at(0).path)))
            << told.toStdString();
        EXPECT_EQ(hold.mainThreadStats() - before, 0) << "stats on the window's thread";
        EXPECT_EQ(dialogs, 0);
    }
    window.windowState().setShowError(false);
    window.exportAction().setSourceCheckLimit(ExportAction::defaultSourceCheckLimitMs);
    window.exportAction().startExport();
    ASSERT_TRUE(waitFor([&] { return window.exportQueue().history().size() == 1; }, 60'000));
    EXPECT_EQ(window.exportQueue().history()[0].status.kind(), ExportTaskStatus::Kind::completed);
    EXPECT_EQ(dialogs, 1);
    EXPECT_FALSE(window.windowState().showError());
}

// A clip whose sound cannot be decoded (AAC naming an object type libavcodec
// lacks): the sound's failure is told, the picture loads, and the project opens
// at its saved playhead, every time.
TEST(ProjectWindowSound, ASoundThatCannotBeDecodedKeepsTheSavedPlayhead)
{
    QTemporaryDir dir;
    const QString clip = testsupport::makeClip(dir.path(), QStringLiteral("sound.mp4"),
                                               {.seconds = 6, .width = 160, .height = 120, .color = QColor()});
    const QString celp = dir.filePath(QStringLiteral("celp.mp4"));
    ASSERT_TRUE(testsupport::damageCopy(clip, celp, testsupport::Damage::unknownSoundType));
    ProjectDocument document = baseDocument();
    const QUuid id = QUuid::createUuid();
    document.videoFiles = QList<VideoFileRef>{VideoFileRef{id, celp, std::nullopt}};
    document.videoSegments = QList<VideoSegment>{VideoSegment{QUuid::createUuid(), id, 0, 6, 0}};
    document.playheadTime = 3;
    const QString path = dir.filePath(QStringLiteral("celp.rrl"));
    ASSERT_TRUE(writeFile(path, *document.encode(ProjectDocument::Style::saved)));
    int told = 0;
    for (int run = 0; run < 6; ++run) {
        SCOPED_TRACE(run);
        MainWindow window(online());
        window.session().openProject(QUrl::fromLocalFile(path));
        ASSERT_TRUE(waitFor([&] {
            return !window.session().isRestoringVideo() && window.playerService().isLoaded();
        }, 30'000));
        // The sound's check ends after the picture is ready: give it time to come.
        waitFor([&] { return window.windowState().showError(); }, 2'000);
        EXPECT_TRUE(waitFor([&] { return window.clock().playheadTime() == 3; }, 5'000))
            << window.clock().playheadTime();
        if (window.windowState().showError()) {
            ++told;
            EXPECT_TRUE(window.alerts().errorBox()->text().contains(QStringLiteral("celp.mp4")));
        }
    }
    std::cout << "[ sound ] the sound's failure was told in " << told << " of 6 runs\n";
}
