#include "maps/gpspathfitcamera.h"
#include "maps/gpspathwebmapcoordinator.h"
#include "maps/mapoverlaycoordinator.h"

#include <QStringList>

#include <gtest/gtest.h>

using namespace routereel;

namespace {

QList<TrackPoint> points(std::initializer_list<std::pair<double, double>> lngLat)
{
    QList<TrackPoint> out;
    for (auto [lng, lat] : lngLat) {
        TrackPoint p;
        p.lng = lng;
        p.lat = lat;
        out.append(p);
    }
    return out;
}

MapOverlayState overlayState(int index)
{
    MapOverlayState s;
    s.trackData.points = points({{13.5, 52.5}, {13.25, 52.75}, {13, 53}});
    s.trackData.breaks = {2};
    s.currentIndex = index;
    s.currentLng = 13.3;
    s.currentLat = 52.6;
    s.mapCenterLng = 13.3;
    s.mapCenterLat = 52.6;
    s.bearing = 90;
    s.zoomLevel = 14;
    s.appLanguage = QStringLiteral("en");
    return s;
}

} // namespace

TEST(MapPageOverlayCoordinator, scriptsBeforeReadyCollapseAndRunInOrder)
{
    MapOverlayCoordinator c;
    QStringList sent;
    c.setEvaluator([&](const QString &s) { sent << s; });
    MapOverlayState s = overlayState(1);
    c.update(s);
    s.appLanguage = QStringLiteral("zh-Hans");
    s.trackData.revision = QUuid::createUuid();
    s.trackData.points.append(points({{12, 54}}));
    s.currentIndex = 2;
    c.update(s);
    EXPECT_TRUE(sent.isEmpty());
    c.scriptMessage(QStringLiteral("other"));
    EXPECT_TRUE(sent.isEmpty());
    c.scriptMessage(QStringLiteral("mapReady"));
    ASSERT_EQ(sent.size(), 2);
    EXPECT_EQ(sent[0], QStringLiteral("setMapLanguage(\"zh-Hans\");"));
    EXPECT_EQ(sent[1], QStringLiteral("updateTrack([[13.5,52.5],[13.25,52.75],[13.0,53.0],[12.0,54.0]],[2]);\n"
                                      "tickFrame(2,13.3,52.6,13.3,52.6,90.0,14);"));
    EXPECT_FALSE(c.pendingLang() || c.pendingTrack() || c.pendingPos());
}

TEST(MapPageOverlayCoordinator, onlyWhatChangedIsSent)
{
    MapOverlayCoordinator c;
    QStringList sent;
    c.setEvaluator([&](const QString &s) { sent << s; });
    MapOverlayState s = overlayState(0);
    c.update(s);
    s.currentIndex = -1;  // no position before ready clears the pending tick
    c.update(s);
    EXPECT_FALSE(c.pendingPos().has_value());
    c.scriptMessage(QStringLiteral("mapReady"));
    sent.clear();

    s.currentIndex = 1;
    c.update(s);  // same revision: the tick only
    ASSERT_EQ(sent.size(), 1);
    EXPECT_TRUE(sent[0].startsWith(QStringLiteral("tickFrame(1,")));
    sent.clear();
    s.appLanguage = QStringLiteral("de");
    s.currentIndex = 7;  // out of range: no tick
    c.update(s);
    EXPECT_EQ(sent, QStringList{QStringLiteral("setMapLanguage(\"de\");")});

    sent.clear();
    s.trackData = MapTrackData();
    s.currentIndex = 0;
    c.update(s);
    EXPECT_EQ(sent, QStringList{QStringLiteral("updateTrack([],[]);")});
}

TEST(MapPageOverlayCoordinator, languageIsAnEscapedLiteral)
{
    EXPECT_EQ(MapOverlayCoordinator::languageScript(QStringLiteral("x\");alert(1);//</")),
              QStringLiteral("setMapLanguage(\"x\\\");alert(1);//<\\/\");"));
}

TEST(MapPageGPSPathCoordinator, pendingSlotsRunAsRouteLanguageDot)
{
    GPSPathWebMapCoordinator c;
    QStringList sent;
    c.setEvaluator([&](const QString &s) { sent << s; });
    GPSPathWebMapState s;
    s.revision = QUuid::createUuid();
    s.trackPoints = points({{10, 50}, {10.1, 50.1}});
    s.size = 150;
    s.padding = 22.5;
    s.mapLanguage = QStringLiteral("en");
    s.currentLng = 10.05;
    s.currentLat = 50.05;
    c.update(s);
    s.mapLanguage = QStringLiteral("zh-Hans");
    s.currentLng = 10.07;
    c.update(s);
    s.size = 180;  // width change: route again with a new camera
    c.update(s);
    EXPECT_TRUE(sent.isEmpty());
    c.scriptMessage(QStringLiteral("pathMapReady"));
    ASSERT_EQ(sent.size(), 3);
    const auto camera = GPSPathFitCamera::fit(s.trackPoints, 180, 22.5);
    EXPECT_TRUE(sent[0].startsWith(QStringLiteral("initPathMap(") + GPSPathFitCamera::geoJSON(s.trackPoints, {}) + ", "));
    EXPECT_TRUE(sent[0].endsWith(", " + GPSPathFitCamera::jsonNumber(camera.zoom) + ");"));
    EXPECT_EQ(sent[1], QStringLiteral("setMapLanguage(\"zh-Hans\");"));
    EXPECT_EQ(sent[2], QStringLiteral("setMarker(10.07,50.05);"));

    sent.clear();
    s.mapLanguage = QStringLiteral("en");
    c.update(s);
    EXPECT_EQ(sent, (QStringList{QStringLiteral("setMapLanguage(\"en\");"), QStringLiteral("setMarker(10.07,50.05);")}));
}

TEST(MapPageGPSPathCoordinator, tooFewPointsClearAndDatelineShiftsTheDot)
{
    GPSPathWebMapCoordinator c;
    QStringList sent;
    c.setEvaluator([&](const QString &s) { sent << s; });
    c.scriptMessage(QStringLiteral("pathMapReady"));
    GPSPathWebMapState s;
    s.revision = QUuid::createUuid();
    s.trackPoints = points({{10, 50}});
    s.size = 150;
    s.padding = 22.5;
    c.update(s);
    EXPECT_EQ(sent, (QStringList{QStringLiteral("clearPathMap();"), QStringLiteral("setMapLanguage(\"\");"),
                                 QStringLiteral("clearPathMap();")}));

    sent.clear();
    s.revision = QUuid::createUuid();
    s.trackPoints = points({{179.5, -17}, {-179.6, -17.1}});
    s.currentLng = -179.5;
    s.currentLat = -17.05;
    c.update(s);
    EXPECT_TRUE(c.crossesDateline());
    EXPECT_EQ(sent.last(), QStringLiteral("setMarker(180.5,-17.05);"));
}

TEST(MapPageGPSPathCoordinator, aLateReadyWithoutWebViewEmptiesTheSlots)
{
    GPSPathWebMapCoordinator c;
    GPSPathWebMapState s;
    s.revision = QUuid::createUuid();
    c.update(s);
    ASSERT_TRUE(c.pendingInit() && c.pendingLang() && c.pendingPos());
    c.scriptMessage(QStringLiteral("pathMapReady"));
    EXPECT_FALSE(c.pendingInit() || c.pendingLang() || c.pendingPos());
}
