// A clip's sound on a disk that refuses it: a stretch of its bytes, or its whole
// folder for a while (the slow-disk preload, which ctest loads for "OnAFaultyDisk.media").
#include "media/soundreader.h"

#include "support/clipgenerator.h"
#include "support/packetbytes.h"
#include "support/slowdisk.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <functional>
#include <optional>
#include <vector>

using namespace routereel;

namespace {

constexpr int rate = 48000;

// A 4 s tone's timeline read in chunks, `between` run after the first second.
std::vector<float> readTone(const QString &clip, const std::function<void()> &between = {})
{
    SoundReader reader(rate, 2);
    reader.setPieces({{0, 4, clip, 0}});
    reader.seek(0);
    std::vector<float> pcm(std::size_t(4 * rate) * 2);
    for (qint64 at = 0; at < 4 * rate; at += 1000) {
        if (at == rate && between)
            between();
        reader.read(pcm.data() + at * 2, 1000);
    }
    EXPECT_TRUE(reader.takeErrors().isEmpty()) << "the clip is not silenced for good";
    return pcm;
}

float loudest(const std::vector<float> &pcm, double from, double to)
{
    float peak = 0;
    for (auto i = qint64(from * rate); i < qint64(to * rate); ++i)
        peak = std::max(peak, std::abs(pcm[std::size_t(i) * 2]));
    return peak;
}

} // namespace

// The sound of 1.5 s to 2 s answers EIO once, or for good; or the clip's folder is
// away (a share, ENOTCONN) when the piece is reached and back after a second. The
// tone is heard again after each rather than taken to have ended, nothing is told
// from here (the picture tells it).
TEST(SoundReaderOnAFaultyDisk, TheSoundGoesOnPastWhatTheDiskRefuses)
{
    if (!testsupport::slowdisk::entry<void *>("routereel_outage_set"))
        GTEST_SKIP() << "needs the faulty-disk preload (ctest runs this as OnAFaultyDisk.media)";
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
        const std::vector<float> pcm = readTone(clip);
        EXPECT_GT(testsupport::faultydisk::faultsGiven(), before) << "the stretch was read";
        EXPECT_GT(loudest(pcm, 0.5, 1.4), 0.05f);
        EXPECT_GT(loudest(pcm, 2.5, 3.0), 0.05f) << "heard again after the stretch";
        EXPECT_GT(loudest(pcm, 3.4, 3.9), 0.05f);
    }
    std::optional<testsupport::faultydisk::FolderOutage> outage(std::in_place, dir.path(), ENOTCONN);
    ASSERT_TRUE(outage->active());
    const std::vector<float> pcm = readTone(clip, [&] { outage.reset(); });
    EXPECT_EQ(loudest(pcm, 0, 1), 0.0f);
    EXPECT_GT(loudest(pcm, 1.5, 3.9), 0.05f) << "heard once the folder is back";
}
