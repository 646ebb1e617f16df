// Which source frame is on screen while the player service plays cut timelines:
// the clips carry their frame numbers in their pictures.
#include "timeline/videoplayerservice.h"
#include "timeline/views/timelineplayer.h"

#include "support/clipgenerator.h"
#include "support/timelinefixtures.h"
#include "support/waitfor.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>

using namespace routereel;
using testsupport::cut;
using testsupport::frameNumberOf;
using testsupport::waitFor;

namespace {

struct Clips {
    QTemporaryDir dir;
    QString a;      // 6 s, silent
    QString b;      // 6 s, silent
    QString sound;  // 6 s with sound
};

const Clips &clips()
{
    static const Clips c = [] {
        Clips made;
        made.a = testsupport::makeNumberedClip(made.dir.path(), QStringLiteral("a.mp4"), 6);
        made.b = testsupport::makeNumberedClip(made.dir.path(), QStringLiteral("b.mp4"), 6);
        made.sound = testsupport::makeNumberedClip(made.dir.path(), QStringLiteral("s.mp4"), 6, true);
        return made;
    }();
    return c;
}

VideoSource source(const QString &file)
{
    return VideoSource::probe(QUrl::fromLocalFile(file), QUuid::createUuid());
}

// One picture as it came on screen: its frame number and the playhead then.
struct Shown {
    int frame;
    double playhead;
    qint64 ms;
};

struct Fixture {
    TimelinePlayer *player = new TimelinePlayer;
    VideoPlayerService service{player};
    std::vector<Shown> shown;
    QElapsedTimer wall;

    Fixture()
    {
        wall.start();
        QObject::connect(player, &PreviewPlayer::frameChanged, [this] {
            shown.push_back({frameNumberOf(player->currentFrame()), service.clock()->playheadTime(), wall.elapsed()});
        });
    }

    bool load(const VideoTimelineSnapshot &timeline)
    {
        service.loadTimeline(timeline);
        return waitFor([&] { return service.isMetadataReady() && !service.isSeeking(); }, 10000);
    }

    bool seek(double t)
    {
        service.seek(t);
        return waitFor([&] { return !service.isSeeking(); });
    }

    // Plays until `stop` holds or play ends; then pauses and lets the picture settle.
    template <typename Stop>
    bool playUntil(Stop stop)
    {
        shown.clear();
        service.play();
        const bool ok = waitFor([&] { return stop() || !service.wantsToPlay(); }, 15000);
        service.pause();
        waitFor([&] { return !service.isSeeking(); });
        waitFor([] { return false; }, 300);
        return ok;
    }

    int frameOnScreen() const { return frameNumberOf(player->currentFrame()); }
};

std::string listed(const std::vector<Shown> &shown)
{
    std::string s;
    for (const Shown &e : shown)
        s += std::to_string(e.frame) + "@" + std::to_string(e.playhead).substr(0, 5) + " ";
    return s;
}

} // namespace

TEST(PlayerFrames, NoFrameOutsideThePieceIsShownAndTheEndRestsOnTheLastFrame)
{
    ASSERT_FALSE(clips().a.isEmpty());
    Fixture f;
    VideoTimelineSnapshot s;
    s.sources = {source(clips().a)};
    // 0..2 from 0..2, then a gap, then 2.5..3.5 from 3..4, then 3.5..4.5 from 1..2.
    s.segments = {cut(s.sources[0], 0, 2, 0), cut(s.sources[0], 3, 4, 2.5), cut(s.sources[0], 1, 2, 3.5)};
    ASSERT_TRUE(f.load(s));

    ASSERT_TRUE(f.seek(1.5));
    ASSERT_TRUE(f.playUntil([] { return false; }));
    ASSERT_FALSE(f.shown.empty());
    for (const Shown &e : f.shown) {
        const bool inFirst = e.frame >= 45 && e.frame <= 59;
        const bool inSecond = e.frame >= 90 && e.frame <= 119;
        const bool inThird = e.frame >= 30 && e.frame <= 59 && e.playhead >= 3.4;
        EXPECT_TRUE(e.frame == -1 || inFirst || inSecond || inThird) << "frame " << e.frame << " at " << e.playhead
                                                                     << "\n" << listed(f.shown);
    }
    // Played to the end: the last frame of the last piece.
    EXPECT_EQ(f.frameOnScreen(), 59);

    // One piece cut to 0..3: the end rests on frame 89.
    VideoTimelineSnapshot one;
    one.sources = {source(clips().a)};
    one.segments = {cut(one.sources[0], 0, 3, 0)};
    ASSERT_TRUE(f.load(one));
    ASSERT_TRUE(f.seek(2.3));
    ASSERT_TRUE(f.playUntil([] { return false; }));
    for (const Shown &e : f.shown)
        EXPECT_LE(e.frame, 89) << listed(f.shown);
    EXPECT_EQ(f.frameOnScreen(), 89);

    // Paused just before the cut at 2: the picture is the playhead's frame, not one beyond.
    ASSERT_TRUE(f.load(s));
    ASSERT_TRUE(f.seek(1.7));
    ASSERT_TRUE(f.playUntil([&] { return f.service.clock()->playheadTime() >= 1.96; }));
    const double playhead = f.service.clock()->playheadTime();
    if (playhead < 2.0) {
        EXPECT_LE(f.frameOnScreen(), 59);
        EXPECT_NEAR(f.frameOnScreen(), std::floor(playhead * 30), 1) << playhead;
    }
}

TEST(PlayerFrames, CutBetweenFilesWithAThirdPieceNeitherStallsNorLeavesThePictureBehind)
{
    ASSERT_FALSE(clips().b.isEmpty());
    ASSERT_FALSE(clips().sound.isEmpty());
    for (const QString &b : {clips().b, clips().sound}) {
        Fixture f;
        VideoTimelineSnapshot s;
        s.sources = {source(clips().a), source(b)};
        // A 0..2 at 0, B 1..3 at 2, A 4..5 at 4.
        s.segments = {cut(s.sources[0], 0, 2, 0), cut(s.sources[1], 1, 3, 2), cut(s.sources[0], 4, 5, 4)};
        ASSERT_TRUE(f.load(s));
        ASSERT_TRUE(f.seek(1.6));
        ASSERT_TRUE(f.playUntil([&] { return f.service.clock()->playheadTime() >= 2.8; }));

        // Across the cut: B's pictures follow the playhead, within a few frames.
        qint64 longestStill = 0;
        int worstOffset = 0;
        for (size_t i = 1; i < f.shown.size(); ++i) {
            const Shown &e = f.shown[i];
            if (e.playhead < 2.0 || e.playhead > 2.7)
                continue;
            longestStill = std::max(longestStill, e.ms - f.shown[i - 1].ms);
            const int expected = int(std::floor((e.playhead - 2 + 1) * 30));
            worstOffset = std::max(worstOffset, std::abs(e.frame - expected));
        }
        RecordProperty("longestStillMs", int(longestStill));
        std::printf("cut A->B (%s): longest still picture %lld ms, largest offset %d frames\n",
                    qPrintable(QFileInfo(b).fileName()), (long long)longestStill, worstOffset);
        EXPECT_LE(worstOffset, 3) << listed(f.shown);

        // Paused right after the cut: the picture is where the playhead is.
        ASSERT_TRUE(f.seek(1.8));
        ASSERT_TRUE(f.playUntil([&] { return f.service.clock()->playheadTime() >= 2.05; }));
        const double playhead = f.service.clock()->playheadTime();
        ASSERT_LT(playhead, 4.0);
        const int expected = int(std::floor((playhead < 2 ? playhead : playhead - 2 + 1) * 30));
        EXPECT_NEAR(f.frameOnScreen(), expected, 1) << "playhead " << playhead << "\n" << listed(f.shown);
    }
}
