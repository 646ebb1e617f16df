#include "ui/timeline/timelinemath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace routereel;

namespace {
constexpr double inf = std::numeric_limits<double>::infinity();
const double notANumber = std::nan("");
const QString minus = QString(QChar(0x2212));
} // namespace

TEST(TimelineMath, TickStepLadderIsStrict)
{
    const struct {
        double pps;
        TickSteps steps;
    } cases[] = {
        {200, {1, 0.25}}, {100.5, {1, 0.25}}, {100, {5, 1}},   {50.5, {5, 1}},     {50, {10, 2}},
        {20.5, {10, 2}},  {20, {30, 5}},      {10, {60, 10}},  {4, {120, 30}},     {2, {300, 60}},
        {0.8, {600, 120}}, {0.31, {600, 120}}, {0.3, {1800, 300}}, {0.001, {1800, 300}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(tickSteps(c.pps), c.steps) << c.pps;
}

TEST(TimelineMath, RulerLabelsThinToRoundIntervals)
{
    const struct {
        double step, minimum, interval;
    } cases[] = {{10, 3, 10},        {1800, 1800, 1800}, {1800, 1801, 3600},  {1800, 400000, 604800},
                 {1800, 90000, 172800}, {600, 650, 1800}, {1800, 1e7, 1e7 + 800}, {30, notANumber, 30}};
    for (const auto &c : cases)
        EXPECT_EQ(rulerLabelInterval(c.step, c.minimum), c.interval) << c.step << " " << c.minimum;
}

TEST(TimelineMath, TickTimesAnchorAtTheOrigin)
{
    QList<double> expected;
    for (int k = 0; k <= 10; ++k)
        expected.append(1.3 + 2 * k);
    const QList<double> ticks = timelineTickTimes(3.3, 20, 2);
    ASSERT_EQ(ticks.size(), expected.size());
    for (int i = 0; i < ticks.size(); ++i)
        EXPECT_NEAR(ticks[i], expected[i], 1e-9) << i;

    // A visible window keeps the same grid.
    const QList<double> window = timelineTickTimes(3.3, 20, 2, 6, 10);
    ASSERT_EQ(window.size(), 4);
    EXPECT_NEAR(window.first(), 5.3, 1e-9);
    EXPECT_NEAR(window.last(), 11.3, 1e-9);

    EXPECT_EQ(timelineTickTimes(25, 40, 10), (QList<double>{5, 15, 25, 35, 45}));
    EXPECT_EQ(timelineTickTimes(0, 1, 0.25), (QList<double>{0, 0.25, 0.5, 0.75, 1}));
    for (double bad : {0.0, -1.0, notANumber, inf})
        EXPECT_TRUE(timelineTickTimes(0, 10, bad).isEmpty()) << bad;
    EXPECT_TRUE(timelineTickTimes(notANumber, 10, 1).isEmpty());
    EXPECT_TRUE(timelineTickTimes(0, inf, 1).isEmpty());
    EXPECT_TRUE(timelineTickTimes(0, -5, 1).isEmpty());
}

TEST(TimelineMath, TimecodesInBothForms)
{
    const struct {
        double t;
        QString full;
        QString compact;
    } cases[] = {
        {0, "00:00:00.00", "00:00.00"},
        {75.5, "00:01:15.50", "01:15.50"},
        {3725.25, "01:02:05.25", "1:02:05.25"},
        {3599.99, "00:59:59.99", "59:59.99"},
        {3600, "01:00:00.00", "1:00:00.00"},
        {-2.5, minus + "00:00:02.50", minus + "00:02.50"},
        {-0.005, "00:00:00.00", "00:00.00"},
        {-0.01, minus + "00:00:00.01", minus + "00:00.01"},
        {0.29, "00:00:00.28", "00:00.28"},
        {90000, "25:00:00.00", "25:00:00.00"},
        {360000, "100:00:00.00", "100:00:00.00"},
        {notANumber, "00:00:00.00", "00:00.00"},
        {inf, "00:00:00.00", "00:00.00"},
        {-inf, "00:00:00.00", "00:00.00"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(formatTimecode(c.t, false), c.full) << c.t;
        EXPECT_EQ(formatTimecode(c.t, true), c.compact) << c.t;
    }
    // Beyond 64-bit hundredths the text holds at the largest count instead of wrapping.
    const QString largest = QStringLiteral("25620477880152:09:18.07");
    EXPECT_EQ(formatTimecode(1e17, false), largest);
    EXPECT_EQ(formatTimecode(-1e300, true), minus + largest);
    EXPECT_EQ(formatTimecode(std::numeric_limits<double>::max(), false), largest);
}

TEST(TimelineMath, LaneDurationAndMarkerSpan)
{
    const struct {
        double t;
        const char *text;
    } durations[] = {{20, "00:20.00"}, {83.456, "01:23.45"}, {3725.5, "1:02:05.50"}, {59.999, "00:59.99"},
                     {-1, "00:00"},    {notANumber, "00:00"},       {inf, "00:00"}};
    for (const auto &c : durations)
        EXPECT_EQ(formatLaneDuration(c.t), QLatin1String(c.text)) << c.t;

    const struct {
        double a, b;
        const char *text;
    } spans[] = {{5, 2, "00:03"}, {2, 9, "00:07"}, {0, 75.9, "01:15"}, {0, 3725, "1:02:05"},
                 {10, 3610, "1:00:00"}, {0, 3599.99, "59:59"}};
    for (const auto &c : spans)
        EXPECT_EQ(markerSpanText(c.a, c.b), QLatin1String(c.text)) << c.a << " " << c.b;
}

TEST(TimelineMath, ZoomBoundsAndControls)
{
    const struct {
        double retained, content, width, expected;
    } lowest[] = {
        {0, 0, 1000, 0.1},    {600, 0, 0, 0.1},          {600, 0, 108, 0.1},  {0, 600, 1000, 892.0 / 600 * 0.25},
        {0, 14400, 800, 692.0 / 14400 * 0.25}, {1, 0.5, 2000, 200}, {0, 0.2, 1108, 250}, {notANumber, 10, 1000, 0.1},
    };
    for (const auto &c : lowest)
        EXPECT_NEAR(minimumZoom(c.retained, c.content, c.width), std::min(200.0, c.expected), 1e-9)
            << c.retained << " " << c.content << " " << c.width;
    EXPECT_NEAR(minimumZoom(0, 600, 1000), 0.371666, 1e-6);

    EXPECT_EQ(rulerEndTime(0, 0, 0), 1);
    EXPECT_EQ(rulerEndTime(50, 20, 3), 50);
    EXPECT_EQ(rulerEndTime(0, 20, 90), 90);
    EXPECT_EQ(rulerEndTime(0, 20, inf), 20);
    EXPECT_EQ(contentWidth(1, 20, 0), 128);
    EXPECT_EQ(contentWidth(1, 20, 1000), 1000);

    const double min = 0.4;
    EXPECT_NEAR(zoomForSliderPosition(0.5, min), min + 0.25 * (200 - min), 1e-9);
    EXPECT_EQ(zoomForSliderPosition(-1, min), min);
    EXPECT_EQ(zoomForSliderPosition(2, min), 200);
    EXPECT_EQ(zoomSliderPosition(min, min), 0);
    EXPECT_EQ(zoomSliderPosition(200, min), 1);
    EXPECT_NEAR(zoomSliderPosition(zoomForSliderPosition(0.3, min), min), 0.3, 1e-12);
    EXPECT_EQ(zoomSliderPosition(150, 200), 0);  // empty range
    EXPECT_EQ(zoomForSliderPosition(0.7, 200), 200);

    EXPECT_NEAR(clampedZoom(20 * 1.1, min), 22, 1e-12);
    EXPECT_EQ(clampedZoom(0.1, min), min);
    EXPECT_NEAR(*pinchedZoom(20, 2, min), 28.284271, 1e-6);
    EXPECT_NEAR(*pinchedZoom(20, 0.25, min), 10, 1e-12);
    EXPECT_EQ(*pinchedZoom(20, 1000, min), 200);
    EXPECT_FALSE(pinchedZoom(20, 0, min));
    EXPECT_FALSE(pinchedZoom(20, notANumber, min));
    EXPECT_NEAR(scrolledZoom(20, 10, min), 21, 1e-12);
    EXPECT_NEAR(scrolledZoom(20, -10, min), 19, 1e-12);
}

TEST(TimelineMath, SegmentGeometryAndZones)
{
    const SegmentGeometry g = segmentGeometry(5, 20, 20, 8, 44, 8);
    EXPECT_EQ(g.rect, QRectF(108, 3, 400, 38));
    EXPECT_EQ(g.handleWidth, 8);
    EXPECT_EQ(laneHitZone(g, 108), LaneHitZone::startHandle);
    EXPECT_EQ(laneHitZone(g, 115.9), LaneHitZone::startHandle);
    EXPECT_EQ(laneHitZone(g, 116), LaneHitZone::body);
    EXPECT_EQ(laneHitZone(g, 500), LaneHitZone::endHandle);
    EXPECT_TRUE(laneContains(g, 108, 3));
    EXPECT_FALSE(laneContains(g, 508, 20));
    EXPECT_FALSE(laneContains(g, 200, 41));

    // Handle width by bar width (pps 1, leadPad 0).
    const struct {
        double width, handle;
    } handles[] = {{30, 8}, {20, 6}, {12, 2}, {11, 0}};
    for (const auto &c : handles)
        EXPECT_EQ(segmentGeometry(0, c.width, 1, 0, 44, 8).handleWidth, c.handle) << c.width;
    EXPECT_EQ(laneHitZone(segmentGeometry(0, 11, 1, 0, 44, 8), 0), LaneHitZone::body);

    const struct {
        double start, duration, pps, trackH;
    } empty[] = {{notANumber, 1, 20, 44}, {0, 0, 20, 44}, {0, -1, 20, 44}, {0, inf, 20, 44},
                 {0, 1, 0, 44},    {0, 1, notANumber, 44}, {0, 1, 20, 6},  {1e308, 1e308, 20, 44}};
    for (const auto &c : empty)
        EXPECT_TRUE(segmentGeometry(c.start, c.duration, c.pps, 8, c.trackH, 8).rect.isEmpty())
            << c.start << " " << c.duration << " " << c.pps << " " << c.trackH;
}
