#include "maps/gpspathfitcamera.h"
#include "maps/gpspathprojection.h"
#include "maps/gpspathprojectioncache.h"

#include "support/trackfixtures.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPolygonF>
#include <gtest/gtest.h>

#include <cmath>

using namespace routereel;

namespace {

QList<TrackPoint> track(std::initializer_list<std::pair<double, double>> latLngs)
{
    QList<TrackPoint> out;
    for (const auto &[lat, lng] : latLngs)
        out.append(testsupport::trackPoint(lat, lng));
    return out;
}

} // namespace

TEST(GPSPathGeometry, EmptyTrackCentresOnNullIslandAtZoom18)
{
    const auto camera = GPSPathFitCamera::fit({}, 200, 20);
    EXPECT_EQ(camera, (GPSPathFitCamera::Camera{0, 0, 18, false}));
    EXPECT_EQ(GPSPathFitCamera::geoJSON({}, {}), QStringLiteral("{\"type\":\"FeatureCollection\",\"features\":[]}"));
    const auto projection = GPSPathProjection::make({}, {}, std::nullopt, 200);
    EXPECT_EQ(projection.zoom, 18);
    EXPECT_TRUE(projection.pts.isEmpty());
    EXPECT_DOUBLE_EQ(projection.centerPx, std::exp2(18) * 512 / 2);
    EXPECT_DOUBLE_EQ(projection.centerPy, std::exp2(18) * 512 / 2);
}

TEST(GPSPathGeometry, SinglePointSitsInTheMiddle)
{
    const auto points = track({{47.3, 8.5}});
    EXPECT_DOUBLE_EQ(GPSPathFitCamera::fit(points, 200, 20).zoom, 18);
    const auto projection = GPSPathProjection::make(points, {}, 20.0, 200);
    ASSERT_EQ(projection.pts.size(), 1);
    EXPECT_NEAR(projection.pts[0].x(), 100, 1e-6);
    EXPECT_NEAR(projection.pts[0].y(), 100, 1e-6);
}

TEST(GPSPathGeometry, FitPlacesTheTrackInsideThePadding)
{
    // A track wider than high: its x extent must fill exactly size - 2 * padding.
    const auto points = track({{47.0, 8.0}, {47.1, 8.5}, {47.05, 8.2}});
    const auto projection = GPSPathProjection::make(points, {}, 30.0, 300);
    const QRectF box = QPolygonF(projection.pts).boundingRect();
    EXPECT_NEAR(box.left(), 30, 1e-6);
    EXPECT_NEAR(box.right(), 270, 1e-6);
    EXPECT_GT(box.top(), 30);
    EXPECT_LT(box.bottom(), 270);
    // The centre of the bounds (mid latitude, mid longitude) is the middle of the square.
    const QPointF centre = projection.point(47.05, 8.25);
    EXPECT_NEAR(centre.x(), 150, 1e-6);
    EXPECT_NEAR(centre.y(), 150, 1e-6);
    // North is up: the northern point has the smaller y.
    EXPECT_LT(projection.pts[1].y(), projection.pts[0].y());
    const auto camera = GPSPathFitCamera::fit(points, 300, 30);
    EXPECT_DOUBLE_EQ(camera.zoom, projection.zoomFloat);
    EXPECT_DOUBLE_EQ(camera.lng, 8.25);
    EXPECT_DOUBLE_EQ(camera.lat, 47.05);
    // The camera projection of a captured image agrees with the projection.
    const QPointF viaCamera = GPSPathFitCamera::project(47.1, 8.5, camera, 300, 2);
    EXPECT_NEAR(viaCamera.x(), projection.pts[1].x() * 2, 1e-6);
    EXPECT_NEAR(viaCamera.y(), projection.pts[1].y() * 2, 1e-6);
}

TEST(GPSPathGeometry, DatelineCrossingStaysOnePiece)
{
    const auto points = track({{10, 170}, {11, -170}});
    const auto camera = GPSPathFitCamera::fit(points, 200, 20);
    EXPECT_TRUE(camera.crossesDateline);
    EXPECT_DOUBLE_EQ(camera.lng, 180);
    const auto projection = GPSPathProjection::make(points, {}, 20.0, 200);
    // Side by side: both within the square rather than at opposite world edges.
    EXPECT_NEAR(projection.pts[0].x(), 20, 1e-6);
    EXPECT_NEAR(projection.pts[1].x(), 180, 1e-6);
    EXPECT_EQ(GPSPathFitCamera::geoJSON(points, {}),
              QStringLiteral("{\"type\":\"FeatureCollection\",\"features\":[{\"type\":\"Feature\",\"geometry\":"
                             "{\"type\":\"LineString\",\"coordinates\":[[170.0,10.0],[190.0,11.0]]}}]}"));
    // A position given in the usual range lands beside the track too.
    const QPointF p = projection.point(10.5, -175);
    EXPECT_GT(p.x(), 20);
    EXPECT_LT(p.x(), 180);

    // A span of exactly 180 is no crossing.
    EXPECT_FALSE(GPSPathFitCamera::fit(track({{0, -90}, {0, 90}}), 200, 20).crossesDateline);
}

TEST(GPSPathGeometry, ZoomLimits)
{
    // A world-wide track: the camera may go to 0, the projection stays at 1 or more.
    const auto points = track({{-80, -179}, {80, 179}});
    EXPECT_DOUBLE_EQ(GPSPathFitCamera::fit(points, 200, 20).zoom, 0);
    EXPECT_DOUBLE_EQ(GPSPathProjection::make(points, {}, 20.0, 200).zoomFloat, 1);
    // Padding larger than the square: the available width counts as 1.
    const auto tiny = track({{0, 0}, {0, 360.0 / 512}});  // one world pixel wide at zoom 0
    EXPECT_NEAR(GPSPathFitCamera::fit(tiny, 100, 80).zoom, 0, 1e-9);
    // Latitudes beyond the Mercator limit project as the limit.
    const auto polar = GPSPathProjection::make(track({{89, 0}, {85.0511287798, 1}}), {}, 0.0, 100);
    EXPECT_NEAR(polar.pts[0].y(), polar.pts[1].y(), 1e-6);
}

TEST(GPSPathGeometry, GeoJSONRunsAndNumbers)
{
    const auto points = track({{1, 2}, {1.5, 2.5}, {3, 4}, {5, 6}, {7, 8}, {0.00001, 1e-7}});
    struct Case {
        QList<int> breaks;
        int features;
    };
    // Break at 3 and 4 isolates point 3 (dropped); break 0 and out-of-range breaks change nothing.
    for (const Case &c : {Case{{}, 1}, Case{{0, 99}, 1}, Case{{3, 4}, 2}, Case{{1, 2, 3, 4, 5}, 0}}) {
        const QString text = GPSPathFitCamera::geoJSON(points, c.breaks);
        EXPECT_FALSE(text.contains(QLatin1Char(' ')));
        const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8());
        ASSERT_TRUE(doc.isObject()) << text.toStdString();
        EXPECT_EQ(doc.object().value(QLatin1String("features")).toArray().size(), c.features) << text.toStdString();
    }
    const QString all = GPSPathFitCamera::geoJSON(points, {3, 4});
    EXPECT_TRUE(all.contains(QStringLiteral("[[2.0,1.0],[2.5,1.5],[4.0,3.0]]"))) << all.toStdString();
    EXPECT_TRUE(all.contains(QStringLiteral("[[8.0,7.0],[1e-07,1e-05]]"))) << all.toStdString();

    struct Number {
        double value;
        const char *text;
    };
    for (const Number &n : {Number{8, "8.0"}, Number{-0.5, "-0.5"}, Number{0.1, "0.1"}, Number{1e-5, "1e-05"},
                            Number{0.0001, "0.0001"}, Number{47.123456789012345, "47.123456789012344"},
                            Number{-179.99999999999997, "-179.99999999999997"}, Number{0, "0.0"}}) {
        EXPECT_EQ(GPSPathFitCamera::jsonNumber(n.value), QString::fromLatin1(n.text));
        EXPECT_EQ(GPSPathFitCamera::jsonNumber(n.value).toDouble(), n.value);
    }
}

TEST(GPSPathGeometry, ProjectionMemoKeysOnRevisionEndsAndCount)
{
    const QUuid revision = QUuid::createUuid();
    auto points = track({{47.0, 8.0}, {47.1, 8.1}, {47.2, 8.2}});
    const int before = GPSPathProjectionCache::buildCount();
    const auto first = GPSPathProjectionCache::path(revision, points, {0}, MapProvider::openStreetMap, 10.0, 200);
    points[1].lat = 40;  // a change between the ends does not change the key
    const auto second = GPSPathProjectionCache::path(revision, points, {0}, MapProvider::openStreetMap, 10.0, 200);
    EXPECT_EQ(GPSPathProjectionCache::buildCount(), before + 1);
    EXPECT_EQ(second.projection.pts, first.projection.pts);
    EXPECT_EQ(second.path, first.path);

    // Each key field on its own makes a new projection; a NaN size is never remembered.
    struct Key {
        QUuid revision;
        QList<int> breaks;
        MapProvider provider;
        std::optional<double> padding;
        double size;
        bool built;
    };
    const QUuid other = QUuid::createUuid();
    const MapProvider osm = MapProvider::openStreetMap, mapbox = MapProvider::mapbox;
    int builds = GPSPathProjectionCache::buildCount();
    for (const Key &k : {Key{other, {0}, osm, 10.0, 200, true}, Key{revision, {0}, mapbox, 10.0, 200, true},
                         Key{revision, {0}, mapbox, {}, 200, true}, Key{revision, {0, 2}, mapbox, {}, 200, true},
                         Key{revision, {0, 2}, mapbox, {}, 200, false}, Key{revision, {0, 2}, mapbox, {}, 150, true},
                         Key{revision, {0, 2}, mapbox, {}, std::nan(""), true},
                         Key{revision, {0, 2}, mapbox, {}, std::nan(""), true}}) {
        GPSPathProjectionCache::path(k.revision, points, k.breaks, k.provider, k.padding, k.size);
        EXPECT_EQ(GPSPathProjectionCache::buildCount(), builds += k.built) << k.size;
    }
    const auto broken = GPSPathProjectionCache::path(revision, points, {0, 2}, MapProvider::mapbox, std::nullopt, 150);
    // A break starts a new subpath: two move-to elements.
    int moves = 0;
    for (int i = 0; i < broken.path.elementCount(); ++i)
        moves += broken.path.elementAt(i).isMoveTo();
    EXPECT_EQ(moves, 2);
}
