#include "maps/tilemaprenderer.h"
#include "maptestutil.h"
#include "tiletestserver.h"

#include <QSet>
#include <gtest/gtest.h>

using namespace routereel;
using maptest::point;

namespace {

constexpr double lat0 = 47.37;
constexpr double lng0 = 8.54;

// An OSM map widget of `size` pixels over the loopback tiles, at map zoom 15 unless told otherwise.
std::unique_ptr<TileMapRenderer> osm(LoopbackTiles &s, MapShape shape, QSizeF size, double radius = 0, int zoom = 15)
{
    return std::make_unique<TileMapRenderer>(std::nullopt, shape, MapProvider::openStreetMap, QString(), zoom,
                                             QString(), size, radius, s.cache);
}

// A frame centred on (lat0, lng0) with the position there too.
QImage atCentre(TileMapRenderer &renderer, const QList<TrackPoint> &track, int index, double bearing = 0)
{
    return renderer.renderFrame(track, index, lat0, lng0, lat0, lng0, bearing);
}

// World width of the renderer's zoom for OSM at map zoom 15 (zoom 16, 256-pixel tiles).
const double osmWorld15 = std::exp2(16) * 256;

} // namespace

TEST(TileMapRenderer, TileZoomPerProvider)
{
    struct Case {
        MapProvider provider;
        int mapZoom;
        int fetchZoom;
        double tileWorld;
    };
    for (const Case &c : {Case{MapProvider::openStreetMap, 15, 16, 256}, Case{MapProvider::mapbox, 15, 15, 512},
                          Case{MapProvider::openStreetMap, 22, 20, 2048}, Case{MapProvider::mapbox, 22, 22, 512}}) {
        LoopbackTiles s;
        TileMapRenderer renderer(std::nullopt, MapShape::roundedRect, c.provider, QStringLiteral("tok"), c.mapZoom,
                                 QStringLiteral("en"), QSizeF(200, 200), 12, s.cache);
        EXPECT_EQ(renderer.fetchZoom(), c.fetchZoom);
        EXPECT_DOUBLE_EQ(renderer.fetchedTileWorldSize(), c.tileWorld);
        const QImage frame = atCentre(renderer, {point(lat0, lng0)}, 0);
        ASSERT_FALSE(frame.isNull());
        EXPECT_EQ(frame.format(), QImage::Format_ARGB32_Premultiplied);
        const QList<TileTestServer::TileId> tiles = s.server.requestedTiles();
        ASSERT_FALSE(tiles.isEmpty());
        for (const auto &t : tiles)
            EXPECT_EQ(t.z, c.fetchZoom);
        // The map is drawn at every zoom, never left grey.
        EXPECT_FALSE(maptest::isGrey(frame.pixel(30, 40)));
        EXPECT_FALSE(maptest::isGrey(frame.pixel(170, 160)));
        // Tiles kept at their drawn size take no more than those of the window at the
        // service's own zooms, enlarged ones included.
        const double side = TileCache::worldTileSize(c.provider) + 1;
        EXPECT_LE(renderer.scaledTileBytes(), qint64(9 * 4 * side * side));
    }
}

TEST(TileMapRenderer, BearingTurnsTheMapAboveOneTenthOfADegree)
{
    LoopbackTiles s;
    const auto renderer = osm(s, MapShape::roundedRect, QSizeF(200, 200));
    // A line from 50 px north of the centre to the centre.
    const QList<TrackPoint> track{maptest::offset(lat0, lng0, 0, -50, osmWorld15), point(lat0, lng0)};
    const auto frame = [&](double bearing) { return atCentre(*renderer, track, 1, bearing); };
    const QImage north = frame(0);
    EXPECT_TRUE(maptest::isTravelledLine(north.pixel(100, 70)));
    EXPECT_FALSE(maptest::isTravelledLine(north.pixel(70, 100)));
    EXPECT_EQ(frame(0.1), north);
    EXPECT_EQ(frame(-0.1), north);
    EXPECT_NE(frame(0.11), north);
    // Positive turns counter-clockwise: north ends up on the left, or on the right when negative.
    EXPECT_TRUE(maptest::isTravelledLine(frame(90).pixel(70, 100)));
    EXPECT_TRUE(maptest::isTravelledLine(frame(-90).pixel(130, 100)));
    // The enlarged window fills the corners of the turned map.
    const QImage turned = frame(45);
    EXPECT_FALSE(maptest::isGrey(turned.pixel(3, 3)));
    EXPECT_EQ(qAlpha(turned.pixel(3, 3)), 255);
}

TEST(TileMapRenderer, TurnedRectangleIsCoveredToItsCorners)
{
    LoopbackTiles s;
    s.server.setMode(TileTestServer::Mode::notFound);  // only the grey window shows
    const auto renderer = osm(s, MapShape::roundedRect, QSizeF(200, 100), 8);
    for (double bearing : {0.0, 30.0, 90.0, -135.0}) {
        const QImage frame = atCentre(*renderer, {point(lat0, lng0)}, 0, bearing);
        for (const QPoint p : {QPoint(60, 50), QPoint(4, 50), QPoint(196, 50), QPoint(10, 5), QPoint(190, 95)})
            EXPECT_TRUE(maptest::isGrey(frame.pixel(p))) << bearing << " " << p.x() << "," << p.y();
    }
}

TEST(TileMapRenderer, TrackAcrossTheDatelineStaysOneLine)
{
    LoopbackTiles s;
    const auto renderer = osm(s, MapShape::roundedRect, QSizeF(200, 200));
    const QList<TrackPoint> track{point(0, 179.998), point(0, -179.998)};
    const QImage frame = renderer->renderFrame(track, 1, 0, 180, 0, -179.998, 0);
    ASSERT_FALSE(frame.isNull());
    for (int x : {40, 100, 140})
        EXPECT_TRUE(maptest::isTravelledLine(frame.pixel(x, 100))) << x;
    QSet<int> columns;
    for (const auto &t : s.server.requestedTiles())
        columns.insert(t.x);
    EXPECT_TRUE(columns.contains(0));
    EXPECT_TRUE(columns.contains((1 << 16) - 1));
    for (const QPoint &t : renderer->tilesAround(0, 180, 200, 200))
        EXPECT_TRUE(t.x() == 0 || t.x() == (1 << 16) - 1) << t.x();
}

TEST(TileMapRenderer, LinesDotAndOutline)
{
    LoopbackTiles s;
    const auto circle = osm(s, MapShape::circle, QSizeF(200, 200));
    const TrackPoint west = maptest::offset(lat0, lng0, -60, 0, osmWorld15);
    const TrackPoint east = maptest::offset(lat0, lng0, 60, 0, osmWorld15);
    const QList<TrackPoint> track{west, point(lat0, lng0), east};

    // Index 0: no travelled line; beyond the end: travelled to the last point.
    const QImage start = circle->renderFrame(track, 0, lat0, lng0, west.lat, west.lng, 0);
    EXPECT_FALSE(maptest::isTravelledLine(start.pixel(100, 100)));
    const QImage end = circle->renderFrame(track, 99, lat0, lng0, east.lat, east.lng, 0);
    EXPECT_TRUE(maptest::isTravelledLine(end.pixel(100, 100)));
    EXPECT_TRUE(maptest::isTravelledLine(end.pixel(140, 100)));
    // Mid-way: travelled up to the dot only.
    const QImage middle = atCentre(*circle, track, 1);
    EXPECT_TRUE(maptest::isTravelledLine(middle.pixel(60, 100)));
    EXPECT_FALSE(maptest::isTravelledLine(middle.pixel(140, 100)));
    // Red dot with white ring at the position.
    const QRgb dot = middle.pixel(100, 100);
    EXPECT_GT(qRed(dot), 230);
    EXPECT_LT(qGreen(dot), 80);
    // Circle outline: corners transparent, centre opaque.
    EXPECT_EQ(qAlpha(middle.pixel(2, 2)), 0);
    EXPECT_EQ(qAlpha(middle.pixel(197, 197)), 0);
    EXPECT_EQ(qAlpha(middle.pixel(100, 3)), 255);

    // A segment start breaks the line.
    QList<TrackPoint> broken = track;
    broken[1].startsSegment = true;
    broken[1].id = QUuid::createUuid();
    broken[0].id = QUuid::createUuid();
    const QImage gap = circle->renderFrame(broken, 2, lat0, lng0, east.lat, east.lng, 0);
    EXPECT_FALSE(maptest::isTravelledLine(gap.pixel(70, 100)));
    EXPECT_TRUE(maptest::isTravelledLine(gap.pixel(130, 100)));

    // One point: no line, still the dot.
    const QImage single = atCentre(*circle, {point(lat0, lng0)}, 0);
    EXPECT_GT(qRed(single.pixel(100, 100)), 230);
    EXPECT_LT(qGreen(single.pixel(100, 100)), 80);

    const QImage r = atCentre(*osm(s, MapShape::roundedRect, QSizeF(200, 120), 20), track, 1);
    EXPECT_EQ(r.size(), QSize(200, 120));
    EXPECT_EQ(qAlpha(r.pixel(1, 1)), 0);
    EXPECT_EQ(qAlpha(r.pixel(20, 1)), 255);
    EXPECT_EQ(qAlpha(r.pixel(1, 60)), 255);
}

TEST(TileMapRenderer, InvalidInputGivesNoImage)
{
    LoopbackTiles s;
    const auto renderer = osm(s, MapShape::circle, QSizeF(100, 100));
    const QList<TrackPoint> track{point(lat0, lng0)};
    const double nan = std::nan("");
    struct Case {
        double cLat, cLng, pLat, pLng, bearing;
    };
    for (const Case &c : {Case{nan, lng0, lat0, lng0, 0}, Case{lat0, lng0, lat0, lng0, nan}, Case{91, lng0, lat0, lng0, 0},
                          Case{lat0, 180.5, lat0, lng0, 0}, Case{lat0, lng0, lat0, -181, 0},
                          Case{lat0, lng0, lat0, lng0, INFINITY}})
        EXPECT_TRUE(renderer->renderFrame(track, 0, c.cLat, c.cLng, c.pLat, c.pLng, c.bearing).isNull());
    EXPECT_TRUE(atCentre(*renderer, {}, 0).isNull());
    for (const QSizeF size : {QSizeF(0, 100), QSizeF(100000, 100000), QSizeF(std::nan(""), 100)}) {
        TileMapRenderer absurd(QSizeF(100, 100), MapShape::circle, MapProvider::openStreetMap, {}, 15, {}, size, 0, s.cache);
        EXPECT_TRUE(atCentre(absurd, track, 0).isNull());
    }
    EXPECT_TRUE(renderer->tilesAround(nan, 0, 100, 100).isEmpty());
    EXPECT_TRUE(renderer->tilesAround(0, 200, 100, 100).isEmpty());

    // Near the pole the rows beyond the world stay grey and are never asked for.
    const auto world = osm(s, MapShape::circle, QSizeF(100, 100), 0, 1);
    const QImage polar = world->renderFrame({point(85.05, 0)}, 0, 85.05, 0, 85.05, 0, 0);
    EXPECT_FALSE(maptest::isGrey(polar.pixel(50, 70)));
    EXPECT_TRUE(maptest::isGrey(polar.pixel(50, 10)));
    for (const auto &t : s.server.requestedTiles())
        EXPECT_GE(t.y, 0);
}

TEST(TileMapRenderer, PreloadFetchesWhatFramesNeed)
{
    LoopbackTiles s;
    TileMapRenderer renderer(std::nullopt, MapShape::circle, MapProvider::mapbox, QStringLiteral("tok"), 14,
                             QStringLiteral("en"), QSizeF(150, 150), 0, s.cache);
    const double world = std::exp2(14) * 512;
    QList<TrackPoint> track;
    for (int i = 0; i < 400; ++i)
        track.append(maptest::offset(lat0, lng0, i * 5.0, std::sin(i / 20.0) * 300, world));
    renderer.preload(track);
    const int preloaded = s.server.requestCount();
    EXPECT_GT(preloaded, 4);
    const QList<QByteArray> targets = s.server.requestedTargets();
    EXPECT_EQ(QSet<QByteArray>(targets.begin(), targets.end()).size(), preloaded);
    for (int i = 0; i < track.size(); i += 7) {
        for (double bearing : {0.0, 33.0})
            renderer.renderFrame(track, i, track[i].lat, track[i].lng, track[i].lat, track[i].lng, bearing);
    }
    EXPECT_EQ(s.server.requestCount(), preloaded);
    renderer.preload({});
    bool asked = false;
    renderer.preload(track, [&] {
        asked = true;
        return true;
    });
    EXPECT_TRUE(asked);
    EXPECT_EQ(s.server.requestCount(), preloaded);
}

TEST(TileMapRenderer, GeometryIsReusedForTheSameTrackEnds)
{
    LoopbackTiles s;
    const auto renderer = osm(s, MapShape::roundedRect, QSizeF(200, 200));
    QList<TrackPoint> track{maptest::offset(lat0, lng0, -80, -60, osmWorld15), maptest::offset(lat0, lng0, 0, -60, osmWorld15),
                            maptest::offset(lat0, lng0, 80, -60, osmWorld15), point(lat0, lng0)};
    const QImage first = atCentre(*renderer, track, 3);
    EXPECT_TRUE(maptest::isTravelledLine(first.pixel(100, 40)));
    // Same ends and count: the stored geometry is drawn, although a middle point moved.
    track[1] = maptest::offset(lat0, lng0, 0, 60, osmWorld15);
    EXPECT_EQ(atCentre(*renderer, track, 3), first);
    // Another end: rebuilt.
    track[3].id = QUuid::createUuid();
    const QImage rebuilt = atCentre(*renderer, track, 3);
    EXPECT_FALSE(maptest::isTravelledLine(rebuilt.pixel(100, 40)));
    EXPECT_TRUE(maptest::isTravelledLine(rebuilt.pixel(100, 160)));
}

// Only the lines that can show are drawn: whatever the track does far away, the frame is the same.
TEST(TileMapRenderer, FarPartsOfTheTrackChangeNothingDrawn)
{
    LoopbackTiles s;
    const auto renderer = osm(s, MapShape::circle, QSizeF(200, 200));
    const auto track = [](double far) {
        QList<TrackPoint> points{maptest::offset(lat0, lng0, -60, 10, osmWorld15), point(lat0, lng0),
                                 maptest::offset(lat0, lng0, 60, -10, osmWorld15),
                                 maptest::offset(lat0, lng0, 900, 0, osmWorld15)};
        for (int i = 0; i < 500; ++i)
            points.append(maptest::offset(lat0, lng0, 1000 + i * 3, (i % 2 ? far : -far), osmWorld15));
        // Back through the window from the same far point.
        points.append(maptest::offset(lat0, lng0, 2600, 0, osmWorld15));
        points.append(maptest::offset(lat0, lng0, -50, 70, osmWorld15));
        return points;
    };
    const QList<TrackPoint> a = track(400);
    const QList<TrackPoint> b = track(1500);
    const int last = int(a.size()) - 1;
    for (double bearing : {0.0, 40.0}) {
        const QImage near = renderer->renderFrame(a, last, lat0, lng0, a[last].lat, a[last].lng, bearing);
        const QImage other = renderer->renderFrame(b, last, lat0, lng0, b[last].lat, b[last].lng, bearing);
        ASSERT_FALSE(near.isNull());
        EXPECT_TRUE(near == other) << bearing;
    }
}
