#include "maps/gpspathrenderer.h"
#include "maptestutil.h"
#include "tiletestserver.h"

#include <QSet>
#include <gtest/gtest.h>

using namespace routereel;
using maptest::point;

namespace {

QList<TrackPoint> zigzag()
{
    return {point(47.30, 8.50), point(47.34, 8.55), point(47.31, 8.60), point(47.36, 8.65)};
}

bool isPathColour(QRgb c)
{
    return qAlpha(c) == 255 && qRed(c) < 40 && qGreen(c) > 150 && qBlue(c) > 200;
}

bool isDotRed(QRgb c)
{
    return qRed(c) > 220 && qGreen(c) < 90 && qBlue(c) < 90;
}

} // namespace

TEST(GPSPathRenderer, BaseOnBlackWithPathAndDotPerFrame)
{
    GPSPathRenderer renderer(MapProvider::openStreetMap, 300, 150, 0.8, 30);
    EXPECT_TRUE(renderer.renderFrame(zigzag(), 47.3, 8.5).isNull());  // before the base
    ASSERT_TRUE(renderer.renderBase(zigzag(), {0}));
    const QImage base = renderer.baseImage();
    ASSERT_EQ(base.size(), QSize(300, 300));
    EXPECT_EQ(base.format(), QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(qAlpha(base.pixel(3, 3)), 0);          // outside the disc
    EXPECT_EQ(base.pixel(150, 20), qRgb(0, 0, 0));    // black background inside
    // The path passes through every projected point.
    for (const QPointF &p : renderer.projection()->pts)
        EXPECT_TRUE(isPathColour(base.pixel(p.toPoint()))) << p.x() << "," << p.y();

    const QPointF at = renderer.projection()->pts[2];
    const QImage frame = renderer.renderFrame(zigzag(), 47.31, 8.60);
    EXPECT_TRUE(isDotRed(frame.pixel(at.toPoint())));
    EXPECT_EQ(renderer.baseImage(), base);  // frames never draw into the base
    // Far away: clipped, the frame is the base.
    EXPECT_EQ(renderer.renderFrame(zigzag(), 10, 100), base);
    // Fewer than two points: no dot.
    EXPECT_EQ(renderer.renderFrame({point(47.31, 8.60)}, 47.31, 8.60), base);
}

TEST(GPSPathRenderer, DotNearTheRimIsClippedToTheDisc)
{
    GPSPathRenderer renderer(MapProvider::openStreetMap, 200, 200, 1, 0);
    ASSERT_TRUE(renderer.renderBase(zigzag(), {}));
    // With no padding the westernmost point touches the rim; a point beyond lies outside.
    const QPointF west = renderer.projection()->pts[0];
    const QImage frame = renderer.renderFrame(zigzag(), 47.30, 8.4995);
    const QPointF beyond = renderer.projection()->point(47.30, 8.4995);
    EXPECT_LT(beyond.x(), west.x());
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 200; ++x) {
            const double dx = x + 0.5 - 100, dy = y + 0.5 - 100;
            if (dx * dx + dy * dy > 101 * 101) {
                ASSERT_EQ(qAlpha(frame.pixel(x, y)), 0) << x << "," << y;
            }
        }
    }
}

TEST(GPSPathRenderer, NoSizeOrAbsurdSizeNoImages)
{
    for (double size : {0.0, -5.0, 0.5, 1e7, std::nan("")}) {
        GPSPathRenderer renderer(MapProvider::mapbox, size, 100, 1, 10);
        EXPECT_FALSE(renderer.renderBase(zigzag(), {}));
        EXPECT_TRUE(renderer.renderFrame(zigzag(), 47.3, 8.5).isNull());
    }
}

TEST(GPSPathRenderer, WebCaptureBackgroundIsDrawnWithoutPathAndPlacesTheDot)
{
    QImage captured(200, 200, QImage::Format_ARGB32_Premultiplied);
    captured.fill(QColor(200, 180, 160));
    const auto camera = GPSPathFitCamera::fit(zigzag(), 100, 10);
    GPSPathRenderer renderer(MapProvider::openStreetMap, 200, 100, 1, 10);
    renderer.setTileBackground(captured, camera.crossesDateline, camera.lng, camera.lat, camera.zoom);
    ASSERT_TRUE(renderer.renderBase(zigzag(), {}));
    EXPECT_FALSE(renderer.projection().has_value());
    for (const QPoint p : {QPoint(100, 100), QPoint(60, 140), QPoint(150, 70)})
        EXPECT_EQ(renderer.baseImage().pixel(p), qRgb(200, 180, 160));
    const QPointF expected = GPSPathFitCamera::project(47.34, 8.55, camera, 100, 2);
    const QImage frame = renderer.renderFrame(zigzag(), 47.34, 8.55);
    EXPECT_TRUE(isDotRed(frame.pixel(expected.toPoint())));
}

TEST(GPSPathRenderer, TileBackgroundZoomAndPlacement)
{
    EXPECT_EQ(GPSPathRenderer::tileZoom(MapProvider::openStreetMap, 12.7), 13);
    EXPECT_EQ(GPSPathRenderer::tileZoom(MapProvider::mapbox, 12.7), 12);
    EXPECT_EQ(GPSPathRenderer::tileZoom(MapProvider::openStreetMap, 18), 18);
    EXPECT_EQ(GPSPathRenderer::tileZoom(MapProvider::mapbox, 0.4), 1);

    for (const MapProvider provider : {MapProvider::openStreetMap, MapProvider::mapbox}) {
        LoopbackTiles s;
        const auto projection = GPSPathProjection::make(zigzag(), {}, 20.0, 200);
        const QImage background =
            GPSPathRenderer::loadTileBackground(projection, provider, QStringLiteral("tok"), QStringLiteral("en"), 2,
                                                s.cache);
        ASSERT_EQ(background.size(), QSize(400, 400));
        const int z = GPSPathRenderer::tileZoom(provider, projection.zoomFloat);
        for (const auto &t : s.server.requestedTiles())
            EXPECT_EQ(t.z, z);
        // The tile under the middle of the square carries its own colour there.
        const double ts = std::exp2(projection.zoomFloat - z) * 512;
        const int col = int(std::floor(projection.centerPx / ts)), row = int(std::floor(projection.centerPy / ts));
        const QImage tile = TileTestServer::tileImage(z, col, row);
        const QPointF inTile((projection.centerPx - col * ts) / ts * 512, (projection.centerPy - row * ts) / ts * 512);
        // Sample a spot without roads: the tile's flat colour in a plain area near the centre.
        const QRgb expected = tile.pixel(inTile.toPoint());
        const QRgb got = background.pixel(200, 200);
        EXPECT_NEAR(qRed(got), qRed(expected), 40);
        EXPECT_NEAR(qGreen(got), qGreen(expected), 40);
        EXPECT_NEAR(qBlue(got), qBlue(expected), 40);
        EXPECT_FALSE(maptest::isGrey(background.pixel(10, 10)));
    }
}

TEST(GPSPathRenderer, TileBackgroundAcrossTheDatelineWrapsColumns)
{
    LoopbackTiles s;
    const QList<TrackPoint> track{point(-17.0, 179.5), point(-16.5, -179.6)};
    const auto projection = GPSPathProjection::make(track, {}, 10.0, 200);
    ASSERT_TRUE(projection.crossesDateline);
    const QImage background = GPSPathRenderer::loadTileBackground(projection, MapProvider::mapbox, QStringLiteral("tok"),
                                                                  QStringLiteral("en"), 1, s.cache);
    ASSERT_FALSE(background.isNull());
    const int z = GPSPathRenderer::tileZoom(MapProvider::mapbox, projection.zoomFloat);
    QSet<int> columns;
    for (const auto &t : s.server.requestedTiles())
        columns.insert(t.x);
    EXPECT_TRUE(columns.contains(0));
    EXPECT_TRUE(columns.contains((1 << z) - 1));
    for (int c : columns)
        EXPECT_TRUE(c >= 0 && c < (1 << z));
    // No grey gap at the meridian.
    for (int x = 0; x < 200; x += 5)
        EXPECT_FALSE(maptest::isGrey(background.pixel(x, 100))) << x;
}
