#include "timeline/videoplayerservice.h"

#include "playerscriptedplayer.h"
#include "support/clipgenerator.h"
#include "support/waitfor.h"
#include "support/timelinefixtures.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace routereel;
using testsupport::waitFor;
using Status = PreviewPlayer::ItemStatus;

namespace {

// One whole 1920 x 1080 clip at 0: played directly, so no file is read.
VideoTimelineSnapshot wholeClip(double seconds, const QString &path = QStringLiteral("/clips/a.mov"))
{
    VideoTimelineSnapshot s;
    s.sources = {testsupport::source(seconds, 1920, 1080, true, path)};
    s.segments = {testsupport::cut(s.sources[0], 0, seconds, 0)};
    return s;
}

struct Fixture {
    ScriptedPlayer *player = new ScriptedPlayer;
    VideoPlayerService service{player};
    double now = 100;

    Fixture()
    {
        service.setUptimeSource([this] { return now; });
    }
    PlaybackClock &clock() { return *service.clock(); }

    // Whether the player has had `count` items installed, waiting for the background plan.
    bool installed(int count)
    {
        return waitFor([&] { return player->replaceCount >= count; });
    }
    // Loads `snapshot` and lets the player report it ready; the ready handler's seek is left pending.
    void loadReady(const VideoTimelineSnapshot &snapshot)
    {
        const int before = player->replaceCount;
        service.loadTimeline(snapshot);
        ASSERT_TRUE(installed(before + 1));
        player->settle(Status::readyToPlay);
    }
    // The same, with the ready handler's seek completed.
    void loadSettled(const VideoTimelineSnapshot &snapshot)
    {
        loadReady(snapshot);
        if (!::testing::Test::HasFatalFailure())
            player->completeSeek();
    }
    // Lets the overlay clock tick once at uptime `at`.
    void overlayTickAt(double at)
    {
        now = at;
        int ticks = 0;
        const auto c = QObject::connect(service.clock(), &PlaybackClock::playheadTimeChanged, [&] { ++ticks; });
        EXPECT_TRUE(waitFor([&] { return ticks > 0; }, 1000));
        QObject::disconnect(c);
    }
};

} // namespace

TEST(VideoPlayerService, OverlayClockRunsFromLowerBoundAndStopsExactlyAtUpper)
{
    Fixture f;
    f.clock().setPlayheadTime(2);
    f.service.loadOverlayOnly(std::pair{5.0, 20.0}, QSizeF(1280, 720));
    EXPECT_EQ(f.clock().playheadTime(), 5);
    EXPECT_EQ(f.clock().currentTime(), 5);
    EXPECT_EQ(f.service.duration(), 20);
    EXPECT_TRUE(f.service.isLoaded());
    EXPECT_TRUE(f.service.isMetadataReady());
    EXPECT_EQ(f.service.videoResolution(), QSizeF(1280, 720));

    f.service.play();
    EXPECT_TRUE(f.service.isPlaying());
    EXPECT_TRUE(f.service.wantsToPlay());
    f.overlayTickAt(103.5);
    EXPECT_DOUBLE_EQ(f.clock().playheadTime(), 8.5);
    EXPECT_DOUBLE_EQ(f.clock().currentTime(), 8.5);

    // A seek below the range while running: the clock goes on from there.
    f.service.seek(1);
    EXPECT_EQ(f.clock().playheadTime(), 1);
    f.overlayTickAt(104);
    EXPECT_DOUBLE_EQ(f.clock().playheadTime(), 1.5);

    f.overlayTickAt(500);
    EXPECT_EQ(f.clock().playheadTime(), 20);
    EXPECT_FALSE(f.service.isPlaying());
    EXPECT_FALSE(f.service.wantsToPlay());
    f.service.play(); // at the end: refused
    EXPECT_FALSE(f.service.isPlaying());
    EXPECT_TRUE(f.player->seeks.empty());
    EXPECT_EQ(f.player->currentItem(), 0u);
}

TEST(VideoPlayerService, OverlayRangeChangesAndEmptyRanges)
{
    Fixture f;
    f.clock().setPlayheadTime(2);
    f.service.loadOverlayOnly(std::pair{5.0, 20.0}, QSizeF(1280, 720));
    ASSERT_EQ(f.clock().playheadTime(), 5);

    // The same range and canvas again changes nothing at all.
    int duration = 0;
    QObject::connect(&f.service, &VideoPlayerService::durationChanged, [&] { ++duration; });
    f.service.loadOverlayOnly(std::pair{5.0, 20.0}, QSizeF(1280, 720));
    EXPECT_EQ(duration, 0);

    // A new range leaves the playhead alone; play raises it to the lower bound.
    f.service.loadOverlayOnly(std::pair{30.0, 40.0}, QSizeF(1280, 720));
    EXPECT_EQ(f.clock().playheadTime(), 5);
    f.service.play();
    EXPECT_EQ(f.clock().playheadTime(), 30);
    EXPECT_TRUE(f.service.isPlaying());

    // No range: nothing to play, and an unusable canvas falls back to 1920 x 1080.
    f.service.loadOverlayOnly(std::nullopt, QSizeF(0.5, 720));
    EXPECT_FALSE(f.service.isPlaying());
    EXPECT_EQ(f.service.duration(), 0);
    EXPECT_FALSE(f.service.isLoaded());
    EXPECT_EQ(f.clock().playheadTime(), 0);
    EXPECT_EQ(f.clock().currentTime(), 0);
    EXPECT_EQ(f.service.videoResolution(), QSizeF(1920, 1080));
    f.service.play();
    EXPECT_FALSE(f.service.isPlaying());
    EXPECT_FALSE(f.service.wantsToPlay());
}

TEST(VideoPlayerService, NearEndRuleInBothModes)
{
    struct Case {
        bool overlay;
        double duration;
        double playhead;
        bool plays;
    };
    const Case cases[] = {
        {true, 10, 9.96, false}, {true, 10, 9.94, true}, {false, 10, 9.96, false},
        {false, 10, 9.94, true}, {true, 0, 0, false /* nothing loaded */},
    };
    for (const Case &c : cases) {
        Fixture f;
        if (c.overlay) {
            f.service.loadOverlayOnly(std::pair{0.0, c.duration}, QSizeF(1920, 1080));
        } else {
            f.loadSettled(wholeClip(c.duration));
        }
        f.service.seek(c.playhead);
        if (!c.overlay)
            f.player->completeSeek();
        f.service.play();
        EXPECT_EQ(f.service.wantsToPlay(), c.plays) << c.overlay << " " << c.playhead;
        EXPECT_EQ(f.service.isPlaying(), c.plays) << c.overlay << " " << c.playhead;
    }
}

TEST(VideoPlayerService, IsPlayingFollowsWhatThePlayerReportsInAnyOrder)
{
    struct Case {
        const char *answer;
        std::function<void(ScriptedPlayer &)> onPlay;
        bool playing; // right after play
        bool wants;
    };
    const Case cases[] = {
        {"runs", [](ScriptedPlayer &p) { p.setPlaying(true); }, true, true},
        {"reports the end at once", [](ScriptedPlayer &p) { emit p.playedToEnd(p.item); }, false, false},
        {"runs and ends at once", [](ScriptedPlayer &p) { p.setPlaying(true); p.reachEnd(); }, false, false},
        {"ends, then says it stopped", [](ScriptedPlayer &p) { emit p.playedToEnd(p.item); p.setPlaying(false); },
         false, false},
        {"starts later", [](ScriptedPlayer &) {}, false, true},
    };
    for (const Case &c : cases) {
        Fixture f;
        f.loadSettled(wholeClip(10));
        f.player->onPlay = [&] { c.onPlay(*f.player); };
        f.service.play();
        EXPECT_EQ(f.service.isPlaying(), c.playing) << c.answer;
        EXPECT_EQ(f.service.wantsToPlay(), c.wants) << c.answer;
        if (c.wants) { // a late report counts too
            f.player->setPlaying(true);
            EXPECT_TRUE(f.service.isPlaying()) << c.answer;
        }
    }
}

TEST(VideoPlayerService, SeekClampsAndScrubOutsideMovesOnlyThePlayhead)
{
    Fixture f;
    f.loadSettled(wholeClip(10));
    const size_t seeks = f.player->seeks.size();

    f.service.scrub(-1);
    EXPECT_EQ(f.clock().playheadTime(), -1);
    EXPECT_EQ(f.player->seeks.size(), seeks);
    f.service.scrub(12);
    EXPECT_EQ(f.clock().playheadTime(), 12);
    EXPECT_EQ(f.player->seeks.size(), seeks);

    f.service.seek(-1);
    EXPECT_EQ(f.clock().playheadTime(), 0);
    ASSERT_EQ(f.player->seeks.size(), seeks + 1);
    EXPECT_EQ(f.player->seeks.back().seconds, 0);
    f.service.seek(25);
    EXPECT_EQ(f.clock().playheadTime(), 10);
    EXPECT_EQ(f.player->seeks.back().seconds, 10);
    f.service.scrub(4);
    EXPECT_EQ(f.player->seeks.back().seconds, 4);
}

TEST(VideoPlayerService, PlayWhileLoadingStartsAfterTheReadySeek)
{
    Fixture f;
    f.clock().setPlayheadTime(3);
    f.service.loadTimeline(wholeClip(10));
    f.service.play();
    EXPECT_TRUE(f.service.wantsToPlay());
    EXPECT_FALSE(f.service.isPlaying());
    ASSERT_TRUE(f.installed(1));
    EXPECT_TRUE(f.player->installedPlan->isDirect());
    EXPECT_FALSE(f.player->playing);

    f.player->settle(Status::readyToPlay);
    EXPECT_TRUE(f.service.isLoaded());
    ASSERT_EQ(f.player->seeks.size(), 1u);
    EXPECT_EQ(f.player->seeks[0].seconds, 3);
    EXPECT_TRUE(f.service.isSeeking());
    EXPECT_FALSE(f.player->playing);

    f.player->completeSeek();
    EXPECT_FALSE(f.service.isSeeking());
    EXPECT_EQ(f.clock().currentTime(), 3);
    EXPECT_TRUE(f.player->playing);
    EXPECT_TRUE(f.service.isPlaying());
}

TEST(VideoPlayerService, StaleSeekCompletionsAreDropped)
{
    Fixture f;
    f.loadSettled(wholeClip(10));
    f.service.play();
    ASSERT_TRUE(f.player->playing);

    f.service.seek(2);
    f.service.seek(7);
    EXPECT_FALSE(f.player->playing); // seeking pauses the player, not the intent
    EXPECT_TRUE(f.service.wantsToPlay());
    const size_t n = f.player->seeks.size();
    f.player->completeSeek(int(n) - 2);
    EXPECT_TRUE(f.service.isSeeking());
    EXPECT_FALSE(f.player->playing);
    f.player->completeSeek(int(n) - 1);
    EXPECT_FALSE(f.service.isSeeking());
    EXPECT_EQ(f.clock().currentTime(), 7);
    EXPECT_TRUE(f.player->playing);

    // A completion for an item that is no longer current is dropped too.
    f.service.seek(4);
    f.player->replaceItem(std::nullopt);
    f.player->completeSeek();
    EXPECT_TRUE(f.service.isSeeking());
}

TEST(VideoPlayerService, PeriodicTimesMoveThePlayheadOnlyWhilePlaying)
{
    Fixture f;
    f.service.loadTimeline(wholeClip(10));
    ASSERT_TRUE(f.installed(1));
    f.player->tick(1); // not ready yet: ignored
    EXPECT_EQ(f.clock().currentTime(), 0);
    f.player->settle(Status::readyToPlay);
    f.player->tick(1); // seeking: ignored
    EXPECT_EQ(f.clock().currentTime(), 0);
    f.player->completeSeek();

    f.player->tick(2);
    EXPECT_EQ(f.clock().currentTime(), 2);
    EXPECT_EQ(f.clock().playheadTime(), 0);
    f.service.play();
    f.player->tick(2.5);
    EXPECT_EQ(f.clock().playheadTime(), 2.5);
    f.player->tick(std::numeric_limits<double>::infinity());
    EXPECT_EQ(f.clock().currentTime(), 2.5);

    // Playing to the end pauses; play is refused until the playhead moves back.
    f.player->tick(9.99);
    f.player->reachEnd();
    EXPECT_FALSE(f.service.isPlaying());
    EXPECT_FALSE(f.service.wantsToPlay());
    f.service.play();
    EXPECT_FALSE(f.service.wantsToPlay());
}

TEST(VideoPlayerService, EqualSnapshotIsNotReloadedEvenAfterFailure)
{
    Fixture f;
    const VideoTimelineSnapshot snapshot = wholeClip(10, QStringLiteral("/clips/broken.mp4"));
    f.service.loadTimeline(snapshot);
    ASSERT_TRUE(f.installed(1));
    f.service.play();
    f.player->settle(Status::failed);
    EXPECT_EQ(f.service.loadingError(), QStringLiteral("Cannot load video: broken.mp4"));
    EXPECT_FALSE(f.service.wantsToPlay());
    EXPECT_FALSE(f.service.isLoaded());

    f.service.loadTimeline(snapshot);
    QCoreApplication::processEvents();
    EXPECT_EQ(f.player->replaceCount, 1);
    EXPECT_FALSE(f.service.loadingError().isEmpty());

    // The player's own reason wins over the generic message.
    VideoTimelineSnapshot other = wholeClip(10, QStringLiteral("/clips/other.mp4"));
    f.service.loadTimeline(other);
    EXPECT_TRUE(f.service.loadingError().isEmpty());
    ASSERT_TRUE(f.installed(2));
    f.player->settle(Status::failed, QStringLiteral("Could not decode"));
    EXPECT_EQ(f.service.loadingError(), QStringLiteral("Could not decode"));
}

TEST(VideoPlayerService, RebuildKeepsPlayheadAndResumesPlayback)
{
    Fixture f;
    f.loadSettled(wholeClip(20));
    f.service.seek(12);
    f.player->completeSeek();
    f.service.play();
    ASSERT_TRUE(f.player->playing);

    // A shorter timeline while playing: pauses at once, the intent stays.
    f.service.loadTimeline(wholeClip(8));
    EXPECT_FALSE(f.player->playing);
    EXPECT_FALSE(f.service.isPlaying());
    EXPECT_TRUE(f.service.wantsToPlay());
    EXPECT_FALSE(f.service.isMetadataReady());
    EXPECT_TRUE(f.service.isLoaded());
    EXPECT_EQ(f.service.duration(), 8);
    EXPECT_EQ(f.clock().playheadTime(), 12);

    ASSERT_TRUE(f.installed(2));
    f.player->settle(Status::readyToPlay);
    EXPECT_EQ(f.player->seeks.back().seconds, 8);
    f.player->completeSeek();
    EXPECT_EQ(f.clock().currentTime(), 8);
    EXPECT_EQ(f.clock().playheadTime(), 12);
    // The seek completion honours the intent, but 12 is past the end: refused.
    EXPECT_FALSE(f.player->playing);

    // Results of a load that a reset overtook change nothing.
    f.service.loadTimeline(wholeClip(30));
    f.service.reset();
    QThread::msleep(50);
    QCoreApplication::processEvents();
    EXPECT_EQ(f.player->replaceCount, 3); // the reset's removal only
    EXPECT_EQ(f.player->currentItem(), 0u);
    EXPECT_EQ(f.service.duration(), 0);
    EXPECT_EQ(f.clock().playheadTime(), 0);
    EXPECT_FALSE(f.service.isLoaded());
}

TEST(VideoPlayerService, SnapshotsWithoutAnythingToPlayReset)
{
    Fixture f;
    f.loadReady(wholeClip(10));
    VideoTimelineSnapshot unused = wholeClip(10);
    unused.segments.clear();
    f.service.loadTimeline(unused);
    EXPECT_EQ(f.service.duration(), 0);
    EXPECT_FALSE(f.service.isLoaded());
    EXPECT_FALSE(f.service.timelineSnapshot().has_value());
    EXPECT_EQ(f.player->currentItem(), 0u);
}

TEST(VideoPlayerService, AudioOnlyFileCannotBeLoaded)
{
    QTemporaryDir dir;
    const QString audio = testsupport::makeAudioOnly(dir.path(), QStringLiteral("x.m4a"), 2);
    ASSERT_FALSE(audio.isEmpty());
    Fixture f;
    VideoTimelineSnapshot s = wholeClip(2, audio);
    s.segments[0].offset = 1; // composed, so the file's tracks are read
    f.service.loadTimeline(s);
    ASSERT_TRUE(waitFor([&] { return !f.service.loadingError().isEmpty(); }));
    EXPECT_EQ(f.service.loadingError(), QStringLiteral("Cannot load video: x.m4a"));
    EXPECT_EQ(f.player->replaceCount, 0);
}

TEST(VideoPlayerService, WantsToPlayAnnouncesEachChange)
{
    Fixture f;
    QList<bool> seen;
    QObject::connect(&f.service, &VideoPlayerService::wantsToPlayChanged,
                     [&] { seen.append(f.service.wantsToPlay()); });
    f.service.loadTimeline(wholeClip(10));
    f.service.play();  // wanted while the item still loads
    f.service.play();
    ASSERT_TRUE(f.installed(1));
    f.player->settle(Status::readyToPlay);
    f.player->completeSeek();
    EXPECT_TRUE(f.player->playing);
    f.player->reachEnd();
    EXPECT_EQ(seen, (QList<bool>{true, false}));

    f.service.loadOverlayOnly(std::pair{0.0, 5.0}, QSizeF(1920, 1080));
    f.service.play();
    f.service.pause();
    f.service.pause();
    EXPECT_EQ(seen, (QList<bool>{true, false, true, false}));
}

// A clip's sound that cannot be read is told as a load failure while the picture
// plays on; one told by a player whose item was replaced since is dropped, and a
// failed item does not start when Play comes again.
TEST(VideoPlayerService, SoundThatCannotBeReadIsToldWhileThePicturePlays)
{
    Fixture f;
    f.loadSettled(wholeClip(10));
    f.service.play();
    ASSERT_TRUE(f.service.isPlaying());
    emit f.player->soundFailed(QStringLiteral("Cannot read video file a.mov: its sound cannot be decoded"));
    EXPECT_EQ(f.service.loadingError(), QStringLiteral("Cannot read video file a.mov: its sound cannot be decoded"));
    EXPECT_TRUE(f.service.isPlaying());
    EXPECT_TRUE(f.service.wantsToPlay());

    f.service.reset();
    emit f.player->soundFailed(QStringLiteral("late"));
    EXPECT_TRUE(f.service.loadingError().isEmpty());

    f.loadReady(wholeClip(10, QStringLiteral("/clips/b.mov")));
    f.player->settle(Status::failed);
    f.service.play();
    EXPECT_FALSE(f.service.wantsToPlay());
    EXPECT_FALSE(f.service.isPlaying());
}
