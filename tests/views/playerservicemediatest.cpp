#include "timeline/videoplayerservice.h"
#include "timeline/timelineplayer.h"

#include "support/clipgenerator.h"
#include "support/timelinefixtures.h"
#include "mediatestutil.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace routereel;
using testsupport::cut;
using mediatest::centreColour;
using mediatest::near;
using testsupport::waitFor;

namespace {

// red.mp4: 2 s red with sound. twotone.mp4: 3 s without sound, blue until 1.5 s, then green.
struct Clips {
    QTemporaryDir dir;
    QString red;
    QString twoTone;
    QString audioOnly;
};

const Clips &clips()
{
    static const Clips c = [] {
        Clips made;
        testsupport::ClipSpec red;
        red.color = QColor(255, 0, 0);
        made.red = testsupport::makeClip(made.dir.path(), QStringLiteral("red.mp4"), red);
        made.twoTone = made.dir.filePath(QStringLiteral("twotone.mp4"));
        if (!testsupport::runFfmpeg(mediatest::ffmpegArgs(
                "-f lavfi -i color=c=blue:s=320x240:r=30:d=1.5 -f lavfi -i color=c=lime:s=320x240:r=30:d=1.5 "
                "-filter_complex [0:v][1:v]concat=n=2:v=1 -c:v libx264 -preset ultrafast -pix_fmt yuv420p",
                made.twoTone)))
            made.twoTone.clear();
        made.audioOnly = testsupport::makeAudioOnly(made.dir.path(), QStringLiteral("x.m4a"), 2);
        return made;
    }();
    return c;
}

// red 0..2 from its start, black 2..3, twotone 3..5.5 from 0.5 s into it.
VideoTimelineSnapshot twoClipTimeline()
{
    VideoTimelineSnapshot s;
    s.sources = {VideoSource::probe(QUrl::fromLocalFile(clips().red), QUuid::createUuid()),
                 VideoSource::probe(QUrl::fromLocalFile(clips().twoTone), QUuid::createUuid())};
    s.segments = {cut(s.sources[0], 0, 2, 0), cut(s.sources[1], 0.5, 3, 3)};
    return s;
}

struct Fixture {
    TimelinePlayer *player = new TimelinePlayer;
    VideoPlayerService service{player};

    bool seekAndSettle(double t)
    {
        service.seek(t);
        return waitFor([&] { return !service.isSeeking(); });
    }
};

} // namespace

TEST(PlayerServiceMedia, SeeksShowTheRightClipAtTheRightSourceTimeAndBlackInGaps)
{
    ASSERT_FALSE(clips().red.isEmpty());
    ASSERT_FALSE(clips().twoTone.isEmpty());
    Fixture f;
    int frames = 0;
    QObject::connect(f.player, &PreviewPlayer::frameChanged, [&] { ++frames; });
    f.service.loadTimeline(twoClipTimeline());
    ASSERT_TRUE(waitFor([&] { return f.service.isMetadataReady() || !f.service.loadingError().isEmpty(); }));
    ASSERT_TRUE(f.service.loadingError().isEmpty()) << f.service.loadingError().toStdString();
    EXPECT_DOUBLE_EQ(f.service.duration(), 5.5);
    EXPECT_EQ(f.service.videoResolution(), QSizeF(320, 240));
    ASSERT_TRUE(waitFor([&] { return !f.service.isSeeking(); }));
    EXPECT_GT(frames, 0);

    struct Case {
        double t;
        std::optional<QColor> colour; // none: black gap, no picture
    };
    const Case cases[] = {
        {3.2, QColor(0, 0, 255)}, // 0.7 s into twotone
        {4.5, QColor(0, 255, 0)}, // 2.0 s into twotone
        {2.5, std::nullopt},
        {1.0, QColor(255, 0, 0)},
        {3.9, QColor(0, 0, 255)}, // 1.4 s into twotone: still blue
        {4.1, QColor(0, 255, 0)}, // 1.6 s: green
    };
    for (const Case &c : cases) {
        ASSERT_TRUE(f.seekAndSettle(c.t)) << c.t;
        EXPECT_DOUBLE_EQ(f.service.clock()->playheadTime(), c.t);
        EXPECT_NEAR(f.service.clock()->currentTime(), c.t, 1e-9);
        if (c.colour)
            EXPECT_TRUE(near(centreColour(*f.player), c.colour->red(), c.colour->green(), c.colour->blue())) << c.t;
        else
            EXPECT_TRUE(f.player->currentFrame().isNull()) << c.t;
    }

    // Scrubbing: a burst of seeks across both clips and the gap ends on the last one.
    for (double t : {0.5, 3.3, 2.4, 4.8, 1.2, 3.1, 4.6, 0.9, 4.2})
        f.service.scrub(t);
    ASSERT_TRUE(waitFor([&] { return !f.service.isSeeking(); }));
    EXPECT_NEAR(f.service.clock()->currentTime(), 4.2, 1e-9);
    EXPECT_TRUE(near(centreColour(*f.player), 0, 255, 0));
}

TEST(PlayerServiceMedia, ReloadOfAnEditedTimelineOnTheSameFilesBecomesReady)
{
    Fixture f;
    VideoTimelineSnapshot timeline = twoClipTimeline();
    f.service.loadTimeline(timeline);
    ASSERT_TRUE(waitFor([&] { return f.service.isMetadataReady(); }));
    ASSERT_TRUE(f.seekAndSettle(4.5));

    // Trimmed: twotone now starts 1.6 s into its file, so 3.2 shows green.
    timeline.segments[1].sourceStart = 1.6;
    f.service.loadTimeline(timeline);
    EXPECT_FALSE(f.service.isMetadataReady());
    ASSERT_TRUE(waitFor([&] { return f.service.isMetadataReady(); }));
    EXPECT_DOUBLE_EQ(f.service.duration(), 4.4);
    ASSERT_TRUE(waitFor([&] { return !f.service.isSeeking(); }));
    EXPECT_DOUBLE_EQ(f.service.clock()->currentTime(), 4.4); // the old playhead, clamped
    ASSERT_TRUE(f.seekAndSettle(3.2));
    EXPECT_TRUE(near(centreColour(*f.player), 0, 255, 0));
}

// The sound server played on past a Pause: the user's playhead goes where the sound
// ended, but never over a seek the user asked for meanwhile.
TEST(PlayerServiceMedia, ThePausedPlayheadFollowsTheSoundThatPlayedOnUnlessSought)
{
    Fixture f;
    f.service.loadTimeline(twoClipTimeline());
    ASSERT_TRUE(waitFor([&] { return f.service.isMetadataReady(); }));
    ASSERT_TRUE(f.seekAndSettle(1.5));
    emit f.player->pausedPlayheadMoved(1.56);
    EXPECT_DOUBLE_EQ(f.service.clock()->playheadTime(), 1.56);
    EXPECT_DOUBLE_EQ(f.service.clock()->currentTime(), 1.56);

    f.service.seek(3.2);
    emit f.player->pausedPlayheadMoved(1.6);
    ASSERT_TRUE(waitFor([&] { return !f.service.isSeeking(); }));
    EXPECT_DOUBLE_EQ(f.service.clock()->playheadTime(), 3.2);
    EXPECT_NEAR(f.service.clock()->currentTime(), 3.2, 1e-9);
}

TEST(PlayerServiceMedia, PlaysAcrossSliceBoundariesWithoutTheClockGoingBack)
{
    Fixture f;
    f.service.loadTimeline(twoClipTimeline());
    ASSERT_TRUE(waitFor([&] { return f.service.isMetadataReady(); }));
    ASSERT_TRUE(f.seekAndSettle(1.5));

    std::vector<double> times;
    QObject::connect(f.service.clock(), &PlaybackClock::currentTimeChanged, [&](double t) { times.push_back(t); });
    bool sawGreen = false;
    QObject::connect(f.player, &PreviewPlayer::frameChanged, [&] {
        sawGreen = sawGreen || near(centreColour(*f.player), 0, 255, 0);
    });
    f.service.play();
    EXPECT_TRUE(f.service.wantsToPlay());
    ASSERT_TRUE(waitFor([&] { return !f.service.wantsToPlay(); }, 15000));
    EXPECT_FALSE(f.service.isPlaying());
    ASSERT_GT(times.size(), 60u);
    for (size_t i = 1; i < times.size(); ++i)
        ASSERT_GE(times[i], times[i - 1]) << "step " << i;
    EXPECT_GT(times.front(), 1.49);
    EXPECT_NEAR(f.service.clock()->playheadTime(), 5.5, 0.05);
    EXPECT_TRUE(sawGreen);

    // At the end: play is refused until the playhead moves back.
    f.service.play();
    EXPECT_FALSE(f.service.isPlaying());
}

TEST(PlayerServiceMedia, AudioOnlyFileIsNoVideo)
{
    ASSERT_FALSE(clips().audioOnly.isEmpty());
    Fixture f;
    // As if it had been taken for a whole clip filling the canvas: played directly.
    VideoSource source;
    source.id = QUuid::createUuid();
    source.url = QUrl::fromLocalFile(clips().audioOnly);
    source.duration = 2;
    source.resolution = QSizeF(1920, 1080);
    VideoTimelineSnapshot s;
    s.sources = {source};
    s.segments = {cut(source, 0, 2, 0)};
    f.service.loadTimeline(s);
    ASSERT_TRUE(waitFor([&] { return !f.service.loadingError().isEmpty(); }));
    EXPECT_EQ(f.service.loadingError(), QStringLiteral("Cannot load video: x.m4a"));
    EXPECT_FALSE(f.service.isMetadataReady());
    f.service.play();
    EXPECT_FALSE(f.service.isPlaying());
}
