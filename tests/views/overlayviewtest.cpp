#include "devicepixels.h"
#include "widgets/views/heartrategraphoverlayview.h"
#include "widgets/views/heartrateoverlayview.h"
#include "widgets/views/speedoverlayview.h"
#include "widgets/views/timeoverlayview.h"

#include "support/testartifacts.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace routereel;

TEST(OverlayView, ShadowedWidgetsAreDrawnAtTheDevicesPixels)
{
    GPXTrack ride;
    for (int i = 0; i <= 60; ++i) {
        TrackPoint p;
        p.time = 1.7e9 + i;
        p.heartRate = 110 + (i * 37) % 50;
        ride.trackPoints.append(p);
    }
    const struct {
        const char *name;
        std::function<std::unique_ptr<OverlayView>()> make;
    } widgets[] = {
        {"speed",
         [] {
             auto v = std::make_unique<SpeedOverlayView>();
             v->setSpeed(10);
             return v;
         }},
        {"time",
         [] {
             auto v = std::make_unique<TimeOverlayView>();
             v->setTime(QDateTime(QDate(2024, 5, 1), QTime(19, 5, 9)));
             return v;
         }},
        {"heartrate",
         [] {
             auto v = std::make_unique<HeartRateOverlayView>();
             v->setHeartRate(142);
             v->setShowMinMax(true);
             v->setMinMax(HeartRateMinMax{95, 178});
             return v;
         }},
        {"heartrategraph",
         [&ride] {
             auto v = std::make_unique<HeartRateGraphOverlayView>();
             v->setTracks({ride});
             v->setPanelSize(220, 70);
             v->setCurrentSample(1.7e9 + 30, 140);
             return v;
         }},
    };
    for (const auto &w : widgets) {
        SCOPED_TRACE(w.name);
        const std::unique_ptr<OverlayView> view = w.make();
        view->setShadow(true);
        view->resize(view->sizeHint());
        const double ratio = deviceRatioFor(*view);
        const QImage shot = grabAtRatio(*view, ratio);
        const QRect ink = inkBounds(shot);
        ASSERT_GT(ink.width(), 20);
        EXPECT_FALSE(looksStretched(shot, ratio, ink));
        // The shadow's blur keeps its width in points: the shaded band left of the
        // box, across its middle, is as wide as at 100 %.
        const auto band = [](const QImage &image) {
            const int mid = inkBounds(image).center().y();
            int shaded = 0;
            for (int x = 0; x < image.width() && qAlpha(image.pixel(x, mid)) < 100; ++x)
                shaded += qAlpha(image.pixel(x, mid)) > 2;
            return shaded / image.devicePixelRatio();
        };
        EXPECT_NEAR(band(shot), band(grabAtRatio(*view, 1)), 1.0);
        saveTestArtifact(shot, QStringLiteral("view-shadowed-%1-at-%2").arg(QLatin1String(w.name)).arg(ratio * 100));
    }
}
