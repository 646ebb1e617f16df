#include "maps/gpspathrenderer.h"
#include "maps/tilemaprenderer.h"
#include "maptestutil.h"
#include "support/testartifacts.h"
#include "tiletestserver.h"

#include <QPainter>
#include <gtest/gtest.h>

#include <cmath>

using namespace routereel;

// Writes the map widgets over loopback tiles to the test-artefact folder for a person to look at.
TEST(MapArtefacts, WidgetsOverLoopbackTiles)
{
    LoopbackTiles tiles;
    TileCache &cache = tiles.cache;

    // A loop with a break, around Zurich.
    const double world = std::exp2(16) * 256;
    QList<TrackPoint> track;
    for (int i = 0; i <= 300; ++i) {
        const double a = i / 300.0 * 2 * M_PI;
        TrackPoint p = maptest::offset(47.37, 8.54, 260 * std::cos(a) + 40 * std::sin(3 * a), 180 * std::sin(a), world);
        p.startsSegment = i == 200;
        track.append(p);
    }
    const int index = 120;
    const TrackPoint &here = track[index];
    const double heading = 35;

    struct Variant {
        const char *name;
        MapShape shape;
        QSizeF size;
        double bearing;
    };
    for (const Variant &v : {Variant{"map-circle-north", MapShape::circle, {200, 200}, 0},
                             Variant{"map-circle-follow", MapShape::circle, {200, 200}, heading},
                             Variant{"map-rect-north", MapShape::roundedRect, {200, 140}, 0},
                             Variant{"map-rect-follow", MapShape::roundedRect, {200, 140}, heading}}) {
        // Rendered at twice the reference size, as for a 4K export.
        TileMapRenderer renderer(v.size, v.shape, MapProvider::openStreetMap, {}, 15, {}, v.size * 2, 24, cache);
        const QImage frame = renderer.renderFrame(track, index, here.lat, here.lng, here.lat, here.lng, v.bearing);
        ASSERT_FALSE(frame.isNull());
        int travelled = 0;
        for (int y = 0; y < frame.height(); ++y)
            for (int x = 0; x < frame.width(); ++x)
                travelled += maptest::isTravelledLine(frame.pixel(x, y));
        EXPECT_GT(travelled, 300) << v.name;
        // On a dark checkerboard, so the outline and transparency show.
        QImage sheet(frame.size(), QImage::Format_ARGB32_Premultiplied);
        QPainter p(&sheet);
        for (int y = 0; y < sheet.height(); y += 16)
            for (int x = 0; x < sheet.width(); x += 16)
                p.fillRect(x, y, 16, 16, ((x + y) / 16) % 2 ? QColor(40, 40, 40) : QColor(70, 70, 70));
        p.drawImage(0, 0, frame);
        p.end();
        EXPECT_TRUE(saveTestArtifact(sheet, QStringLiteral("maps-") + QLatin1String(v.name)));
    }

    for (const bool withMap : {true, false}) {
        GPSPathRenderer renderer(MapProvider::openStreetMap, 400, 200, 1, 20);
        if (withMap) {
            const auto projection = GPSPathProjection::make(track, {200}, 20.0, 400);
            const QImage background =
                GPSPathRenderer::loadTileBackground(projection, MapProvider::openStreetMap, {}, {}, 1, cache);
            ASSERT_FALSE(background.isNull());
            renderer.setTileBackground(background);
        }
        ASSERT_TRUE(renderer.renderBase(track, {0, 200}));
        const QImage frame = renderer.renderFrame(track, here.lat, here.lng);
        ASSERT_FALSE(frame.isNull());
        EXPECT_TRUE(saveTestArtifact(frame, withMap ? QStringLiteral("maps-gpspath-map") : QStringLiteral("maps-gpspath-black")));
    }
}
