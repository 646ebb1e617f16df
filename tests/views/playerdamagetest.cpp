// Damaged clips through the probe and the player: each ends in a message or a played
// clip, never in a wait without end; and what a rebuilt timeline shows in a gap.
#include "media/videotimelineerror.h"
#include "timeline/videoplayerservice.h"
#include "timeline/timelineplayer.h"

#include "randomtimelines.h"
#include "support/clipdamage.h"
#include "support/clipgenerator.h"
#include "support/tickgapprobe.h"
#include "support/timelinefixtures.h"
#include "support/waitfor.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <random>

using namespace routereel;
using testsupport::cut;
using testsupport::Damage;
using testsupport::waitFor;

namespace {

struct Fixture {
    TimelinePlayer *player = new TimelinePlayer;
    VideoPlayerService service{player};

    // Loaded, or failed to: false only when neither came.
    bool load(const VideoTimelineSnapshot &timeline)
    {
        service.loadTimeline(timeline);
        return waitFor([&] { return (service.isMetadataReady() && !service.isSeeking()) || failed(); }, 20000);
    }
    bool seek(double t)
    {
        service.seek(t);
        return waitFor([&] { return !service.isSeeking(); }, 20000);
    }
    bool failed() const { return !service.loadingError().isEmpty(); }
    int frameOnScreen() const { return testsupport::frameNumberOf(player->currentFrame()); }
};

VideoSource source(const QString &file)
{
    return VideoSource::probe(QUrl::fromLocalFile(file), QUuid::createUuid());
}

QString invalid(const QString &file)
{
    return VideoTimelineError::invalidVideo(QFileInfo(file).fileName()).message();
}

} // namespace

// Pictures that decode to nothing, alone or after a healthy piece: "Cannot load
// video", the clock stopped and not playing; the healthy piece plays to the cut.
TEST(PlayerDamage, PicturesThatCannotBeDecodedFailTheLoadAndStopThePlay)
{
    QTemporaryDir dir;
    const QString healthy = testsupport::makeNumberedClip(dir.path(), QStringLiteral("healthy.mp4"), 2);
    const QString zeroed = dir.filePath(QStringLiteral("zeroed.mp4"));
    ASSERT_TRUE(testsupport::damageCopy(healthy, zeroed, Damage::zeroedMedia));
    const VideoSource good = source(healthy), bad = source(zeroed); // the probe reads only the index
    const struct {
        const char *name;
        bool healthyFirst;
    } cases[] = {{"alone", false}, {"after a healthy piece", true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        VideoTimelineSnapshot s;
        s.sources = {good, bad};
        if (c.healthyFirst)
            s.segments = {cut(good, 0, 1, 0), cut(bad, 0, 1, 1)};
        else
            s.segments = {cut(bad, 0, 1.5, 0)};
        ASSERT_TRUE(f.load(s));
        f.service.play();
        ASSERT_TRUE(waitFor([&] { return f.failed() && !f.service.wantsToPlay(); }, 20000))
            << "playhead stays at " << f.service.clock()->playheadTime();
        EXPECT_EQ(f.service.loadingError(), invalid(zeroed));
        EXPECT_FALSE(f.service.isPlaying());
        if (c.healthyFirst)
            EXPECT_NEAR(f.service.clock()->playheadTime(), 1, 0.1) << "the healthy piece plays to the cut";
        const double stopped = f.service.clock()->playheadTime();
        f.service.play(); // a failed item does not start again
        waitFor([] { return false; }, 200);
        EXPECT_FALSE(f.service.isPlaying());
        EXPECT_FALSE(f.service.wantsToPlay());
        EXPECT_EQ(f.service.clock()->playheadTime(), stopped);
    }
}

// Sound that cannot be decoded (AAC naming an object type libavcodec lacks) is told
// by name while the picture plays on. Sound is decoded only for a device.
TEST(PlayerDamage, SoundThatCannotBeDecodedIsToldWhileThePicturePlays)
{
    QTemporaryDir dir;
    const QString clip = testsupport::makeClip(dir.path(), QStringLiteral("sound.mp4"), {.seconds = 3, .color = QColor()});
    const QString celp = dir.filePath(QStringLiteral("celp.mp4"));
    ASSERT_TRUE(testsupport::damageCopy(clip, celp, Damage::unknownSoundType));
    const VideoSource probed = source(celp);
    Fixture f;
    VideoTimelineSnapshot s;
    s.sources = {probed};
    s.segments = {cut(probed, 0, 3, 0)};
    ASSERT_TRUE(f.load(s));
    int frames = 0;
    QObject::connect(f.player, &PreviewPlayer::frameChanged, [&] { ++frames; });
    f.service.play();
    ASSERT_TRUE(waitFor([&] { return f.failed(); }, 10000));
    EXPECT_TRUE(f.service.loadingError().contains(QStringLiteral("celp.mp4"))) << f.service.loadingError().toStdString();
    const int before = frames;
    EXPECT_TRUE(waitFor([&] { return frames > before + 5 || !f.service.wantsToPlay(); }, 10000));
    EXPECT_GT(frames, 5) << "the picture plays on";
}

// Damage drawn at random: each file ends in the probe's or the player's message, or
// in a clip played to its end; every wait is bounded.
TEST(PlayerDamage, RandomDamageEndsInAMessageOrAPlayedClip)
{
    QTemporaryDir dir;
    const QString clip = testsupport::makeClip(dir.path(), QStringLiteral("base.mp4"),
                                               {.seconds = 2, .color = QColor(), .indexAtFront = true});
    ASSERT_FALSE(clip.isEmpty());
    const unsigned seed = randomtimelines::seed();
    std::mt19937 random(seed);
    const Damage kinds[] = {Damage::truncated,  Damage::zeroedIndexPart,  Damage::garbageInMedia,
                            Damage::noKeyframe, Damage::unknownSoundType, Damage::zeroedMedia};
    int messages = 0, played = 0;
    for (int i = 0; i < 10; ++i) {
        const Damage damage = kinds[random() % std::size(kinds)];
        const unsigned at = random();
        SCOPED_TRACE(testing::Message() << "seed " << seed << ", damage " << int(damage) << " drawn " << at);
        const QString file = dir.filePath(QStringLiteral("damaged%1.mp4").arg(i));
        ASSERT_TRUE(testsupport::damageCopy(clip, file, damage, at));
        VideoSource probed;
        try {
            probed = source(file);
        } catch (const QException &) {
            ++messages; // the import tells why
            continue;
        }
        Fixture f;
        VideoTimelineSnapshot s;
        s.sources = {probed};
        s.segments = {cut(probed, 0, probed.duration, 0)};
        ASSERT_TRUE(f.load(s));
        if (!f.failed()) {
            ASSERT_TRUE(f.seek(probed.duration / 2));
            ASSERT_TRUE(f.seek(0));
            f.service.play();
            ASSERT_TRUE(waitFor([&] { return !f.service.wantsToPlay(); }, int(probed.duration * 4000) + 20000))
                << "playhead stays at " << f.service.clock()->playheadTime();
        }
        EXPECT_FALSE(f.service.isPlaying());
        if (f.failed())
            ++messages;
        else if (f.service.clock()->playheadTime() >= probed.duration - 0.1)
            ++played;
        else
            ADD_FAILURE() << "stopped at " << f.service.clock()->playheadTime() << " without a message";
    }
    std::printf("%d messages, %d played\n", messages, played);
}

// The playhead in a gap when the timeline is rebuilt (a project opened there, the
// piece under it deleted): black, not the picture at the timeline's start.
TEST(PlayerDamage, AGapAtThePlayheadStaysBlackAfterARebuild)
{
    QTemporaryDir dir;
    const QString a = testsupport::makeNumberedClip(dir.path(), QStringLiteral("a.mp4"), 3);
    ASSERT_FALSE(a.isEmpty());
    const VideoSource clip = source(a);
    const struct {
        const char *name;
        QList<VideoSegment> before, after;
    } cases[] = {
        {"playhead in a gap", {cut(clip, 0, 1, 0), cut(clip, 2, 3, 2)}, {cut(clip, 0, 1, 0), cut(clip, 2, 3, 2.2)}},
        {"piece under it deleted",
         {cut(clip, 0, 1, 0), cut(clip, 1, 2, 1), cut(clip, 2, 3, 2)},
         {cut(clip, 0, 1, 0), cut(clip, 2, 3, 2)}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        VideoTimelineSnapshot s;
        s.sources = {clip};
        s.segments = c.before;
        ASSERT_TRUE(f.load(s));
        ASSERT_TRUE(f.seek(1.5));
        s.segments = c.after;
        ASSERT_TRUE(f.load(s));
        ASSERT_FALSE(f.failed());
        waitFor([] { return false; }, 800); // a late picture would have come by now
        EXPECT_DOUBLE_EQ(f.service.clock()->playheadTime(), 1.5);
        EXPECT_TRUE(f.player->currentFrame().isNull()) << "picture " << f.frameOnScreen();
    }
}

// 300 pieces of two short clips, one after another: loaded, sought and played across
// cuts without the window's thread held up, each picture of its own piece.
TEST(PlayerDamage, AProjectOfThreeHundredPiecesPlaysAcrossItsCuts)
{
    QTemporaryDir dir;
    const QString a = testsupport::makeNumberedClip(dir.path(), QStringLiteral("a.mp4"), 4, false, 160, 90);
    const QString b = testsupport::makeNumberedClip(dir.path(), QStringLiteral("b.mp4"), 4, true, 160, 90);
    ASSERT_FALSE(a.isEmpty());
    ASSERT_FALSE(b.isEmpty());
    const VideoSource sa = source(a), sb = source(b);
    VideoTimelineSnapshot s;
    s.sources = {sa, sb};
    // Piece k: 0.1 s from second (k % 30) / 10 of clip a (even k) or b (odd k).
    for (int k = 0; k < 300; ++k)
        s.segments << cut(k % 2 ? sb : sa, (k % 30) / 10.0, (k % 30) / 10.0 + 0.1, k / 10.0);
    Fixture f;
    testsupport::TickGapProbe window(10);
    ASSERT_TRUE(f.load(s));
    ASSERT_FALSE(f.failed()) << f.service.loadingError().toStdString();
    EXPECT_DOUBLE_EQ(f.service.duration(), 30);
    ASSERT_TRUE(f.seek(17.05));
    f.service.play();
    ASSERT_TRUE(waitFor([&] { return f.service.clock()->playheadTime() >= 17.6 || !f.service.wantsToPlay(); }, 20000));
    f.service.pause();
    ASSERT_TRUE(waitFor([&] { return !f.service.isSeeking(); }, 20000));
    waitFor([] { return false; }, 300);
    window.stop();
    EXPECT_FALSE(f.failed()) << f.service.loadingError().toStdString();
    const double t = f.service.clock()->playheadTime();
    ASSERT_GE(t, 17.6);
    // The number on screen: frame (k % 30) * 3 + the frames into the piece.
    const int piece = int(t * 10 + 1e-9);
    EXPECT_NEAR(f.frameOnScreen(), (piece % 30) * 3 + std::floor((t - piece / 10.0) * 30 + 1e-6), 1) << "at " << t;
    std::printf("the window's thread held up %.0f ms at most\n", window.longestGapMs());
    EXPECT_LT(window.longestGapMs(), 2000) << "the window's thread held up";
}
