#include "../projectfakes.h"

#include "support/clipdamage.h"
#include "support/clipgenerator.h"
#include "support/slowdisk.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <random>

using namespace routereel;
using namespace projecttest;
using testsupport::faultydisk::Fault;
using testsupport::faultydisk::FolderOutage;

namespace {

struct DataHome {
    QTemporaryDir dir;
    QByteArray was = qgetenv("XDG_DATA_HOME");
    DataHome() { qputenv("XDG_DATA_HOME", dir.path().toLocal8Bit()); }
    ~DataHome() { qputenv("XDG_DATA_HOME", was); }
};

// A project of three tracks in `dir`, saved to `path`.
QByteArray writeProject(const QString &dir, const QString &path)
{
    ProjectDocument d = baseDocument();
    for (int i = 0; i < 3; ++i) {
        const QString id = ProjectDocument::uuidText(QUuid::createUuid());
        d.gpxFiles.append({writeGPX(dir, QStringLiteral("t%1.gpx").arg(i), 20), std::nullopt, id});
        d.segments.append(SegmentData{ProjectDocument::uuidText(QUuid::createUuid()), id, 0, 19, 20.0 * i});
    }
    const QByteArray bytes = *d.encode(ProjectDocument::Style::session);
    writeFile(path, bytes);
    return bytes;
}

// The session's files read and its video restored; a disk that refuses takes its retries.
bool restored(ProjectSession &session)
{
    return testsupport::waitFor([&] { return !session.isRestoringVideo() && !session.hasFileWork(); }, 60'000);
}

Fault faultOn(const QString &path, long failures)
{
    return Fault(path, 0, QFileInfo(path).size(), failures);
}

} // namespace

// A project file that the disk answers with an error is refused with the
// system's reason, not taken for a file that is empty or not JSON.
TEST(ProjectFaultyDisk, AnOpenThatCannotBeReadSaysWhy)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ride.rrl"));
    writeProject(dir.path(), path);
    Fault fault(path, 100, QFileInfo(path).size(), -1);  // a short read, then the error
    ASSERT_TRUE(fault.active()) << "run with the faulty-disk preload";
    Harness h;
    h.session.openProject(QUrl::fromLocalFile(path));
    ASSERT_TRUE(settle(h.session));
    ASSERT_EQ(h.alerts.shown.size(), 1);
    EXPECT_EQ(h.alerts.shown[0].toStdString(), "The project file \"ride.rrl\" cannot be read: Input/output error");
    EXPECT_FALSE(h.session.projectURL());
    EXPECT_TRUE(h.window->gpx.tracks().isEmpty());
}

// A last session on a disk that hiccups is read again; one that still cannot be
// read is logged and never overwritten, and comes back once the disk answers.
// A good backup that cannot be read is never replaced either.
TEST(ProjectFaultyDisk, ALastSessionThatCannotBeReadIsNeverOverwritten)
{
    struct Case {
        const char *what;
        long failures;      // of the last session's reads; -1: until healed
        bool corrupt;       // the last session is damaged, its good backup faulty
        bool restored;      // at this launch
    };
    const Case cases[] = {
        {"a hiccup", 2, false, true},
        {"a disk that keeps failing", -1, false, false},
        {"a damaged session and a backup that cannot be read", -1, true, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        DataHome home;
        const QString path = *ProjectSession::lastSessionPath();
        const QString backup = ProjectSession::lastSessionBackupPath(path);
        QByteArray session = writeProject(home.dir.path(), path);
        QByteArray kept;
        if (c.corrupt) {
            kept = writeProject(home.dir.path(), backup);
            session = "{\"version\":5,\"gpxFi";
            writeFile(path, session);
        }
        {
            Fault fault = faultOn(c.corrupt ? backup : path, c.failures);
            ASSERT_TRUE(fault.active());
            Harness h;
            h.session.restoreLastSession();
            ASSERT_TRUE(settle(h.session));
            EXPECT_EQ(h.window->gpx.tracks().size(), c.restored ? 3 : 0);
            EXPECT_TRUE(h.alerts.shown.isEmpty());
            if (!c.restored) {
                const auto warnings = h.window->entries(LogEntry::Level::warning);
                ASSERT_FALSE(warnings.isEmpty());
                const QString detail = warnings.value(warnings.size() - 1).detail;
                EXPECT_TRUE(detail.contains(QStringLiteral("Input/output error"))) << detail.toStdString();
            }
            // Neither the autosave nor the quit replaces what could not be read.
            h.session.saveLastSession(ProjectSession::LastSessionWrite::inBackground);
            ASSERT_TRUE(settle(h.session));
            h.session.saveLastSession();
        }
        if (!c.restored) {
            EXPECT_EQ(readAll(path), session);
            EXPECT_EQ(readAll(backup), kept);
        }
        // The disk answers again: the next launch restores the session (or its backup's tracks stay kept).
        Harness next;
        next.session.restoreLastSession();
        ASSERT_TRUE(settle(next.session));
        EXPECT_EQ(next.window->gpx.tracks().size(), c.corrupt ? 0 : 3);
        if (c.corrupt)
            EXPECT_EQ(readAll(backup), kept);
    }
}

// The project's folder drops out (a network share): a Save, even one that the
// quit right after it carries out, tells why before the application ends and
// loses nothing; once the folder is back, a Save works.
TEST(ProjectFaultyDisk, ASaveWhileTheFolderIsOutIsToldAndALaterSaveWorks)
{
    for (const int error : {ENOTCONN, ESTALE, EIO}) {
        SCOPED_TRACE(qt_error_string(error).toStdString());
        DataHome home;
        QTemporaryDir share;
        const QString project = share.filePath(QStringLiteral("ride.rrl"));
        writeProject(share.path(), project);
        Harness h;
        h.session.openProject(QUrl::fromLocalFile(project));
        ASSERT_TRUE(settle(h.session));
        const QByteArray before = readAll(project);
        const QStringList files = filesIn(share.path());
        h.window->map.setZoomLevel(3);
        {
            FolderOutage out(share.path(), error);
            ASSERT_TRUE(out.active()) << "run with the faulty-disk preload";
            h.session.handleSaveProject();
            h.session.saveLastSession();  // the quit, at once
            const auto errors = h.window->entries(LogEntry::Level::error);
            ASSERT_EQ(errors.size(), 1) << "the failed Save was not told before the quit ended";
            EXPECT_TRUE(errors[0].detail.contains(qt_error_string(error))) << errors[0].detail.toStdString();
        }
        EXPECT_EQ(readAll(project), before);
        EXPECT_EQ(filesIn(share.path()), files) << "something was left in the user's folder";
        h.session.handleSaveProject();
        ASSERT_TRUE(settle(h.session));
        EXPECT_EQ(h.window->entries(LogEntry::Level::error).size(), 1);
        const auto saved = ProjectDocument::decode(readAll(project));
        ASSERT_TRUE(saved);
        EXPECT_EQ(saved->map.zoomLevel, 3);
    }
}

// A last session whose folder does not answer at launch is not taken for no
// session: it is left as it is, even once the folder is back before the quit,
// and the next launch restores it.
TEST(ProjectFaultyDisk, ALastSessionInAFolderOutAtLaunchIsKept)
{
    for (const int error : {ENOTCONN, ESTALE}) {
        SCOPED_TRACE(qt_error_string(error).toStdString());
        DataHome home;
        const QString path = *ProjectSession::lastSessionPath();
        const QByteArray session = writeProject(home.dir.path(), path);
        {
            FolderOutage out(QFileInfo(path).absolutePath(), error);
            ASSERT_TRUE(out.active());
            Harness h;
            h.session.restoreLastSession();
            ASSERT_TRUE(settle(h.session));
            EXPECT_TRUE(h.window->gpx.tracks().isEmpty());
            const auto warnings = h.window->entries(LogEntry::Level::warning);
            EXPECT_TRUE(std::any_of(warnings.begin(), warnings.end(), [&](const LogEntry &e) {
                return e.detail.contains(qt_error_string(error));
            })) << "the reason is not told";
            out.heal();
            h.session.saveLastSession();
        }
        EXPECT_EQ(readAll(path), session);
        Harness next;
        next.session.restoreLastSession();
        ASSERT_TRUE(settle(next.session));
        EXPECT_EQ(next.window->gpx.tracks().size(), 3);
    }
}

// A clip of the last session that the disk refuses at launch (EIO in its index),
// whose folder does not answer (ESTALE) or that is gone: the user is told why,
// the quit keeps it and its pieces in the last session, and the next start,
// with the clip readable again, restores it.
TEST(ProjectFaultyDisk, AClipThatFailsAtLaunchStaysInTheLastSession)
{
    enum class Fails { readError, folderOut, gone };
    struct Case {
        const char *what;
        Fails fails;
        const char *alert;  // the alert's beginning; %1 the clip's file name
    };
    const Case cases[] = {
        {"a read error", Fails::readError, "Cannot read video file %1: Input/output error"},
        {"its folder out", Fails::folderOut, "Some resources referenced by this project were not found:"},
        {"gone", Fails::gone, "Some resources referenced by this project were not found:"},
    };
    std::mt19937 draw(std::random_device{}());
    for (const Case &c : cases) {
        DataHome home;
        const QString path = *ProjectSession::lastSessionPath();
        ProjectDocument saved = baseDocument();
        QStringList clips;
        QList<VideoSegment> pieces;
        for (int i = 0; i < 3; ++i) {
            const QString folder = home.dir.filePath(QStringLiteral("disk%1").arg(i));
            QDir().mkpath(folder);
            clips << testsupport::makeClip(folder, QStringLiteral("c%1.mp4").arg(i),
                                           {.seconds = 2, .width = 160, .height = 90, .audio = false});
            saved.videoFiles->append({QUuid::createUuid(), clips.last(), std::nullopt});
            pieces << VideoSegment{QUuid::createUuid(), saved.videoFiles->last().id, 0, 1, 2.0 * i}
                   << VideoSegment{QUuid::createUuid(), saved.videoFiles->last().id, 1, 2, 2.0 * i + 1};
        }
        saved.videoSegments = pieces;
        writeFile(path, *saved.encode(ProjectDocument::Style::session));
        const int failing = int(draw() % 3);
        const QString clip = clips[failing];
        SCOPED_TRACE(testing::Message() << c.what << ", clip " << failing);
        {
            std::optional<Fault> fault;
            std::optional<FolderOutage> outage;
            if (c.fails == Fails::readError) {
                const auto [from, to] = testsupport::indexBytes(clip);
                fault.emplace(clip, from, to, -1);
                ASSERT_TRUE(fault->active()) << "run with the faulty-disk preload";
            } else if (c.fails == Fails::folderOut) {
                outage.emplace(QFileInfo(clip).absolutePath(), ESTALE);
                ASSERT_TRUE(outage->active());
            } else {
                ASSERT_TRUE(QFile::rename(clip, clip + QStringLiteral(".away")));
            }
            Harness h;
            h.session.restoreLastSession();
            ASSERT_TRUE(restored(h.session));
            EXPECT_EQ(h.window->engine().videoSources().size(), 2);
            EXPECT_EQ(h.window->engine().videoSegments().size(), 4);
            ASSERT_FALSE(h.alerts.shown.isEmpty());
            EXPECT_TRUE(h.alerts.shown.last().startsWith(QString::fromUtf8(c.alert).arg(QFileInfo(clip).fileName())))
                << h.alerts.shown.last().toStdString();
            h.session.saveLastSession();
        }
        const auto written = ProjectDocument::decode(readAll(path));
        ASSERT_TRUE(written && written->videoFiles && written->videoSegments);
        EXPECT_EQ(written->videoFiles->size(), 3);
        for (const VideoSegment &piece : *saved.videoSegments)
            EXPECT_TRUE(written->videoSegments->contains(piece)) << "a piece was lost at the quit";

        if (c.fails == Fails::gone)
            ASSERT_TRUE(QFile::rename(clip + QStringLiteral(".away"), clip));
        Harness next;
        next.session.restoreLastSession();
        ASSERT_TRUE(restored(next.session));
        EXPECT_EQ(next.window->engine().videoSources().size(), 3) << "at the next start";
        EXPECT_EQ(next.window->engine().videoSegments().size(), 6);
        EXPECT_TRUE(next.alerts.shown.isEmpty());
    }
}
