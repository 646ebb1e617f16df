#include "support/testartifacts.h"
#include "widgets/heartrateminmax.h"
#include "widgets/speedunit.h"
#include "widgets/textwidgetrenderer.h"

#include <QColor>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace routereel;

namespace {

const QColor white(Qt::white);

// Bounding box of the pixels whose alpha exceeds `threshold`.
QRect opaqueBounds(const QImage &image, int threshold)
{
    QRect r;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > threshold)
                r |= QRect(x, y, 1, 1);
    return r;
}

QRect whiteBounds(const QImage &image)
{
    QRect r;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb px = image.pixel(x, y);
            if (qAlpha(px) > 200 && qRed(px) > 200)
                r |= QRect(x, y, 1, 1);
        }
    return r;
}

} // namespace

TEST(TextWidgetRenderer, BoxHasTheShadowMarginAndTheTextIsCentred)
{
    const QImage image = TextWidgetRenderer::render(formatSpeed(SpeedUnit::kmh, 10), white, std::nullopt, 18, 1);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.format(), QImage::Format_ARGB32_Premultiplied);
    // The box (alpha about 0.5) lies 6 px (twice the blur) inside the image on every side.
    const QRect box = opaqueBounds(image, 100);
    EXPECT_EQ(box.left(), 6);
    EXPECT_EQ(box.top(), image.height() - 6 - box.height());
    EXPECT_NEAR(image.width() - 1 - box.right(), 6, 1);
    EXPECT_NEAR(box.top(), 6, 1);
    EXPECT_LT(qAlpha(image.pixel(0, 0)), 8);
    EXPECT_GT(qAlpha(image.pixel(4, image.height() / 2)), 5); // the shadow reaches into the margin
    // The text sits in the box with about the padding of 3 on each side, centred.
    const QRect text = whiteBounds(image);
    ASSERT_TRUE(text.isValid());
    EXPECT_GE(text.left() - box.left(), 3);
    EXPECT_GE(box.right() - text.right(), 3);
    EXPECT_NEAR(text.left() - box.left(), box.right() - text.right(), 2);
    EXPECT_GE(text.top(), box.top() + 3);
    saveTestArtifact(image, QStringLiteral("text-speed"));
}

TEST(TextWidgetRenderer, SecondLine)
{
    const QString main = HeartRateMinMax::bpmText(142, true).value();
    const QImage one = TextWidgetRenderer::render(main, white, std::nullopt, 18, 1);
    const QImage empty = TextWidgetRenderer::render(main, white, QString(), 18, 1);
    EXPECT_EQ(one, empty); // an empty second line is no second line
    const QString range = HeartRateMinMax::rangeText(HeartRateMinMax{95, 178}).value();
    const QImage two = TextWidgetRenderer::render(main, white, range, 18, 1);
    // The range line at 0.8 × 18 is wider than "♥ 142 bpm": it widens the box; both lines centred.
    EXPECT_GT(two.width(), one.width());
    EXPECT_GT(two.height(), one.height() + 14);
    const QRect text = whiteBounds(two);
    const QRect box = opaqueBounds(two, 100);
    EXPECT_NEAR(text.left() - box.left(), box.right() - text.right(), 2);
    // The main line is the upper one: its heart glyph is near the top, centred over the range line.
    const QRect topHalf = whiteBounds(two.copy(0, 0, two.width(), two.height() / 2));
    EXPECT_GT(topHalf.left() - box.left(), 8);
    saveTestArtifact(two, QStringLiteral("text-heartrate-minmax"));
    saveTestArtifact(TextWidgetRenderer::render(QStringLiteral("19:05:09"), white, std::nullopt, 18, 1),
                     QStringLiteral("text-time"));
}

TEST(TextWidgetRenderer, ScaleMultipliesEverything)
{
    const QImage one = TextWidgetRenderer::render(QStringLiteral("19:05:09"), white, std::nullopt, 18, 1);
    const QImage two = TextWidgetRenderer::render(QStringLiteral("19:05:09"), white, std::nullopt, 18, 2);
    EXPECT_NEAR(two.width(), 2 * one.width(), 2);
    EXPECT_NEAR(two.height(), 2 * one.height(), 2);
    EXPECT_EQ(opaqueBounds(two, 100).left(), 12);
    saveTestArtifact(two, QStringLiteral("text-time-2x"));
}

TEST(TextWidgetRenderer, SizesThatAllowNoBitmapGiveNoImage)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double fontSize, scale;
    } cases[] = {{nan, 1}, {18, nan}, {inf, 1}, {0, 1}, {-18, 1}, {18, 0}, {1000, 2}, {1e12, 1}};
    for (const auto &c : cases)
        EXPECT_TRUE(TextWidgetRenderer::render(QStringLiteral("36.0 km/h"), white, std::nullopt, c.fontSize, c.scale)
                        .isNull())
            << c.fontSize << " " << c.scale;
    EXPECT_FALSE(TextWidgetRenderer::render(QStringLiteral("36.0 km/h"), white, std::nullopt, 200, 1).isNull());
}
