#include "support/testartifacts.h"
#include "viewrender.h"
#include "widgets/views/heartrateoverlayview.h"
#include "widgets/views/speedoverlayview.h"
#include "widgets/views/timeoverlayview.h"

#include <gtest/gtest.h>

#include <limits>

using namespace routereel;

TEST(TextOverlayViews, Texts)
{
    SpeedOverlayView speed;
    speed.setSpeed(10);
    EXPECT_EQ(speed.text(), QStringLiteral("36.0 km/h"));
    speed.setUnit(SpeedUnit::mph);
    EXPECT_EQ(speed.text(), QStringLiteral("22.4 mph"));

    const QDateTime evening(QDate(2024, 5, 1), QTime(19, 5, 9));
    EXPECT_EQ(TimeOverlayView::timeText(evening), QStringLiteral("19:05:09"));
    EXPECT_EQ(TimeOverlayView::timeText(QDateTime(QDate(2024, 5, 1), QTime(7, 0, 1))), QStringLiteral("07:00:01"));

    HeartRateOverlayView hr;
    EXPECT_TRUE(hr.lineTexts().isEmpty());
    EXPECT_EQ(hr.sizeHint(), QSize(0, 0)); // no heart rate: no room taken
    hr.setHeartRate(142);
    hr.setShowIcon(false);
    EXPECT_EQ(hr.lineTexts(), QStringList{QStringLiteral("142 bpm")});
    hr.setShowIcon(true);
    hr.setShowMinMax(true); // but no range known
    EXPECT_EQ(hr.lineTexts(), QStringList{QStringLiteral("\u2665 142 bpm")});
    hr.setMinMax(HeartRateMinMax{95, 178});
    EXPECT_EQ(hr.lineTexts(), (QStringList{QStringLiteral("\u2665 142 bpm"), QStringLiteral(" Min: 95 / Max: 178 ")}));
}

TEST(TextOverlayViews, BoxFitsTheLines)
{
    HeartRateOverlayView one;
    one.setHeartRate(142);
    HeartRateOverlayView two;
    two.setHeartRate(142);
    two.setShowMinMax(true);
    two.setMinMax(HeartRateMinMax{95, 178});
    // The range line at 0.8 × the size plus a gap of 0.15 × the size lies under the main line.
    EXPECT_NEAR(two.contentSize().height() - one.contentSize().height(),
                0.8 * (one.contentSize().height() - 6) + 0.15 * 18, 0.5);
    EXPECT_GT(two.contentSize().width(), one.contentSize().width());

    SpeedOverlayView speed;
    speed.setSpeed(10);
    const QSizeF at18 = speed.contentSize();
    speed.setFontSize(36);
    EXPECT_NEAR(speed.contentSize().width() - 6, 2 * (at18.width() - 6), 0.5);
    // A stored NaN falls back to 18; a stored 1000 is held at 400.
    speed.setFontSize(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(speed.contentSize(), at18);
    speed.setFontSize(1000);
    EXPECT_NEAR(speed.contentSize().width() - 6, 400.0 / 18 * (at18.width() - 6), 5);

    speed.setFontSize(18);
    const QImage image = renderView(speed);
    EXPECT_NEAR(qAlpha(image.pixel(1, image.height() / 2)), 128, 3); // the box, padding only
    EXPECT_LT(qAlpha(image.pixel(0, 0)), 10);                         // rounded corner
    saveTestArtifact(image, QStringLiteral("view-speed"));
    saveTestArtifact(renderView(two), QStringLiteral("view-heartrate"));
    TimeOverlayView time;
    time.setTime(QDateTime(QDate(2024, 5, 1), QTime(19, 5, 9)));
    saveTestArtifact(renderView(time), QStringLiteral("view-time"));
}
