#include "hrtracks.h"
#include "support/testartifacts.h"
#include "widgets/heartrategraphaxisreducer.h"
#include "widgets/heartrategraphcurvepathcache.h"
#include "widgets/heartrategraphrenderer.h"

#include <QPainterPath>
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <thread>

using namespace routereel;

namespace {
constexpr double t0 = 1.7e9;
}

TEST(HeartRateGraphAxis, SpansTheSamplesWidenedByFive)
{
    const struct {
        const char *name;
        QList<GPXTrack> tracks;
        std::optional<HeartRateGraphAxis> expected;
    } cases[] = {
        {"two samples", {hrTrack({{t0, 120}, {t0 + 10, 130}})}, HeartRateGraphAxis{t0, t0 + 10, 115, 135}},
        {"points without rate ignored",
         {hrTrack({{t0 - 50, 0}, {t0, 100}}), hrTrack({{t0 + 5, 90}, {t0 + 99, 0}})},
         HeartRateGraphAxis{t0, t0 + 5, 85, 105}},
        {"no heart rate", {hrTrack({{t0, 0}, {t0 + 1, 0}})}, std::nullopt},
        {"one instant", {hrTrack({{t0, 120}, {t0, 140}})}, std::nullopt},
        {"no tracks", {}, std::nullopt},
        {"infinite time", {hrTrack({{t0, 120}, {std::numeric_limits<double>::infinity(), 140}})}, std::nullopt},
    };
    for (const auto &c : cases)
        EXPECT_EQ(HeartRateGraphAxisReducer::reduce(c.tracks), c.expected) << c.name;
}

TEST(HeartRateGraphAxis, RemembersTheLastTracksByRevisionAndCount)
{
    QList<GPXTrack> tracks{hrTrack({{t0, 120}, {t0 + 10, 130}})};
    ASSERT_EQ(HeartRateGraphAxisReducer::reduce(tracks)->maxBpm, 135);
    // Same revision and count: the stored axis comes back without a new walk.
    tracks[0].trackPoints[1].heartRate = 170;
    EXPECT_EQ(HeartRateGraphAxisReducer::reduce(tracks)->maxBpm, 135);
    TrackPoint extra;
    extra.time = t0 + 20;
    extra.heartRate = 100;
    tracks[0].trackPoints.append(extra);
    EXPECT_EQ(HeartRateGraphAxisReducer::reduce(tracks), (HeartRateGraphAxis{t0, t0 + 20, 95, 175}));
    tracks[0].trackPoints[1].heartRate = 150;
    tracks[0].revision = QUuid::createUuid();
    EXPECT_EQ(HeartRateGraphAxisReducer::reduce(tracks)->maxBpm, 155);
}

TEST(HeartRateGraphCurve, GapsAndSegmentStartsSplitTheLine)
{
    const HeartRateGraphAxis axis{t0, t0 + 10, 100, 140};
    const struct {
        const char *name;
        QList<GPXTrack> tracks;
        int subpaths;
    } cases[] = {
        {"one run", {hrTrack({{t0, 110}, {t0 + 5, 120}, {t0 + 10, 130}})}, 1},
        {"gap", {hrTrack({{t0, 110}, {t0 + 2, 120}, {t0 + 4, 0}, {t0 + 6, 120}, {t0 + 8, 125}})}, 2},
        {"segment start", {hrTrack({{t0, 110}, {t0 + 2, 120}, {t0 + 6, 120, true}, {t0 + 8, 125}})}, 2},
        {"each track", {hrTrack({{t0, 110}, {t0 + 2, 120}}), hrTrack({{t0 + 3, 110}, {t0 + 4, 120}})}, 2},
        {"lone samples draw nothing", {hrTrack({{t0, 110}, {t0 + 2, 0}, {t0 + 4, 120}})}, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(drawnSubpaths(HeartRateGraphCurvePathCache::path(c.tracks, axis, 220, 70)), c.subpaths) << c.name;
}

TEST(HeartRateGraphCurve, MapsSamplesIntoThePlot)
{
    const QList<GPXTrack> tracks{hrTrack({{t0, 100}, {t0 + 10, 140}})};
    const QPainterPath path = HeartRateGraphCurvePathCache::path(tracks, {t0, t0 + 10, 100, 140}, 220, 70);
    ASSERT_EQ(path.elementCount(), 2);
    EXPECT_EQ(QPointF(path.elementAt(0)), QPointF(6, 62));
    EXPECT_EQ(QPointF(path.elementAt(1)), QPointF(214, 8));
    // A heart-rate span below 2 divides by 1: one bpm above the bottom is a whole plot height up.
    const QPainterPath flat = HeartRateGraphCurvePathCache::path(tracks, {t0, t0 + 10, 100, 101}, 220, 70);
    EXPECT_EQ(QPointF(flat.elementAt(0)), QPointF(6, 62));
    EXPECT_EQ(QPointF(flat.elementAt(1)).y(), 62 - 40 * 54);
    // Another size is another path.
    const QPainterPath wide = HeartRateGraphCurvePathCache::path(tracks, {t0, t0 + 10, 100, 140}, 300, 70);
    EXPECT_EQ(QPointF(wide.elementAt(1)), QPointF(294, 8));
}

TEST(HeartRateGraphMemos, AgreeUnderManyThreads)
{
    const QList<GPXTrack> a{hrTrack({{t0, 120}, {t0 + 10, 130}})};
    const QList<GPXTrack> b{hrTrack({{t0, 90}, {t0 + 30, 100}, {t0 + 40, 0}, {t0 + 50, 150}})};
    const HeartRateGraphAxis axisA{t0, t0 + 10, 115, 135};
    const HeartRateGraphAxis axisB{t0, t0 + 50, 85, 155};
    const QPainterPath pathA = heartRateGraphCurve(a, axisA, 220, 70, 6, 8);
    const QPainterPath pathB = heartRateGraphCurve(b, axisB, 180, 60, 6, 8);
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 16; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 300; ++i) {
                const bool useA = (i + t) % 2 == 0;
                if (HeartRateGraphAxisReducer::reduce(useA ? a : b) != (useA ? axisA : axisB))
                    ++wrong;
                const QPainterPath p = useA ? HeartRateGraphCurvePathCache::path(a, axisA, 220, 70)
                                            : HeartRateGraphCurvePathCache::path(b, axisB, 180, 60);
                if (p != (useA ? pathA : pathB))
                    ++wrong;
            }
        });
    }
    for (auto &th : threads)
        th.join();
    EXPECT_EQ(wrong.load(), 0);
}

namespace {

const QColor lineColor(255, 40, 40);

QList<GPXTrack> graphTracks()
{
    return {hrTrack({{t0, 120}, {t0 + 10, 130}, {t0 + 20, 125}, {t0 + 30, 0}, {t0 + 40, 140}, {t0 + 60, 118}})};
}

bool isLineColoured(QRgb px)
{
    return qAlpha(px) > 200 && qRed(px) > 200 && qGreen(px) < 120;
}

// The line is 2 px wide and antialiased: look for a full-colour pixel next to `p` as well.
bool lineNear(const QImage &image, QPoint p)
{
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (isLineColoured(image.pixel(p + QPoint(dx, dy))))
                return true;
    return false;
}

} // namespace

TEST(HeartRateGraphRenderer, ImageSizesCarryTheShadowMarginAndStayBounded)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double w, h, reference;
        QSize expected; // 0 x 0: no image, no bitmap allocated
    } cases[] = {
        {220, 70, 220, {232, 82}},
        {440, 140, 220, {464, 164}},  // scale 2: margin 12
        {330, 105, 220, {348, 123}},  // scale 1.5: margin 9
        {1000, 70, 1000, {1012, 82}}, // a stored width of 1000 at scale 1 is large but drawable
        {nan, 70, 220, {0, 0}},  {220, nan, 220, {0, 0}}, {inf, 70, 220, {0, 0}}, {1e9, 70, 220, {0, 0}},
        {5000, 70, 220, {0, 0}}, {0, 0, 220, {0, 0}},     {-50, 70, 220, {0, 0}}, {4090, 70, 220, {0, 0}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << " x " << c.h << " / " << c.reference);
        HeartRateGraphRenderer renderer(lineColor, c.w, c.h, c.reference, 0.85);
        renderer.buildCurvePath(graphTracks());
        EXPECT_EQ(renderer.baseImage().size(), c.expected);
        EXPECT_EQ(renderer.renderFrame(t0 + 10, 130).size(), c.expected);
        if (!c.expected.isEmpty())
            EXPECT_EQ(renderer.baseImage().format(), QImage::Format_ARGB32_Premultiplied);
    }
}

TEST(HeartRateGraphRenderer, FramesWithoutASampleAreTheBaseImage)
{
    HeartRateGraphRenderer renderer(lineColor, 220, 70, 220, 0.85);
    EXPECT_TRUE(renderer.renderFrame(t0, 120).isNull()); // nothing built yet
    renderer.buildCurvePath(graphTracks());
    ASSERT_TRUE(renderer.hasData());
    const qint64 base = renderer.baseImage().cacheKey();
    EXPECT_EQ(renderer.renderFrame(t0 - 1, 120).cacheKey(), base);
    EXPECT_EQ(renderer.renderFrame(t0 + 61, 120).cacheKey(), base);
    EXPECT_EQ(renderer.renderFrame(std::nullopt, 120).cacheKey(), base);
    EXPECT_EQ(renderer.renderFrame(t0 + 5, std::nullopt).cacheKey(), base);
    EXPECT_EQ(renderer.renderFrame(t0 + 5, 5000).cacheKey(), base); // dot far outside the panel
    EXPECT_NE(renderer.renderFrame(t0 + 60, 118).cacheKey(), base); // on the last sample: drawn

    renderer.buildCurvePath({hrTrack({{t0, 0}, {t0 + 5, 0}})});
    EXPECT_FALSE(renderer.hasData());
    EXPECT_TRUE(renderer.baseImage().isNull());
    EXPECT_TRUE(renderer.renderFrame(t0 + 2, 120).isNull());
}

TEST(HeartRateGraphRenderer, DotSitsOnTheCurveAtTheSample)
{
    HeartRateGraphRenderer renderer(lineColor, 220, 70, 220, 0.85);
    const QList<GPXTrack> tracks = graphTracks();
    renderer.buildCurvePath(tracks);
    const HeartRateGraphAxis axis = renderer.axis();
    const int p = renderer.margin();
    ASSERT_EQ(p, 6);
    const QImage base = renderer.baseImage();
    for (const TrackPoint &point : tracks[0].trackPoints) {
        if (!point.heartRate)
            continue;
        const QPointF onCurve = heartRateGraphPoint(axis, point.time, *point.heartRate, 220, 70, 6, 8);
        const QImage frame = renderer.renderFrame(point.time, *point.heartRate);
        // The curve passes through the sample, and the dot covers it and its surroundings.
        const QPoint centre = (onCurve + QPointF(p, p)).toPoint();
        EXPECT_TRUE(lineNear(base, centre)) << point.time - t0;
        for (QPointF d : {QPointF(0, 2.5), QPointF(0, -2.5), QPointF(2.5, 0), QPointF(-2.5, 0)}) {
            const QPointF q = onCurve + QPointF(p, p) + d;
            EXPECT_TRUE(isLineColoured(frame.pixel(int(q.x()), int(q.y())))) << point.time - t0 << " " << d.x() << "," << d.y();
        }
    }
    // The gap between t0 + 20 and t0 + 40 has no line: midway at mid height the panel shows.
    const QPointF gapMid = heartRateGraphPoint(axis, t0 + 30, 130, 220, 70, 6, 8) + QPointF(p, p);
    for (int dy = -20; dy <= 20; ++dy)
        EXPECT_FALSE(isLineColoured(base.pixel(gapMid.toPoint() + QPoint(0, dy)))) << dy;
    // Panel: black at 0.5 over its own shadow (0.25 inside); corners of the image: nearly clear.
    EXPECT_NEAR(qAlpha(base.pixel(p + 110, p + 60)), 160, 6);
    EXPECT_LT(qAlpha(base.pixel(0, 0)), 10);
    saveTestArtifact(renderer.renderFrame(t0 + 40, 140), QStringLiteral("hrgraph-frame"));
    HeartRateGraphRenderer big(QColor(Qt::white), 440, 140, 220, 0.85);
    big.buildCurvePath(tracks);
    saveTestArtifact(big.renderFrame(t0 + 10, 130), QStringLiteral("hrgraph-frame-2x"));
}

TEST(HeartRateGraphRenderer, ConcurrentFramesMatchSerialOnes)
{
    HeartRateGraphRenderer renderer(lineColor, 220, 70, 220, 0.85);
    renderer.buildCurvePath(graphTracks());
    QList<QImage> serial;
    for (int i = 0; i <= 60; ++i)
        serial.append(renderer.renderFrame(t0 + i, 120 + i % 20));
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i <= 60; ++i)
                if (renderer.renderFrame(t0 + i, 120 + i % 20) != serial[i])
                    ++wrong;
        });
    }
    for (auto &th : threads)
        th.join();
    EXPECT_EQ(wrong.load(), 0);
}
