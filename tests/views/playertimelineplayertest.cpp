#include "timeline/previewcomposition.h"
#include "timeline/views/playerview.h"
#include "timeline/timelineplayer.h"

#include "support/clipgenerator.h"
#include "support/timelinefixtures.h"
#include "support/waitfor.h"
#include "mediatestutil.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace routereel;
using mediatest::centreColour;
using mediatest::near;
using mediatest::seekAndWait;
using testsupport::waitFor;

namespace {

struct Clips {
    QTemporaryDir dir;
    QString red;   // 2 s with sound
    QString blue;  // 3 s without sound
};

Clips &clips()
{
    static Clips c = [] {
        Clips made;
        testsupport::ClipSpec red;
        red.seconds = 2;
        red.color = QColor(255, 0, 0);
        made.red = testsupport::makeClip(made.dir.path(), QStringLiteral("red.mp4"), red);
        testsupport::ClipSpec blue;
        blue.seconds = 3;
        blue.audio = false;
        blue.color = QColor(0, 0, 255);
        made.blue = testsupport::makeClip(made.dir.path(), QStringLiteral("blue.mp4"), blue);
        return made;
    }();
    return c;
}

PreviewPiece piece(double start, double length, const QString &file, double sourceStart)
{
    PreviewPiece p;
    p.start = *compositionTicks(start);
    p.length = *compositionTicks(length);
    if (!file.isEmpty()) {
        p.url = QUrl::fromLocalFile(file);
        p.sourceStart = *compositionTicks(sourceStart);
        p.naturalSize = QSizeF(320, 240);
        p.fit = QTransform::fromScale(2, 2);
    }
    return p;
}

} // namespace

TEST(TimelinePlayer, PlaysAcrossBoundariesWithoutStepsBack)
{
    ASSERT_FALSE(clips().red.isEmpty());
    ASSERT_FALSE(clips().blue.isEmpty());
    PreviewPlan plan;
    plan.renderSize = QSizeF(640, 480);
    plan.pieces = {piece(0, 1.5, clips().red, 0.2), piece(1.5, 0.5, {}, 0), piece(2, 1, clips().blue, 1)};

    TimelinePlayer player;
    player.replaceItem(plan);
    ASSERT_TRUE(waitFor([&] { return player.itemStatus() == PreviewPlayer::ItemStatus::readyToPlay; }));
    ASSERT_TRUE(seekAndWait(player, 1.0));

    std::vector<double> times;
    QObject::connect(&player, &PreviewPlayer::periodicTime, [&](double t) { times.push_back(t); });
    bool ended = false;
    QObject::connect(&player, &PreviewPlayer::playedToEnd, [&] { ended = true; });
    player.play();
    ASSERT_TRUE(waitFor([&] { return ended; }, 10000));
    ASSERT_GT(times.size(), 20u);
    for (size_t i = 1; i < times.size(); ++i)
        ASSERT_GE(times[i], times[i - 1]) << "at tick " << i;
    EXPECT_DOUBLE_EQ(times.back(), 3.0);
    EXPECT_FALSE(player.isPlaying());

    // After the end the clip that ran out can be sought and played again.
    ASSERT_TRUE(seekAndWait(player, 2.5));
    EXPECT_TRUE(near(centreColour(player), 0, 0, 255));
    ended = false;
    times.clear();
    player.play();
    ASSERT_TRUE(waitFor([&] { return ended; }, 10000));
    ASSERT_FALSE(times.empty());
    EXPECT_GE(times.front(), 2.5);
    EXPECT_DOUBLE_EQ(times.back(), 3.0);
}

// Phone, square and web widths that leave 4, 8 or 12 over a multiple of 16, played at their
// stored size (no view, or one at least as large): every picture whole, to its right edge.
TEST(TimelinePlayer, ClipsOfEveryWidthPlayWholeAtTheirStoredSize)
{
    QTemporaryDir dir;
    for (const QSize size : {QSize(424, 240), QSize(420, 240), QSize(360, 640)}) {
        SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height());
        testsupport::ClipSpec spec;
        spec.seconds = 1;
        spec.width = size.width();
        spec.height = size.height();
        spec.audio = false;
        spec.color = QColor(0, 0, 255);
        const QString clip = testsupport::makeClip(dir.path(), QStringLiteral("%1.mp4").arg(size.width()), spec);
        ASSERT_FALSE(clip.isEmpty());
        PreviewPiece p = piece(0, 1, clip, 0);
        p.naturalSize = QSizeF(size);
        p.fit = QTransform();
        PreviewPlan plan;
        plan.renderSize = QSizeF(size);
        plan.pieces = {p};

        TimelinePlayer player;
        player.replaceItem(plan);
        ASSERT_TRUE(waitFor([&] { return player.itemStatus() == PreviewPlayer::ItemStatus::readyToPlay; }));
        bool ended = false;
        QObject::connect(&player, &PreviewPlayer::playedToEnd, [&] { ended = true; });
        player.play();
        ASSERT_TRUE(waitFor([&] { return ended; }, 10000));
        ASSERT_TRUE(seekAndWait(player, 0.5));
        const QImage shown = player.currentFrame();
        ASSERT_EQ(shown.size(), size);
        for (int y : {0, size.height() / 2, size.height() - 1})
            EXPECT_TRUE(near(shown.pixelColor(size.width() - 1, y), 0, 0, 255)) << "row " << y;
    }
}

TEST(TimelinePlayer, TurnedClipIsShownUpright)
{
    // Stored 320 x 240 with a blue band along the top, tagged to be shown turned a
    // quarter (as ffmpeg shows it: 240 x 320 with the band on the left).
    QTemporaryDir dir;
    const QString stored = dir.filePath(QStringLiteral("stored.mp4"));
    const QString turned = dir.filePath(QStringLiteral("turned.mp4"));
    ASSERT_TRUE(testsupport::runFfmpeg(mediatest::ffmpegArgs(
        "-f lavfi -i color=c=red:s=320x240:r=30:d=1,drawbox=x=0:y=0:w=320:h=60:color=blue:t=fill -c:v libx264 "
        "-pix_fmt yuv420p",
        stored)));
    const QStringList input{QStringLiteral("-i"), stored};
    ASSERT_TRUE(testsupport::runFfmpeg(input + mediatest::ffmpegArgs("-c copy -metadata:s:v:0 rotate=90", turned)));
    const QUrl url = QUrl::fromLocalFile(turned);
    const ClipTracks tracks = ClipTracks::read(url);
    PreviewPiece p;
    p.length = *compositionTicks(1);
    p.url = url;
    p.naturalSize = tracks.naturalSize;
    p.fit = PreviewComposition::fitTransform(tracks.naturalSize, tracks.preferredTransform, QSizeF(640, 480));
    PreviewPlan plan;
    plan.renderSize = QSizeF(640, 480);
    plan.pieces = {p};

    TimelinePlayer player;
    PlayerView view;
    view.setPlayer(&player);
    view.resize(640, 480);
    player.replaceItem(plan);
    ASSERT_TRUE(waitFor([&] { return player.itemStatus() == PreviewPlayer::ItemStatus::readyToPlay; }));
    ASSERT_TRUE(seekAndWait(player, 0.5));
    ASSERT_FALSE(player.currentFrame().isNull());
    // Upright 240 x 320 scaled by 1.5: x 140 .. 500, the band 140 .. 230.
    const QImage shot = view.grab().toImage();
    EXPECT_TRUE(near(shot.pixelColor(185, 240), 0, 0, 255));
    EXPECT_TRUE(near(shot.pixelColor(185, 20), 0, 0, 255));
    EXPECT_TRUE(near(shot.pixelColor(400, 240), 255, 0, 0));
    EXPECT_TRUE(near(shot.pixelColor(480, 460), 255, 0, 0));
    EXPECT_TRUE(near(shot.pixelColor(100, 240), 0, 0, 0));
    EXPECT_TRUE(near(shot.pixelColor(560, 240), 0, 0, 0));
}

TEST(TimelinePlayer, NonSquarePixelsShowAtTheirDisplayedShapeAloneAndAfterAWideClip)
{
    // 1440 x 1080 with 4:3 pixels, shown 1920 x 1080: a blue band over its left
    // eighth, red elsewhere. Next to it, a 16:9 green clip.
    QTemporaryDir dir;
    const QString hdv = dir.filePath(QStringLiteral("hdv.mp4"));
    ASSERT_TRUE(testsupport::runFfmpeg(mediatest::ffmpegArgs(
        "-f lavfi -i color=c=red:s=1440x1080:r=25:d=2,drawbox=x=0:y=0:w=180:h=1080:color=blue:t=fill,setsar=4/3 "
        "-c:v libx264 -preset veryfast -pix_fmt yuv420p",
        hdv)));
    testsupport::ClipSpec wideSpec;
    wideSpec.width = 1920;
    wideSpec.height = 1080;
    wideSpec.color = QColor(0, 255, 0);
    wideSpec.audio = false;
    const QString wide = testsupport::makeClip(dir.path(), QStringLiteral("wide.mp4"), wideSpec);
    ASSERT_FALSE(wide.isEmpty());
    const VideoSource hdvSource = VideoSource::probe(QUrl::fromLocalFile(hdv), QUuid::createUuid());
    const VideoSource wideSource = VideoSource::probe(QUrl::fromLocalFile(wide), QUuid::createUuid());

    const struct {
        const char *what;
        QList<VideoSegment> segments;
        double at;
    } cases[] = {
        {"alone", {testsupport::cut(hdvSource, 0, 2, 0)}, 1.0},
        {"after a 16:9 clip", {testsupport::cut(wideSource, 0, 2, 0), testsupport::cut(hdvSource, 0, 2, 2)}, 3.0},
    };
    for (const auto &c : cases) {
        VideoTimelineSnapshot snapshot;
        snapshot.sources = {wideSource, hdvSource};
        snapshot.segments = c.segments;
        const auto plan = PreviewComposition::makePlan(snapshot);
        ASSERT_TRUE(plan) << c.what;
        EXPECT_EQ(plan->renderSize, QSizeF(1920, 1080)) << c.what;
        TimelinePlayer player;
        PlayerView view;
        view.setPlayer(&player);
        view.resize(640, 360);
        player.replaceItem(plan);
        ASSERT_TRUE(testsupport::waitFor([&] { return player.itemStatus() == PreviewPlayer::ItemStatus::readyToPlay; }))
            << c.what;
        ASSERT_TRUE(mediatest::seekAndWait(player, c.at)) << c.what;
        ASSERT_FALSE(player.currentFrame().isNull()) << c.what;
        // Filling the view: the band is 80 of 640 pixels wide, red reaches the right edge.
        const QImage shot = view.grab().toImage();
        EXPECT_TRUE(mediatest::near(shot.pixelColor(4, 180), 0, 0, 255)) << c.what;
        EXPECT_TRUE(mediatest::near(shot.pixelColor(70, 180), 0, 0, 255)) << c.what;
        EXPECT_TRUE(mediatest::near(shot.pixelColor(92, 180), 255, 0, 0)) << c.what;
        EXPECT_TRUE(mediatest::near(shot.pixelColor(635, 180), 255, 0, 0)) << c.what;
    }
}

