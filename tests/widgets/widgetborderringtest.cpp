#include "support/testartifacts.h"
#include "widgets/widgetborderring.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace routereel;

namespace {

const QColor dark(0, 0, 0, 230);
const QColor violet(238, 117, 255, 230);

// Colour of the ring at `radius` from the centre along the line to the right.
QColor ringAt(const WidgetBorderRing &ring, double radius)
{
    const double c = ring.width / 2.0;
    return QColor::fromRgba(ring.image.pixel(int(std::floor(c + radius)), int(c)));
}

enum class Band { clear, dark, violet, other };

// Inner bands are painted over the outer ones, so their colours are composites.
Band band(const QColor &premultiplied)
{
    if (premultiplied.alpha() == 0)
        return Band::clear;
    const QColor c = QColor::fromRgba(qUnpremultiply(premultiplied.rgba()));
    if (c.alpha() < 225)
        return Band::other;
    if (c.red() < 40 && c.green() < 40 && c.blue() < 40)
        return Band::dark;
    if (c.red() > 190 && c.green() > 90 && c.green() < 130 && c.blue() > 200)
        return Band::violet;
    return Band::other;
}

} // namespace

TEST(WidgetBorderRing, BandsAroundACircle)
{
    const QList<WidgetBorderLayer> layers{{2, dark}, {6, violet}, {2, dark}};
    QList<WidgetBorderLayer> scaled = layers;
    for (auto &l : scaled)
        l.width *= 1.5;
    const auto ring = borderRingImage(300, 0, 0, false, scaled);
    ASSERT_TRUE(ring);
    EXPECT_EQ(ring->image.size(), QSize(330, 330));
    EXPECT_EQ(std::pair(ring->offsetX, ring->offsetY), std::pair(-15.0, -15.0));
    EXPECT_EQ(ring->image.format(), QImage::Format_ARGB32_Premultiplied);
    const struct {
        double radius;
        Band band;
    } samples[] = {{100.5, Band::clear}, {148.5, Band::clear},  {150.5, Band::dark}, {152.5, Band::dark},
                   {153.5, Band::violet}, {161.5, Band::violet}, {162.5, Band::dark}, {164.5, Band::dark}};
    for (const auto &s : samples)
        EXPECT_EQ(band(ringAt(*ring, s.radius)), s.band)
            << s.radius << " " << qPrintable(ringAt(*ring, s.radius).name(QColor::HexArgb));
    EXPECT_EQ(qAlpha(ring->image.pixel(2, 2)), 0); // outside the outermost band
    saveTestArtifact(ring->image, QStringLiteral("ring-gta-circle"));
}

TEST(WidgetBorderRing, RoundedRectangleAndStyles)
{
    const auto ring = borderRingImage(400, 300, 20, true, {{1.2, QColor(136, 136, 136, 204)}});
    ASSERT_TRUE(ring);
    EXPECT_EQ(ring->image.size(), QSize(403, 303));
    EXPECT_DOUBLE_EQ(ring->offsetX, -1.2);
    EXPECT_GT(qAlpha(ring->image.pixel(200, 0)), 150); // the band along the top edge
    EXPECT_EQ(qAlpha(ring->image.pixel(200, 150)), 0); // the content stays clear

    const auto map = mapBorderRing(MapShape::roundedRect, 200, 150, MapBorderStyle::gta, 1, 12);
    ASSERT_TRUE(map);
    EXPECT_EQ(map->image.size(), QSize(220, 170));
    // Outer corner radius 22: the corner pixel itself is outside, a pixel 8 px in along the diagonal inside.
    EXPECT_EQ(qAlpha(map->image.pixel(0, 0)), 0);
    EXPECT_GT(qAlpha(map->image.pixel(8, 8)), 150);
    saveTestArtifact(map->image, QStringLiteral("ring-gta-rect"));

    const auto circle = mapBorderRing(MapShape::circle, 200, 150, MapBorderStyle::defaultStyle, 2, 12);
    ASSERT_TRUE(circle);
    EXPECT_EQ(circle->image.size(), QSize(204, 204)); // 0.8 × 2 = 1.6 each side, height follows the width
    const auto path = gpsPathBorderRing(MapBorderStyle::gta, 360, 180);
    ASSERT_TRUE(path);
    EXPECT_EQ(path->image.size(), QSize(400, 400)); // scale 2: 20 px band
    saveTestArtifact(path->image, QStringLiteral("ring-gpspath-2x"));
}

TEST(WidgetBorderRing, NoRingWithoutWidthOrBitmap)
{
    EXPECT_FALSE(borderRingImage(300, 0, 0, false, {}));
    EXPECT_FALSE(borderRingImage(300, 0, 0, false, {{0, dark}}));
    EXPECT_FALSE(borderRingImage(std::nan(""), 0, 0, false, {{2, dark}}));
    EXPECT_FALSE(borderRingImage(1e9, 0, 0, false, {{2, dark}}));
    EXPECT_FALSE(borderRingImage(300, 0, 0, false, {{std::nan(""), dark}}));
    EXPECT_FALSE(mapBorderRing(MapShape::circle, 200, 200, MapBorderStyle::gta, 0, 0));
}

TEST(NorthBadge, DiscRimAndLetter)
{
    const auto badge = northBadgeImage(30, 1.5);
    ASSERT_TRUE(badge);
    EXPECT_EQ(badge->side, 30);
    EXPECT_EQ(badge->image.size(), QSize(30, 30));
    const QRgb rim = badge->image.pixel(15, 0);
    EXPECT_NEAR(qAlpha(rim), 102, 12);
    EXPECT_EQ(badge->image.pixel(15, 3), qRgba(0, 0, 0, 255));
    // The white N lies in the middle, about 0.55 × 30 high at most.
    QRect letter;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 30; ++x)
            if (qRed(badge->image.pixel(x, y)) > 200)
                letter |= QRect(x, y, 1, 1);
    ASSERT_TRUE(letter.isValid());
    EXPECT_NEAR(letter.center().x(), 14.5, 1.5);
    EXPECT_NEAR(letter.center().y(), 14.5, 1.5);
    EXPECT_LT(letter.height(), 17);
    EXPECT_GT(letter.height(), 9);
    saveTestArtifact(badge->image.scaled(120, 120), QStringLiteral("north-badge-x4"));

    const auto tiny = northBadgeImage(0.4, 1);
    ASSERT_TRUE(tiny);
    EXPECT_EQ(tiny->side, 1);
    EXPECT_FALSE(northBadgeImage(0, 1));
    EXPECT_FALSE(northBadgeImage(std::nan(""), 1));
    EXPECT_FALSE(northBadgeImage(1e7, 1));
}
