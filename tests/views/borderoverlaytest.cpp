#include "support/testartifacts.h"
#include "viewrender.h"
#include "widgets/views/widgetborderoverlay.h"
#include "widgets/views/widgetcompassbadgeview.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace routereel;

namespace {

bool violetish(QRgb px)
{
    const QRgb c = qUnpremultiply(px);
    return qAlpha(px) > 200 && qRed(c) > 190 && qBlue(c) > 200 && qGreen(c) < 140;
}

bool darkish(QRgb px)
{
    return qAlpha(px) > 200 && qRed(px) < 40 && qGreen(px) < 40 && qBlue(px) < 40;
}

} // namespace

TEST(WidgetBorderOverlay, RingsLieOutsideTheOutline)
{
    WidgetBorderOverlay round;
    round.setLayers(borderLayers(MapBorderStyle::gta));
    round.setWidgetSize(QSizeF(200, 200));
    EXPECT_EQ(round.totalWidth(), 10);
    EXPECT_EQ(round.sizeHint(), QSize(220, 220));
    const QImage image = renderView(round);
    // Along the top, from the outside in: dark 2, violet 6, dark 2, then the widget itself.
    EXPECT_TRUE(darkish(image.pixel(110, 1)));
    EXPECT_TRUE(violetish(image.pixel(110, 3)));
    EXPECT_TRUE(violetish(image.pixel(110, 7)));
    EXPECT_TRUE(darkish(image.pixel(110, 9)));
    EXPECT_EQ(qAlpha(image.pixel(110, 12)), 0);
    EXPECT_EQ(qAlpha(image.pixel(110, 110)), 0);
    EXPECT_EQ(qAlpha(image.pixel(4, 4)), 0); // outside the circle
    saveTestArtifact(image, QStringLiteral("view-border-gta-circle"));

    WidgetBorderOverlay rect;
    rect.setLayers(borderLayers(MapBorderStyle::gta));
    rect.setCornerRadius(12);
    rect.setWidgetSize(QSizeF(200, 150));
    const QImage r = renderView(rect);
    EXPECT_EQ(r.size(), QSize(220, 170));
    EXPECT_EQ(qAlpha(r.pixel(2, 2)), 0);   // beyond the outer corner of radius 22
    EXPECT_GT(qAlpha(r.pixel(8, 8)), 200); // inside it
    EXPECT_GT(qAlpha(r.pixel(12, 12)), 0); // the inner edge follows the widget's radius 12
    EXPECT_EQ(qAlpha(r.pixel(17, 17)), 0);
    saveTestArtifact(r, QStringLiteral("view-border-gta-rect"));

    WidgetBorderOverlay thin;
    thin.setLayers(borderLayers(MapBorderStyle::defaultStyle));
    thin.setWidgetSize(QSizeF(100, 100));
    const QImage t = renderView(thin);
    EXPECT_EQ(t.size(), QSize(102, 102)); // 0.8 each side, rounded up
    EXPECT_GT(qAlpha(t.pixel(51, 0)), 60);
    EXPECT_EQ(qAlpha(t.pixel(51, 3)), 0);

    WidgetBorderOverlay none;
    none.setWidgetSize(QSizeF(100, 100));
    EXPECT_EQ(none.sizeHint(), QSize(0, 0));
}

TEST(WidgetCompassBadgeView, SitsOnTheBorderWhereNorthLies)
{
    WidgetCompassBadgeView badge;
    badge.setWidgetSize(QSizeF(200, 200));
    badge.setTotalWidth(10);
    EXPECT_EQ(badge.badgeDiameter(), 20);
    const struct {
        double angle;
        QPointF centre;
    } cases[] = {{0, {100, -5}}, {90, {205, 100}}, {180, {100, 205}}, {-90, {-5, 100}}};
    for (const auto &c : cases) {
        badge.setAngle(c.angle);
        EXPECT_NEAR(badge.badgeCenter().x(), c.centre.x(), 1e-9) << c.angle;
        EXPECT_NEAR(badge.badgeCenter().y(), c.centre.y(), 1e-9) << c.angle;
    }
    badge.setAngle(0);
    const QImage image = renderView(badge); // the view reaches 20 beyond the widget on each side
    EXPECT_EQ(image.size(), QSize(240, 240));
    EXPECT_EQ(image.pixel(120 - 6, 15), qRgba(0, 0, 0, 255)); // black disc around the letter
    EXPECT_EQ(qAlpha(image.pixel(120, 120)), 0);
    bool letter = false;
    for (int y = 10; y < 20; ++y)
        for (int x = 115; x < 125; ++x)
            letter = letter || isWhite(image.pixel(x, y));
    EXPECT_TRUE(letter);
    badge.setAngle(45);
    saveTestArtifact(renderView(badge), QStringLiteral("view-compass-badge"));
}
