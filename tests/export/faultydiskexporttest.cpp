// Exports of a clip that cannot be read whole: reads of a stretch of its bytes
// answer EIO (the faulty disk of support/slowdiskpreload.cpp, which ctest
// preloads for "OnAFaultyDisk.Export" and the real ffmpeg inherits). ffmpeg
// takes the failed read for the clip's end and still ends well.
#include "exporttestutil.h"

#include "export/exportqueue.h"

#include "support/clipdamage.h"
#include "support/clipgenerator.h"
#include "support/slowdisk.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

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
    };
    // Bytes 40 % to 60 % of the clip's data are about its seconds 2.4 to 3.6.
    const QList<Case> cases{
        {"whole clip", 0, true, std::nullopt},
        {"cut starting inside the bad stretch", 3, true, std::nullopt},
        {"whole clip on a sound disk", 0, false, std::nullopt},
        // Damage that ffmpeg decodes around is no read error: exported as before.
        {"garbage in the clip's data", 0, false, testsupport::Damage::garbageInMedia},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        QString clip = testsupport::makeClip(dir.path(), QStringLiteral("ride.mp4"),
                                             {.seconds = 6, .width = 320, .height = 240, .color = QColor()});
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
        queue.enqueue(regularTask(output, {source}, {cut(source, c.cutAt, source.duration, 0)}));
        ASSERT_TRUE(waitFor([&] { return !queue.isBusy(); }));
        const ExportTaskStatus status = queue.history().first().status;
        ASSERT_EQ(notifier->count(), 1);
        if (!c.faulty) {
            EXPECT_EQ(status, ExportTaskStatus::completed()) << status.message().toStdString();
            EXPECT_EQ(notifier->posts.first().body.toStdString(), "Export Complete!");
            continue;
        }
        EXPECT_EQ(status.kind(), ExportTaskStatus::Kind::failed);
        // ffmpeg's own line comes first: it is what the error alert shows.
        EXPECT_TRUE(status.message().startsWith(QStringLiteral("FFmpeg: file:") + clip
                                                + QStringLiteral(": Input/output error\n")))
            << status.message().toStdString();
        EXPECT_EQ(notifier->posts.first().body.toStdString(), "Export Failed: out.mp4");
        EXPECT_FALSE(QFileInfo::exists(output));
        EXPECT_EQ(QDir(dir.path()).entryList({QStringLiteral(".routereel-export-*")}, QDir::AllEntries | QDir::Hidden),
                  QStringList());
    }
}
