#include "timeline/previewcomposition.h"
#include "media/videotimelineerror.h"

#include "support/clipgenerator.h"
#include "support/timelinefixtures.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <map>

using namespace routereel;

namespace {

qint64 ticks(double seconds)
{
    return *compositionTicks(seconds);
}

// Track facts by file name, and how often each file was read.
struct FakeClips {
    std::map<QString, ClipTracks> tracks;
    std::map<QString, int> reads;

    PreviewComposition::TrackReader reader()
    {
        return [this](const QUrl &url) {
            ++reads[url.fileName()];
            return tracks.at(url.fileName());
        };
    }
};

ClipTracks clip(QSizeF size, bool audio = true, double audioStart = 0, double audioDuration = 100)
{
    ClipTracks t;
    t.hasVideo = true;
    t.naturalSize = size;
    t.hasAudio = audio;
    t.audioStart = audioStart;
    t.audioDuration = audioDuration;
    return t;
}

VideoSource sourceAt(const QString &name, double duration, QSizeF size = {1920, 1080}, double fps = 30)
{
    VideoSource s = testsupport::source(duration, size.width(), size.height(), true, QStringLiteral("/clips/") + name);
    s.fps = fps;
    return s;
}

QString errorOf(const std::function<void()> &run)
{
    try {
        run();
    } catch (const VideoTimelineError &e) {
        return e.message();
    }
    return QStringLiteral("no error");
}

} // namespace

TEST(PreviewComposition, TimesRoundToTicksHalfAwayFromZero)
{
    const std::pair<double, std::optional<qint64>> cases[] = {
        {0, 0},
        {1, 60000},
        {1.0 / 29.97, 2002},
        {25e-6, 2},              // 1.5 ticks: halves go away from zero
        {-25e-6, -2},
        {0.5 / 60000, 0},        // 8333 ns first, which is just under half a tick
        {-2.25, -135000},
        {std::nan(""), std::nullopt},
        {INFINITY, std::nullopt},
        {1e300, std::nullopt},
    };
    for (const auto &[seconds, expected] : cases)
        EXPECT_EQ(compositionTicks(seconds), expected) << seconds;
}

TEST(PreviewComposition, WholeClipAtCanvasSizePlaysDirectlyOtherwiseComposed)
{
    FakeClips clips;
    clips.tracks["a.mov"] = clip({1920, 1080});
    VideoTimelineSnapshot s;
    s.sources = {sourceAt(QStringLiteral("a.mov"), 10, {1920, 1080}, 29.97)};
    s.segments = {testsupport::cut(s.sources[0], 0, 10, 0)};

    auto plan = PreviewComposition::makePlan(s, clips.reader());
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->directUrl, s.sources[0].url);
    EXPECT_TRUE(plan->pieces.empty());
    EXPECT_EQ(plan->frameDuration, 2002);
    EXPECT_EQ(plan->directDuration, 10);
    EXPECT_EQ(clips.reads["a.mov"], 0);

    // The same clip at 5 s: composed, its piece starts at 5 s.
    s.segments[0].offset = 5;
    plan = PreviewComposition::makePlan(s, clips.reader());
    ASSERT_TRUE(plan);
    EXPECT_FALSE(plan->isDirect());
    ASSERT_EQ(plan->pieces.size(), 1u);
    EXPECT_EQ(plan->pieces[0].start, ticks(5));
    EXPECT_EQ(plan->pieces[0].length, ticks(10));
}

TEST(PreviewComposition, PiecesGapsAndSound)
{
    FakeClips clips;
    clips.tracks["a.mov"] = clip({1920, 1080}, true, 0.5, 100); // sound starts 0.5 s late
    clips.tracks["b.mov"] = clip({1920, 1080}, false);
    clips.tracks["c.mov"] = clip({1920, 1080}, true, 0.25, 3);   // sound ends 3 s after the file's start
    VideoTimelineSnapshot s;
    s.sources = {sourceAt(QStringLiteral("a.mov"), 10), sourceAt(QStringLiteral("b.mov"), 10),
                 sourceAt(QStringLiteral("c.mov"), 10)};
    s.sources[2].startTime = 0.25; // source times count from there
    s.segments = {testsupport::cut(s.sources[0], 0, 5, 0), testsupport::cut(s.sources[1], 2, 4, 8),
                  testsupport::cut(s.sources[2], 2, 6, 10), testsupport::cut(s.sources[0], 6, 7, 14)};

    const auto plan = PreviewComposition::makePlan(s, clips.reader());
    ASSERT_TRUE(plan);
    ASSERT_EQ(plan->pieces.size(), 5u);
    const auto &p = plan->pieces;
    using A = PreviewAudioPiece;
    // a 0..5: silence 0..0.5, then a's sound from 0.5.
    EXPECT_EQ(p[0].url.fileName(), QStringLiteral("a.mov"));
    EXPECT_EQ(p[0].audio, (std::vector<A>{{0, ticks(0.5), std::nullopt}, {ticks(0.5), ticks(4.5), ticks(0.5)}}));
    // The gap 5..8: black and silent.
    EXPECT_TRUE(p[1].isGap());
    EXPECT_EQ(p[1].start, ticks(5));
    EXPECT_EQ(p[1].length, ticks(3));
    EXPECT_EQ(p[1].audio, (std::vector<A>{{ticks(5), ticks(3), std::nullopt}}));
    // b without sound: silence throughout. Its exact times are kept beside the ticks.
    EXPECT_EQ(p[2].sourceStart, ticks(2));
    EXPECT_EQ(p[2].seconds, (PreviewSeconds{8, 10, 2}));
    EXPECT_EQ(p[2].audio, (std::vector<A>{{ticks(8), ticks(2), std::nullopt}}));
    // c from 2 s, its sound ends at 3 s: one second of sound, then silence.
    EXPECT_EQ(p[3].clipStartTime, 0.25);
    EXPECT_EQ(p[3].audio, (std::vector<A>{{ticks(10), ticks(1), ticks(2)}, {ticks(11), ticks(3), std::nullopt}}));
    // a again: read a second time.
    EXPECT_EQ(p[4].sourceStart, ticks(6));
    EXPECT_EQ(p[4].audio, (std::vector<A>{{ticks(14), ticks(1), ticks(6)}}));
    EXPECT_EQ(clips.reads["a.mov"], 2);
}

TEST(PreviewComposition, FitTransformUprightsScalesAndCentres)
{
    struct Case {
        QSizeF natural;
        QTransform preferred;
        QSizeF canvas;
        QSizeF displayed; // as the probe reports it; empty: square pixels
        QRectF expected;  // where the stored picture lands on the canvas
    };
    const Case cases[] = {
        {{1280, 720}, {}, {1920, 1080}, {}, {0, 0, 1920, 1080}},
        {{1920, 1080}, {}, {1280, 720}, {}, {0, 0, 1280, 720}},
        // Portrait stored landscape with a quarter turn: bars left and right.
        {{1920, 1080}, QTransform().rotate(90), {1920, 1080}, {}, {656.25, 0, 607.5, 1080}},
        // A preferred transform with its own translation ends up centred all the same.
        {{1920, 1080}, QTransform().rotate(90) * QTransform::fromTranslate(1080, 0), {1920, 1080}, {},
         {656.25, 0, 607.5, 1080}},
        {{640, 640}, {}, {1920, 1080}, {}, {420, 0, 1080, 1080}},
        // 4:3 pixels: 1440 x 1080 stored, shown 16:9, fills a 16:9 canvas.
        {{1440, 1080}, {}, {1920, 1080}, {1920, 1080}, {0, 0, 1920, 1080}},
        {{1440, 1080}, {}, {1280, 720}, {1920, 1080}, {0, 0, 1280, 720}},
        // ...and on a 4:3 canvas it is letterboxed, not squeezed.
        {{1440, 1080}, {}, {1440, 1080}, {1920, 1080}, {0, 135, 1440, 810}},
        // Turned a quarter: the wide pixels stand upright, 1080 x 1920 shown.
        {{1440, 1080}, QTransform().rotate(90), {1080, 1920}, {1080, 1920}, {0, 0, 1080, 1920}},
    };
    for (const Case &c : cases) {
        const QTransform fit = PreviewComposition::fitTransform(c.natural, c.preferred, c.canvas, c.displayed);
        const QRectF landed = fit.mapRect(QRectF(QPointF(0, 0), c.natural));
        const auto label = QStringLiteral("%1 shown %2").arg(c.natural.width()).arg(c.displayed.width()).toStdString();
        EXPECT_NEAR(landed.x(), c.expected.x(), 1e-6) << label;
        EXPECT_NEAR(landed.y(), c.expected.y(), 1e-6) << label;
        EXPECT_NEAR(landed.width(), c.expected.width(), 1e-6) << label;
        EXPECT_NEAR(landed.height(), c.expected.height(), 1e-6) << label;
    }
    // 1280 x 720 onto 1920 x 1080 is a plain scale by 1.5.
    EXPECT_EQ(PreviewComposition::fitTransform({1280, 720}, {}, {1920, 1080}), QTransform::fromScale(1.5, 1.5));

    // In a plan, after a 16:9 clip, a 4:3-pixel clip fills the canvas that clip set.
    FakeClips clips;
    clips.tracks["wide.mov"] = clip({1920, 1080});
    clips.tracks["hdv.m2t"] = clip({1440, 1080});
    VideoTimelineSnapshot s;
    s.sources = {sourceAt(QStringLiteral("wide.mov"), 4), sourceAt(QStringLiteral("hdv.m2t"), 4, {1920, 1080})};
    s.segments = {testsupport::cut(s.sources[0], 0, 4, 0), testsupport::cut(s.sources[1], 0, 4, 4)};
    const auto plan = PreviewComposition::makePlan(s, clips.reader());
    ASSERT_TRUE(plan);
    ASSERT_EQ(plan->pieces.size(), 2u);
    EXPECT_EQ(plan->pieces[1].fit.mapRect(QRectF(0, 0, 1440, 1080)), QRectF(0, 0, 1920, 1080));
}

TEST(PreviewComposition, FailuresAndCancellation)
{
    FakeClips clips;
    clips.tracks["a.mov"] = clip({1920, 1080});
    clips.tracks["x.m4a"] = ClipTracks{};
    clips.tracks["x.m4a"].hasAudio = true;
    VideoTimelineSnapshot s;
    s.sources = {sourceAt(QStringLiteral("a.mov"), 10), sourceAt(QStringLiteral("x.m4a"), 10)};

    // No segment uses a source.
    EXPECT_EQ(errorOf([&] { PreviewComposition::makePlan(s, clips.reader()); }),
              QStringLiteral("Cannot load video: "));

    // A clip without video is named.
    s.segments = {testsupport::cut(s.sources[0], 0, 1, 0), testsupport::cut(s.sources[1], 0, 1, 2)};
    EXPECT_EQ(errorOf([&] { PreviewComposition::makePlan(s, clips.reader()); }),
              QStringLiteral("Cannot load video: x.m4a"));

    // A slice shorter than a tick is left out.
    s.segments = {testsupport::cut(s.sources[0], 0, 1, 0), testsupport::cut(s.sources[0], 2, 2 + 1e-6, 1)};
    auto plan = PreviewComposition::makePlan(s, clips.reader());
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->pieces.size(), 1u);

    // Cancelled during the first slice: stops before the second.
    s.segments = {testsupport::cut(s.sources[0], 0, 1, 0), testsupport::cut(s.sources[0], 3, 4, 1)};
    bool cancel = false;
    clips.reads.clear();
    auto reader = [&](const QUrl &url) {
        cancel = true;
        return clips.reader()(url);
    };
    EXPECT_FALSE(PreviewComposition::makePlan(s, reader, [&] { return cancel; }));
    EXPECT_EQ(clips.reads["a.mov"], 1);
}

TEST(ClipTracks, ReadsGeneratedClips)
{
    QTemporaryDir dir;
    const QString withSound = testsupport::makeClip(dir.path(), "a.mp4", {.seconds = 2, .width = 320, .height = 240});
    const QString silent =
        testsupport::makeClip(dir.path(), "b.mp4", {.seconds = 2, .width = 320, .height = 240, .audio = false});
    const QString turned = dir.filePath("turned.mp4");
    ASSERT_TRUE(testsupport::runFfmpeg({"-i", silent, "-c", "copy", "-metadata:s:v:0", "rotate=90", turned}));

    const ClipTracks a = ClipTracks::read(QUrl::fromLocalFile(withSound));
    EXPECT_TRUE(a.hasVideo);
    EXPECT_EQ(a.naturalSize, QSizeF(320, 240));
    EXPECT_TRUE(a.hasAudio);
    EXPECT_NEAR(a.audioStart + a.audioDuration, 2.0, 0.05);
    EXPECT_TRUE(a.preferredTransform.isIdentity());

    const ClipTracks b = ClipTracks::read(QUrl::fromLocalFile(silent));
    EXPECT_FALSE(b.hasAudio);

    const ClipTracks t = ClipTracks::read(QUrl::fromLocalFile(turned));
    EXPECT_EQ(t.naturalSize, QSizeF(320, 240));
    const QRectF upright = t.preferredTransform.mapRect(QRectF(0, 0, 320, 240));
    EXPECT_NEAR(upright.width(), 240, 1e-9);
    EXPECT_NEAR(upright.height(), 320, 1e-9);

    const QString audioOnly = testsupport::makeAudioOnly(dir.path(), QStringLiteral("x.m4a"));
    EXPECT_FALSE(ClipTracks::read(QUrl::fromLocalFile(audioOnly)).hasVideo);
    EXPECT_THROW(ClipTracks::read(QUrl::fromLocalFile(dir.filePath(QStringLiteral("missing.mp4")))), QException);
}
