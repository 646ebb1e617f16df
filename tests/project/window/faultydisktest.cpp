#include "../projectfakes.h"

#include "support/slowdisk.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <gtest/gtest.h>

using namespace routereel;
using namespace projecttest;
using testsupport::faultydisk::Fault;

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
