#include "support/testartifacts.h"
#include "viewrender.h"
#include "widgets/views/heartrategraphoverlayview.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace routereel;

namespace {

constexpr double t0 = 1.7e9;

GPXTrack track(std::initializer_list<std::pair<double, int>> samples)
{
    GPXTrack t;
    for (const auto &[time, bpm] : samples) {
        TrackPoint p;
        p.time = time;
        if (bpm)
            p.heartRate = bpm;
        t.trackPoints.append(p);
    }
    return t;
}

} // namespace

TEST(HeartRateGraphOverlayView, ShowsNothingWithoutAnAxis)
{
    for (const QList<GPXTrack> &tracks : {QList<GPXTrack>{}, QList<GPXTrack>{track({{t0, 0}, {t0 + 5, 0}})},
                                          QList<GPXTrack>{track({{t0, 120}, {t0, 130}})}}) {
        HeartRateGraphOverlayView view;
        view.setTracks(tracks);
        view.setCurrentSample(t0, 120);
        EXPECT_TRUE(view.contentSize().isEmpty());
        EXPECT_EQ(view.sizeHint(), QSize(0, 0));
    }
}

TEST(HeartRateGraphOverlayView, DotFollowsThePlayheadInsideTheSpan)
{
    HeartRateGraphOverlayView view;
    view.setTracks({track({{t0, 120}, {t0 + 10, 130}, {t0 + 20, 110}})});
    view.setPanelSize(220, 70);
    ASSERT_EQ(view.sizeHint(), QSize(220, 70));
    const struct {
        std::optional<double> time;
        std::optional<int> bpm;
        std::optional<QPointF> dot;
    } cases[] = {
        {t0, 105, QPointF(6, 62)},           // bottom of the axis 105...135 at the first instant
        {t0 + 20, 135, QPointF(214, 8)},     // top at the last instant: bounds are inside
        {t0 + 10, 120, QPointF(110, 35)},
        {t0 - 0.5, 120, std::nullopt},       // before the span
        {t0 + 20.5, 120, std::nullopt},      // after it
        {t0 + 5, std::nullopt, std::nullopt}, // no heart rate at the playhead
        {std::nullopt, 120, std::nullopt},
        {t0 + 10, 300, QPointF(110, 62 - 195.0 / 30 * 54)}, // not clamped: the clip hides it
    };
    for (const auto &c : cases) {
        view.setCurrentSample(c.time, c.bpm);
        const std::optional<QPointF> dot = view.dotCenter();
        ASSERT_EQ(dot.has_value(), c.dot.has_value()) << (c.time ? *c.time - t0 : -1);
        if (dot) {
            EXPECT_NEAR(dot->x(), c.dot->x(), 1e-9);
            EXPECT_NEAR(dot->y(), c.dot->y(), 1e-9);
        }
    }
    view.setCurrentSample(t0 + 10, 120);
    const QImage image = renderView(view);
    EXPECT_TRUE(isWhite(image.pixel(110, 35)));
    EXPECT_TRUE(isWhite(image.pixel(112, 37)));
    EXPECT_NEAR(qAlpha(image.pixel(200, 60)), 128, 3); // the panel, black at 0.5
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);           // rounded corner
    view.setCurrentSample(t0 + 10, std::nullopt);
    const QImage noDot = renderView(view);
    EXPECT_FALSE(isWhite(noDot.pixel(112, 37)));
    view.setCurrentSample(t0 + 5, 125);
    saveTestArtifact(renderView(view), QStringLiteral("view-hrgraph"));
}

TEST(HeartRateGraphOverlayView, OneHeartRateSitsInTheMiddle)
{
    HeartRateGraphOverlayView view;
    view.setTracks({track({{t0, 140}, {t0 + 30, 140}})});
    view.setPanelSize(200, 80);
    view.setCurrentSample(t0 + 15, 140);
    ASSERT_TRUE(view.dotCenter());
    EXPECT_DOUBLE_EQ(view.dotCenter()->y(), 40);
}

TEST(HeartRateGraphOverlayView, ScalesAndBoundsItsSize)
{
    HeartRateGraphOverlayView view;
    view.setTracks({track({{t0, 120}, {t0 + 10, 130}})});
    view.setPanelSize(220, 70);
    view.setCanvasScale(2);
    EXPECT_EQ(view.sizeHint(), QSize(440, 140));
    view.setCanvasScale(0.5);
    EXPECT_EQ(view.sizeHint(), QSize(110, 35));
    view.setPanelSize(std::numeric_limits<double>::quiet_NaN(), 70);
    EXPECT_EQ(view.sizeHint(), QSize(0, 35));
    view.setCanvasScale(1);
    view.setPanelSize(1e12, 1e12);
    EXPECT_LE(view.sizeHint().width(), 4096);
    EXPECT_LE(view.sizeHint().height(), 4096);
}
