#include "support/testartifacts.h"
#include "support/waitfor.h"
#include "viewrender.h"
#include "widgets/heartrategraphaxisreducer.h"
#include "widgets/views/heartrategraphoverlayview.h"
#include "widgets/widgetfonts.h"

#include <QPainter>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <algorithm>
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

TEST(HeartRateGraphOverlayView, LongTrackCurveIsDrawnAwayFromThePaintAndLooksTheSame)
{
    // 50,000 samples a second apart, wandering between 60 and 190, a new segment every 10,000.
    GPXTrack ride;
    QRandomGenerator rng(3);
    double bpm = 110;
    for (int i = 0; i < 50000; ++i) {
        bpm = std::clamp(bpm + (rng.generateDouble() * 2 - 1) * 2, 60.0, 190.0);
        TrackPoint p;
        p.time = t0 + i;
        p.heartRate = int(std::lround(bpm));
        p.startsSegment = i > 0 && i % 10000 == 0;
        ride.trackPoints.append(p);
    }
    HeartRateGraphOverlayView view;
    view.setTracks({ride});
    view.setPanelSize(220, 70);
    view.setCurrentSample(t0 + 20000, *ride.trackPoints[20000].heartRate);
    // The first paint does not wait for the curve.
    renderView(view);
    EXPECT_TRUE(view.isDrawingCurve());
    ASSERT_TRUE(testsupport::waitFor([&] { return !view.isDrawingCurve(); }, 30000));
    const QImage image = renderView(view);

    // As the view drew itself before: every sample stroked at every paint.
    QImage full(image.size(), QImage::Format_ARGB32_Premultiplied);
    full.fill(Qt::transparent);
    {
        namespace L = HeartRateGraphLayout;
        const HeartRateGraphAxis axis = *HeartRateGraphAxisReducer::reduce({ride});
        QPainter p(&full);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        QPainterPath panel;
        panel.addRoundedRect(QRectF(0, 0, 220, 70), L::cornerRadius, L::cornerRadius);
        p.fillPath(panel, QColor(0, 0, 0, 128));
        p.save();
        p.setClipPath(panel);
        QPen pen(Qt::white, L::lineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        pen.setMiterLimit(10);
        p.strokePath(heartRateGraphCurve({ride}, axis, 220, 70, L::insetX, L::insetY), pen);
        const QPointF dot = *view.dotCenter();
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(dot.x() - L::dotRadius, dot.y() - L::dotRadius, 2 * L::dotRadius, 2 * L::dotRadius));
        p.restore();
        const QFont font = widgetMonoFont(L::labelFontSize * 72.0 / std::max(1, view.logicalDpiY()));
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(QPointF(L::labelLeft, L::labelTop + QFontMetricsF(font, &view).ascent()), QStringLiteral("\u2665"));
    }
    EXPECT_GE(psnr(image, full), 40);
    saveTestArtifact(image, QStringLiteral("view-hrgraph-long-track"));

    // The dot moves with the playhead; the curve is not drawn again.
    view.setCurrentSample(t0 + 40000, *ride.trackPoints[40000].heartRate);
    renderView(view);
    EXPECT_FALSE(view.isDrawingCurve());
}
