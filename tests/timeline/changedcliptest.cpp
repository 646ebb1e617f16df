// A clip replaced on disk while others lie on a share whose stats stand (the
// slow-disk preload, which ctest loads for "OnAFaultyDisk.timeline").
#include "timeline/changedclip.h"

#include "support/slowdisk.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <array>
#include <random>

using namespace routereel;

namespace {

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

} // namespace

// Three clips, each on a disk of its own; one disk's stats stand for good. Each
// of the other two, replaced (renamed over or written over), is noticed at a
// later look; the clip whose stat stands, and the one left alone, are not.
TEST(ChangedClipOnAFaultyDisk, AStatThatStandsHidesNoOtherClip)
{
    if (!testsupport::slowdisk::entry<void *>("routereel_stathold_set"))
        GTEST_SKIP() << "needs the faulty-disk preload (ctest runs this as OnAFaultyDisk.timeline)";
    std::mt19937 draw(std::random_device{}());
    for (const bool renamedOver : {true, false}) {
        SCOPED_TRACE(renamedOver ? "renamed over" : "written over");
        std::array<QTemporaryDir, 3> disks;
        std::array<QUrl, 3> clips;
        ChangedClip changed;
        for (int i = 0; i < 3; ++i) {
            const QString path = disks[i].filePath(QStringLiteral("clip.mp4"));
            ASSERT_TRUE(writeFile(path, "first"));
            clips[i] = QUrl::fromLocalFile(path);
            EXPECT_FALSE(changed.noticeReplacement(clips[i])) << "a first look only remembers";
        }
        const int held = int(draw() % 3);
        const int replaced = (held + 1 + int(draw() % 2)) % 3;
        SCOPED_TRACE(testing::Message() << "held " << held << ", replaced " << replaced);
        testsupport::faultydisk::StatHold hold(disks[held].path(), 60'000);
        ASSERT_TRUE(hold.active());
        EXPECT_FALSE(changed.noticeReplacement(clips[held]));
        const QString path = clips[replaced].toLocalFile();
        if (renamedOver) {
            const QString fresh = disks[replaced].filePath(QStringLiteral("fresh"));
            ASSERT_TRUE(writeFile(fresh, "second, longer"));
            ASSERT_TRUE(QFile::remove(path));
            ASSERT_TRUE(QFile::rename(fresh, path));
        } else {
            ASSERT_TRUE(writeFile(path, "second, longer"));
        }
        // A look may miss its limit on a busy machine; a later one tells.
        std::array<int, 3> noticed{};
        for (int look = 0; look < 200 && !noticed[replaced]; ++look) {
            for (int i = 0; i < 3; ++i)
                noticed[i] += changed.noticeReplacement(clips[i]) ? 1 : 0;
        }
        EXPECT_EQ(noticed[replaced], 1) << "the replaced clip went unnoticed";
        EXPECT_EQ(noticed[held], 0);
        EXPECT_EQ(noticed[3 - held - replaced], 0);
        EXPECT_TRUE(changed.isReplaced(clips[replaced]));
    }
}
