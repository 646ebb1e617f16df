// A clip's sound on a disk that refuses a stretch of it (the slow-disk preload's
// faulty range, which ctest loads for "OnAFaultyDisk.media").
#include "media/soundreader.h"

#include "support/clipgenerator.h"
#include "support/packetbytes.h"
#include "support/slowdisk.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <vector>

using namespace routereel;

// The sound of 1.5 s to 2 s of a 4 s tone answers EIO, once or for good: either way
// the tone is heard again after the stretch rather than taken to have ended there.
TEST(SoundReaderOnAFaultyDisk, TheSoundGoesOnPastAStretchTheDiskRefuses)
{
    if (!testsupport::slowdisk::entry<void *>("routereel_faultydisk_set"))
        GTEST_SKIP() << "needs the faulty-disk preload (ctest runs this as OnAFaultyDisk.media)";
    constexpr int rate = 48000;
    QTemporaryDir dir;
    const QString clip = testsupport::makeClip(dir.path(), QStringLiteral("tone.mp4"),
                                               {.seconds = 4, .color = QColor(), .indexAtFront = true});
    ASSERT_FALSE(clip.isEmpty());
    const auto [from, to] = testsupport::packetBytes(clip, AVMEDIA_TYPE_AUDIO, 1.5, 2.0);
    ASSERT_GT(to, from);
    for (const long failures : {1L, -1L}) {
        SCOPED_TRACE(failures);
        testsupport::faultydisk::Fault fault(clip, from, to, failures);
        ASSERT_TRUE(fault.active());
        const long before = testsupport::faultydisk::faultsGiven();
        SoundReader reader(rate, 2);
        reader.setPieces({{0, 4, clip, 0}});
        reader.seek(0);
        std::vector<float> pcm(std::size_t(4 * rate) * 2);
        for (qint64 at = 0; at < 4 * rate; at += 1024)
            reader.read(pcm.data() + at * 2, std::min<qint64>(1024, 4 * rate - at));
        EXPECT_GT(testsupport::faultydisk::faultsGiven(), before) << "the stretch was read";
        const auto loudest = [&](double a, double b) {
            float peak = 0;
            for (qint64 i = qint64(a * rate); i < qint64(b * rate); ++i)
                peak = std::max(peak, std::abs(pcm[std::size_t(i) * 2]));
            return peak;
        };
        EXPECT_GT(loudest(0.5, 1.4), 0.05f);
        EXPECT_GT(loudest(2.5, 3.0), 0.05f) << "heard again after the stretch";
        EXPECT_GT(loudest(3.4, 3.9), 0.05f);
        const auto errors = reader.takeErrors();
        EXPECT_TRUE(errors.isEmpty()) << "the clip is not silenced for good: " << errors.front().message().toStdString();
    }
}

// The clip's folder is away when its piece is reached (a share, ENOTCONN): silence,
// nothing told from here (the picture tells it), and the sound once the folder is back.
TEST(SoundReaderOnAFaultyDisk, AClipWhoseFolderIsAwayIsHeardOnceItIsBack)
{
    if (!testsupport::slowdisk::entry<void *>("routereel_outage_set"))
        GTEST_SKIP() << "needs the faulty-disk preload (ctest runs this as OnAFaultyDisk.media)";
    constexpr int rate = 48000;
    QTemporaryDir dir;
    const QString clip = testsupport::makeClip(dir.path(), QStringLiteral("tone.mp4"),
                                               {.seconds = 3, .color = QColor(), .indexAtFront = true});
    ASSERT_FALSE(clip.isEmpty());
    SoundReader reader(rate, 2);
    reader.setPieces({{0, 3, clip, 0}});
    reader.seek(0);
    std::vector<float> pcm(std::size_t(3 * rate) * 2);
    {
        testsupport::faultydisk::FolderOutage outage(dir.path(), ENOTCONN);
        ASSERT_TRUE(outage.active());
        for (qint64 at = 0; at < rate; at += 1000)
            reader.read(pcm.data() + at * 2, 1000);
    }
    for (qint64 at = rate; at < 3 * rate; at += 1000)
        reader.read(pcm.data() + at * 2, 1000);
    const auto loudest = [&](double a, double b) {
        float peak = 0;
        for (qint64 i = qint64(a * rate); i < qint64(b * rate); ++i)
            peak = std::max(peak, std::abs(pcm[std::size_t(i) * 2]));
        return peak;
    };
    EXPECT_EQ(loudest(0, 1), 0.0f);
    EXPECT_GT(loudest(1.5, 2.9), 0.05f) << "heard once the folder is back";
    EXPECT_TRUE(reader.takeErrors().isEmpty());
}
