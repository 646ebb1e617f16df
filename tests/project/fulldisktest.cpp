#include "projectfakes.h"

#include "support/fulldisk.h"
#include "support/trackfixtures.h"

#include <gtest/gtest.h>

using namespace routereel;
using namespace projecttest;
using testsupport::FullDisk;

namespace {

const QString noSpace = QStringLiteral("No space left on device");

// A project of some 200 bytes a piece: one track cut into many pieces.
void fillWindow(FakeWindow &w, const QString &trackFolder, int pieces = 150)
{
    const GPXTrack track = w.gpx.importTrack(QUrl::fromLocalFile(writeGPX(trackFolder, "ride.gpx"))).value();
    QList<GPXSegment> segments;
    for (int i = 0; i < pieces; ++i)
        segments.append(testsupport::segmentOf(track, i * 3, i * 3 + 2, i * 10));
    w.engineObject.setSegments(segments);
}

// The last session in a folder on the disk.
QString lastSessionOn(const FullDisk &disk)
{
    qputenv("XDG_DATA_HOME", QFile::encodeName(disk.path() + QStringLiteral("/data")));
    return ProjectSession::lastSessionPath().value_or(QString());
}

} // namespace

TEST(ProjectFullDisk, SaveAndSaveAsKeepTheEarlierFileAndSayWhy)
{
    if (FullDisk::runTestInChild())
        return;
    FullDisk disk;
    ASSERT_TRUE(disk.isReady()) << disk.error().toStdString();
    QTemporaryDir tracks;
    const QString folder = disk.path() + QStringLiteral("/projects");
    struct Case {
        const char *what;
        bool saveAs;
        bool partFits;
        int pieces;
    };
    const Case cases[] = {{"Save, nothing free", false, false, 150},
                          {"Save of a small project, nothing free", false, false, 3},
                          {"Save, a part fits", false, true, 150},
                          {"Save As over a file, nothing free", true, false, 150},
                          {"Save As over a file, a part fits", true, true, 150}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        QDir(folder).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(folder));
        ASSERT_TRUE(disk.leaveFree(qint64(1) << 30));
        const QString target = folder + (c.saveAs ? QStringLiteral("/Ride Copy.rrl") : QStringLiteral("/Ride.rrl"));
        Harness h;
        fillWindow(*h.window, tracks.path(), c.pieces);
        h.panels.saveAnswer = QUrl::fromLocalFile(target);
        c.saveAs ? h.session.handleSaveProjectAs() : h.session.handleSaveProject();
        ASSERT_TRUE(settle(h.session));
        const QByteArray before = readAll(target);
        ASSERT_FALSE(before.isEmpty());

        h.window->map.setWidth(150);
        ASSERT_TRUE(disk.leaveFree(c.partFits ? before.size() / 2 : 0));
        EXPECT_EQ(disk.freeBytes() > 0, c.partFits);
        c.saveAs ? h.session.handleSaveProjectAs() : h.session.handleSaveProject();
        ASSERT_TRUE(settle(h.session));
        EXPECT_EQ(readAll(target), before);
        ASSERT_EQ(h.alerts.shown.size(), 1);
        EXPECT_TRUE(h.alerts.shown[0].contains(noSpace)) << h.alerts.shown[0].toStdString();
        EXPECT_EQ(h.window->entries(LogEntry::Level::error).size(), 1);
        EXPECT_EQ(filesIn(folder), QStringList{QFileInfo(target).fileName()});
        EXPECT_EQ(h.session.projectURL(), QUrl::fromLocalFile(target));

        // With room again the same save goes through.
        ASSERT_TRUE(disk.leaveFree(qint64(1) << 30));
        c.saveAs ? h.session.handleSaveProjectAs() : h.session.handleSaveProject();
        ASSERT_TRUE(settle(h.session));
        EXPECT_EQ(h.alerts.shown.size(), 1);
        EXPECT_NE(readAll(target), before);
        EXPECT_EQ(filesIn(folder), QStringList{QFileInfo(target).fileName()});
    }
}

TEST(ProjectFullDisk, TheLastSessionKeepsItsEarlierFileAndIsRestored)
{
    if (FullDisk::runTestInChild())
        return;
    FullDisk disk;
    ASSERT_TRUE(disk.isReady()) << disk.error().toStdString();
    QTemporaryDir tracks;
    const QString path = lastSessionOn(disk);
    ASSERT_TRUE(path.startsWith(disk.path()));
    {
        Harness quitting;
        fillWindow(*quitting.window, tracks.path());
        quitting.window->provider = MapProvider::mapbox;
        quitting.session.saveLastSession();
        ASSERT_TRUE(settle(quitting.session));
        ASSERT_TRUE(quitting.window->log.entries().isEmpty());
    }
    const QByteArray before = readAll(path);
    for (const qint64 free : {qint64(0), qint64(before.size() / 2)}) {
        SCOPED_TRACE(free);
        ASSERT_TRUE(disk.leaveFree(free));
        Harness h;
        fillWindow(*h.window, tracks.path(), 140);
        h.session.saveLastSession();
        ASSERT_TRUE(settle(h.session));
        const auto warnings = h.window->entries(LogEntry::Level::warning);
        ASSERT_EQ(warnings.size(), 1);
        EXPECT_EQ(warnings[0].title, QStringLiteral("Save last session failed"));
        EXPECT_EQ(warnings[0].detail, noSpace + QStringLiteral("\nPath: ") + path);
        EXPECT_TRUE(h.alerts.shown.isEmpty());
        EXPECT_EQ(readAll(path), before);
        EXPECT_EQ(filesIn(QFileInfo(path).absolutePath()), QStringList{"LastSession.rrl"});
    }

    // Killed and started again: the earlier session comes back.
    ASSERT_TRUE(disk.leaveFree(qint64(1) << 30));
    Harness starting;
    starting.session.windowDidAppear(std::nullopt);
    ASSERT_TRUE(settle(starting.session));
    EXPECT_EQ(starting.window->gpx.tracks().size(), 1);
    EXPECT_EQ(starting.window->engineObject.segments().size(), 150);
    EXPECT_EQ(starting.window->provider, MapProvider::mapbox);
    EXPECT_TRUE(starting.window->log.entries().isEmpty());
    EXPECT_EQ(filesIn(QFileInfo(path).absolutePath()), QStringList{"LastSession.rrl"});
}

TEST(ProjectFullDisk, AFileThatCannotBeRestoredNeverReplacesAGoodBackup)
{
    if (FullDisk::runTestInChild())
        return;
    FullDisk disk;
    ASSERT_TRUE(disk.isReady()) << disk.error().toStdString();
    const QString path = lastSessionOn(disk);
    const QString backup = ProjectSession::lastSessionBackupPath(path);
    const QByteArray good = readAll(QStringLiteral(ROUTEREEL_TEST_DATA "/projects/minimal.rrl"));
    const QByteArray newer = readAll(QStringLiteral(ROUTEREEL_TEST_DATA "/projects/version-newer.rrl"));
    ASSERT_FALSE(good.isEmpty());
    struct Case {
        const char *what;
        QByteArray session;
        std::optional<QByteArray> earlierBackup;
        bool diskFull;
        std::optional<QByteArray> backupAfter;
    };
    const Case cases[] = {
        {"empty", "", good, false, good},
        {"empty, no backup yet", "", std::nullopt, false, std::nullopt},
        {"damaged", "{\"version\":5,\"gpxFi", good, false, good},
        {"damaged, no backup yet", "{\"version\":5,\"gpxFi", std::nullopt, false, "{\"version\":5,\"gpxFi"},
        {"newer version", newer, good, false, newer},
        {"newer version, disk full", newer, good, true, good},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(disk.leaveFree(qint64(1) << 30));
        QFile::remove(backup);
        ASSERT_TRUE(writeFile(path, c.session));
        if (c.earlierBackup)
            ASSERT_TRUE(writeFile(backup, *c.earlierBackup));
        if (c.diskFull)
            ASSERT_TRUE(disk.leaveFree(0));
        Harness h;
        h.session.restoreLastSession();
        ASSERT_TRUE(settle(h.session));
        EXPECT_TRUE(h.window->gpx.tracks().isEmpty());
        EXPECT_EQ(readAll(path), c.session);
        EXPECT_EQ(QFileInfo::exists(backup), c.backupAfter.has_value());
        EXPECT_EQ(readAll(backup), c.backupAfter.value_or(QByteArray()));
        const bool kept = c.backupAfter && c.backupAfter != c.earlierBackup;
        EXPECT_EQ(h.window->entries(LogEntry::Level::info).size(), kept ? 1 : 0);
        if (c.diskFull) {
            const auto warnings = h.window->entries(LogEntry::Level::warning);
            ASSERT_FALSE(warnings.isEmpty());
            EXPECT_TRUE(warnings[0].detail.startsWith(noSpace)) << warnings[0].detail.toStdString();
        }
        EXPECT_TRUE(h.alerts.shown.isEmpty());
        const QStringList files = filesIn(QFileInfo(path).absolutePath());
        EXPECT_TRUE(files.filter(QStringLiteral(".tmp")).isEmpty()) << files.join(' ').toStdString();
    }
}
