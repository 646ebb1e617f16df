// Exports of a clip that cannot be read whole: reads of a stretch of its bytes
// answer EIO (the faulty disk of support/slowdiskpreload.cpp, which ctest
// preloads for "OnAFaultyDisk.Export" and the real ffmpeg inherits). ffmpeg
// takes the failed read for the clip's end and still ends well.
#include "exporttestutil.h"

#include "export/exportqueue.h"
#include "export/exportstagingrecord.h"

#include "support/clipdamage.h"
#include "support/clipgenerator.h"
#include "support/slowdisk.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cerrno>

using namespace routereel;
using namespace exporttest;

TEST(FaultyDiskExport, AReadErrorInTheClipFailsTheExport)
{
    if (!testsupport::slowdisk::entry<void *>("routereel_faultydisk_set"))
        GTEST_SKIP() << "needs the faulty-disk preload (ctest runs this as OnAFaultyDisk.Export)";
    struct Case {
        const char *name;
        double cutAt;  // where the piece starts in the clip
        bool faulty;
        std::optional<testsupport::Damage> damage;
        // Open-GOP HEVC cut in pieces, whose pictures the export copies before ffmpeg starts.
        bool openGopPieces = false;
    };
    // Bytes 40 % to 60 % of the clip's data are about its seconds 2.4 to 3.6.
    const QList<Case> cases{
        {"whole clip", 0, true, std::nullopt},
        {"cut starting inside the bad stretch", 3, true, std::nullopt},
        {"whole clip on a sound disk", 0, false, std::nullopt},
        // Damage that ffmpeg decodes around is no read error: exported as before.
        {"garbage in the clip's data", 0, false, testsupport::Damage::garbageInMedia},
        {"open-GOP HEVC pieces across the bad stretch", 1.5, true, std::nullopt, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        QString clip = testsupport::makeClip(dir.path(), QStringLiteral("ride.mp4"),
                                             {.seconds = 6, .width = 320, .height = 240, .color = QColor()});
        if (c.openGopPieces) {
            clip = dir.filePath(QStringLiteral("ride.mov"));
            ASSERT_TRUE(testsupport::runFfmpeg(
                {"-f", "lavfi", "-i", "testsrc2=d=6:s=320x240:r=30", "-c:v", "libx265", "-preset", "ultrafast",
                 "-x265-params", "open-gop=1:keyint=30:min-keyint=30:scenecut=0:log-level=error", clip}));
        }
        ASSERT_FALSE(clip.isEmpty());
        if (c.damage) {
            const QString damaged = dir.filePath(QStringLiteral("damaged.mp4"));
            ASSERT_TRUE(testsupport::damageCopy(clip, damaged, *c.damage, 7));
            clip = damaged;
        }
        const VideoSource source = sourceFor(clip);
        const QString output = dir.filePath(QStringLiteral("out.mp4"));
        const qint64 size = QFileInfo(clip).size();
        std::optional<testsupport::faultydisk::Fault> fault;
        if (c.faulty) {
            fault.emplace(clip, size * 4 / 10, size * 6 / 10);
            ASSERT_TRUE(fault->active());
        }

        ExportQueue queue;
        auto notifier = std::make_shared<RecordingNotifier>();
        queue.exporter()->setNotifier(notifier);
        QList<VideoSegment> pieces{cut(source, c.cutAt, source.duration, 0)};
        if (c.openGopPieces)
            pieces = {cut(source, c.cutAt, c.cutAt + 0.5, 0), cut(source, 2.7, 3.2, 0.5), cut(source, 4.5, 5, 1)};
        queue.enqueue(regularTask(output, {source}, pieces));
        ASSERT_TRUE(waitFor([&] { return !queue.isBusy(); }));
        const ExportTaskStatus status = queue.history().first().status;
        ASSERT_EQ(notifier->count(), 1);
        if (!c.faulty) {
            EXPECT_EQ(status, ExportTaskStatus::completed()) << status.message().toStdString();
            EXPECT_EQ(notifier->posts.first().body.toStdString(), "Export Complete!");
            continue;
        }
        EXPECT_EQ(status.kind(), ExportTaskStatus::Kind::failed);
        // ffmpeg's own line comes first: it is what the error alert shows. The
        // pieces' copies fail with that line alone, naming the clip, not a copy.
        const QString line = QStringLiteral("FFmpeg: file:") + clip + QStringLiteral(": Input/output error");
        if (c.openGopPieces)
            EXPECT_EQ(status.message(), line);
        else
            EXPECT_TRUE(status.message().startsWith(line + QStringLiteral("\n"))) << status.message().toStdString();
        EXPECT_EQ(notifier->posts.first().body.toStdString(), "Export Failed: out.mp4");
        EXPECT_FALSE(QFileInfo::exists(output));
        EXPECT_EQ(QDir(dir.path()).entryList({QStringLiteral(".routereel-export-*")}, QDir::AllEntries | QDir::Hidden),
                  QStringList());
    }
}

TEST(FaultyDiskExport, AStagingFolderOnAShareThatDropsOutGoesOnceItAnswers)
{
    if (!testsupport::slowdisk::entry<void *>("routereel_outage_set"))
        GTEST_SKIP() << "needs the faulty-disk preload (ctest runs this as OnAFaultyDisk.Export)";
    struct Case {
        const char *name;
        QList<int> errors;       // while ffmpeg writes, then while the folder stays away
        bool sweptWhileRunning;  // else by the next start's sweep
    };
    const Case cases[]{{"while running", {ENOTCONN, ESTALE, EIO}, true},
                       {"at the next start", {ESTALE, EIO, ENOTCONN}, false}};
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QDir top(dir.path());
        qputenv("XDG_DATA_HOME", QFile::encodeName(top.filePath(QStringLiteral("data"))));
        const QDir notes(top.filePath(QStringLiteral("data/routereel/export-staging")));
        const auto noteCount = [&] { return notes.entryList(QDir::Files | QDir::Hidden).size(); };
        const QString out = top.filePath(QStringLiteral("share"));
        ASSERT_TRUE(top.mkpath(QStringLiteral("share")));
        const auto staging = [&] {
            return QDir(out).entryList({QStringLiteral(".routereel-export-*")}, QDir::Dirs | QDir::Hidden);
        };
        ExportStagingRecord::setRetry({std::chrono::milliseconds(100), std::chrono::milliseconds(400),
                                       c.sweptWhileRunning ? 1000 : 0});
        testsupport::faultydisk::FolderOutage outage(out, 0, false);
        ASSERT_TRUE(outage.active());

        ExportQueue queue;
        queue.enqueue(overlayTask(out + QStringLiteral("/ride.mp4"), 600));
        // The share drops out once ffmpeg has its file open.
        ASSERT_TRUE(waitFor([&] {
            const QStringList found = staging();
            return found.size() == 1 && QFileInfo::exists(out + '/' + found.first() + QStringLiteral("/video.mp4"));
        }));
        outage.fail(c.errors[0]);
        ASSERT_TRUE(waitFor([&] { return !queue.isBusy(); }));
        EXPECT_EQ(queue.history().first().status.kind(), ExportTaskStatus::Kind::failed);
        // Sweeps while the share is out, whatever it answers, keep the note.
        for (int error : c.errors.mid(1)) {
            outage.fail(error);
            testsupport::waitFor([] { return false; }, 400);
            EXPECT_EQ(noteCount(), 1) << error;
            if (!c.sweptWhileRunning) {
                int waiting = 0;
                EXPECT_EQ(ExportStagingRecord::sweep(&waiting), 0);  // what a start runs
                EXPECT_EQ(waiting, 1);
            }
        }
        outage.heal();
        if (!c.sweptWhileRunning) {
            testsupport::waitFor([] { return false; }, 300);
            EXPECT_EQ(staging().size(), 1);
            ExportStagingRecord::sweepAtStart();
        }
        EXPECT_TRUE(waitFor([&] { return staging().isEmpty() && noteCount() == 0; }, 30'000));
        EXPECT_FALSE(QFileInfo::exists(out + QStringLiteral("/ride.mp4")));
    }
    ExportStagingRecord::setRetry({});
    qputenv("XDG_DATA_HOME", dataHome);
}
