#include "webmapfixture.h"

#include "support/testartifacts.h"

#include "maps/gpspathprojectioncache.h"
#include "maps/mappages.h"
#include "maps/views/gpspathoverlayview.h"
#include "maps/views/gpspathwebmapview.h"
#include "maps/views/mapoverlayview.h"

#include <QAccessible>
#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <gtest/gtest.h>

using namespace routereel;
using namespace webmaptest;

namespace {

void moveTo(MapOverlayState &state, int index)
{
    state.currentIndex = index;
    state.mapCenterLng = state.currentLng = state.trackData.points[index].lng;
    state.mapCenterLat = state.currentLat = state.trackData.points[index].lat;
}

QVariant evaluate(QWebEngineView *view, const QString &script)
{
    return webmaptest::evaluate(view->page(), script);
}

} // namespace

TEST(WebMapViews, liveMapRunsHeldScriptsOnceWhenReadyThenOnlyChanges)
{
    REQUIRE_WEBGL();
    ServiceScope service;
    MapOverlayState state;
    state.trackData.points = route(60);
    state.trackData.breaks = {30};
    moveTo(state, 5);
    state.zoomLevel = 16;
    state.appLanguage = QStringLiteral("en");

    MapOverlayView view(state);
    QStringList sent;
    QPointer<QWebEngineView> web = view.webView();
    view.coordinator().setEvaluator([&sent, web](const QString &script) {
        sent << script.left(20);
        if (web)
            web->page()->runJavaScript(script);
    });
    state.appLanguage = QStringLiteral("zh-Hans");
    moveTo(state, 40);
    view.setState(state);
    view.resize(320, 320);
    view.show();

    ASSERT_TRUE(waitFor([&] { return view.coordinator().ready(); }, 60000));
    ASSERT_EQ(sent.size(), 2);
    EXPECT_EQ(sent[0], QStringLiteral("setMapLanguage(\"zh-H"));
    EXPECT_EQ(sent[1], QStringLiteral("updateTrack([[13.4,5"));
    EXPECT_TRUE(waitFor([&] {
        return evaluate(view.webView(), QStringLiteral("JSON.stringify(map.getLayoutProperty('place','text-field'))"))
            .toString()
            .contains(QStringLiteral("name:zh-Hans"));
    }, 20000));
    EXPECT_EQ(evaluate(view.webView(), QStringLiteral("_fullTrack.length")).toInt(), 60);
    EXPECT_EQ(evaluate(view.webView(), QStringLiteral("map.getSource('vis')._data.features.length")).toInt(), 2);
    EXPECT_EQ(evaluate(view.webView(), QStringLiteral("JSON.stringify(map.getLayoutProperty('shield','text-field'))"))
                  .toString(),
              QStringLiteral("[\"get\",\"ref\"]"));

    sent.clear();
    state.appLanguage = QStringLiteral("de");
    view.setState(state);
    // The language call, then the usual tick; never the track again.
    const QString tick = QStringLiteral("tickFrame(40,%1,%2")
                             .arg(MapPages::jsNumber(state.currentLng), MapPages::jsNumber(state.currentLat));
    EXPECT_EQ(sent, (QStringList{QStringLiteral("setMapLanguage(\"de\")"), tick.left(20)}));

    waitFor([] { return false; }, 1500);  // let the tiles arrive before the picture
    saveTestArtifact(view.grab().toImage(), QStringLiteral("webmap-live-view"));
}

TEST(WebMapViews, gpsPathDrawnInPlaceOverBlack)
{
    GPSPathOverlayView view;
    GPSPathOverlayState state;
    state.revision = QUuid::createUuid();
    state.trackPoints = route(50);
    state.currentLat = state.trackPoints[25].lat;
    state.currentLng = state.trackPoints[25].lng;
    state.size = 160;
    view.setState(state);
    view.resize(160, 160);
    EXPECT_EQ(view.webMapView(), nullptr);
    const QImage image = view.grab().toImage();
    saveTestArtifact(image, QStringLiteral("webmap-gpspath-canvas"));
    ASSERT_EQ(image.size(), QSize(160, 160));
    EXPECT_EQ(image.pixelColor(80, 3), QColor(Qt::black));
    EXPECT_NE(image.pixelColor(3, 3), QColor(Qt::black));  // round: the corner shows what lies behind
    const auto projected = GPSPathProjectionCache::path(state.revision, state.trackPoints, {}, state.mapProvider,
                                                        std::nullopt, 160);
    const QPointF dot = projected.projection.point(state.currentLat, state.currentLng);
    const QColor centre = image.pixelColor(dot.toPoint());
    EXPECT_GT(centre.red(), 200);
    EXPECT_LT(centre.green(), 100);
    const QPointF along = projected.projection.point(state.trackPoints[5].lat, state.trackPoints[5].lng);
    EXPECT_GT(image.pixelColor(along.toPoint()).blue(), 150);
    view.resize(80, 80);  // drawn at the widget's size, in canvas units
    EXPECT_GT(view.grab().toImage().pixelColor((dot / 2).toPoint()).red(), 200);
    view.resize(160, 160);

    state.trackPoints.resize(1);
    state.revision = QUuid::createUuid();
    view.setState(state);
    EXPECT_EQ(view.grab().toImage().pixelColor(dot.toPoint()), QColor(Qt::black));
}

TEST(WebMapViews, gpsPathWebMapFollowsProviderAndTokenIdentity)
{
    REQUIRE_WEBGL();
    ServiceScope service;
    GPSPathOverlayView view;
    GPSPathOverlayState state;
    state.revision = QUuid::createUuid();
    state.trackPoints = route(30);
    state.currentLat = state.trackPoints[3].lat;
    state.currentLng = state.trackPoints[3].lng;
    state.size = 200;
    state.showMap = true;
    state.mapLanguage = QStringLiteral("en");
    view.setState(state);
    view.show();
    QPointer<GPSPathWebMapView> first = view.webMapView();
    ASSERT_TRUE(first);
    ASSERT_TRUE(waitFor([&] { return first && first->coordinator().ready(); }, 60000));
    EXPECT_TRUE(waitFor([&] {
        return evaluate(first->webView(), QStringLiteral("map.getSource('path')._data.features.length")).toInt() == 1;
    }, 60000));
    const QVariantList dot =
        evaluate(first->webView(), QStringLiteral("map.getSource('dot')._data.features[0].geometry.coordinates")).toList();
    ASSERT_EQ(dot.size(), 2);
    EXPECT_DOUBLE_EQ(dot[0].toDouble(), state.currentLng);
    EXPECT_DOUBLE_EQ(dot[1].toDouble(), state.currentLat);

    state.currentLng = state.trackPoints[4].lng;
    view.setState(state);
    EXPECT_EQ(view.webMapView(), first.data());
    state.mapboxToken = QStringLiteral("pk.new");
    view.setState(state);
    EXPECT_TRUE(first.isNull()) << "a new token loads a new page in a new view";
    ASSERT_NE(view.webMapView(), nullptr);
    state.showMap = false;
    view.setState(state);
    EXPECT_EQ(view.webMapView(), nullptr);
}

TEST(WebMapViews, liveMapBuildsALongTracksScriptAwayFromTheUpdates)
{
    MapOverlayView view(MapOverlayState{});
    QStringList sent;
    view.coordinator().setEvaluator([&sent](const QString &script) { sent << script; });
    view.coordinator().scriptMessage(QStringLiteral("mapReady"));
    MapOverlayState state;
    state.trackData.points = route(30000);
    moveTo(state, 10);
    sent.clear();
    view.setState(state);
    // The update returns before the 30,000 points are written out; the page keeps what it has meanwhile.
    EXPECT_TRUE(view.isPreparingTrack());
    EXPECT_FALSE(sent.join(QString()).contains(QStringLiteral("updateTrack(")));
    ASSERT_TRUE(waitFor([&] { return !view.isPreparingTrack(); }, 30000));
    const QString track = MapOverlayCoordinator::trackScript(state.trackData);
    ASSERT_EQ(sent.filter(QStringLiteral("updateTrack(")).size(), 1);
    EXPECT_TRUE(sent.filter(QStringLiteral("updateTrack(")).first().startsWith(track));
    EXPECT_TRUE(sent.last().contains(QStringLiteral("tickFrame(10,")));
    // Later updates move the dot only.
    sent.clear();
    moveTo(state, 20);
    view.setState(state);
    EXPECT_FALSE(view.isPreparingTrack());
    EXPECT_EQ(sent.filter(QStringLiteral("updateTrack(")).size(), 0);
    EXPECT_TRUE(sent.join(QString()).contains(QStringLiteral("tickFrame(20,")));
}

TEST(WebMapViews, gpsPathWebMapBuildsALongRoutesScriptAwayFromTheUpdates)
{
    GPSPathWebMapView view(GPSPathWebMapState{});
    QStringList sent;
    view.coordinator().setEvaluator([&sent](const QString &script) { sent << script; });
    view.coordinator().scriptMessage(QStringLiteral("pathMapReady"));
    GPSPathWebMapState state;
    state.revision = QUuid::createUuid();
    state.trackPoints = route(30000);
    state.currentLat = state.trackPoints[10].lat;
    state.currentLng = state.trackPoints[10].lng;
    state.size = 180;
    state.padding = 27;
    sent.clear();
    view.setState(state);
    EXPECT_TRUE(view.isPreparingRoute());
    EXPECT_TRUE(sent.filter(QStringLiteral("initPathMap(")).isEmpty());
    ASSERT_TRUE(waitFor([&] { return !view.isPreparingRoute(); }, 30000));
    ASSERT_EQ(sent.filter(QStringLiteral("initPathMap(")).size(), 1);
    EXPECT_EQ(sent.filter(QStringLiteral("initPathMap(")).first(), GPSPathWebMapCoordinator::routeScript(state).script);
    EXPECT_TRUE(sent.last().startsWith(QStringLiteral("setMarker(")));
    // The dot moves without the route; a new size brings the route again.
    sent.clear();
    state.currentLat = state.trackPoints[20].lat;
    view.setState(state);
    EXPECT_TRUE(sent.filter(QStringLiteral("initPathMap(")).isEmpty());
    EXPECT_EQ(sent.size(), 1);
    state.size = 200;
    view.setState(state);
    ASSERT_TRUE(waitFor([&] { return !view.isPreparingRoute(); }, 30000));
    EXPECT_EQ(sent.filter(QStringLiteral("initPathMap(")).size(), 1);
}

// The preview's maps are pictures: Tab passes them by and no part of them takes the focus, also
// the widget the engine renders into, which it makes once the page loads. Assistive tools see a
// picture named as its overlay, not a page's document that claims the focus.
TEST(WebMapViews, previewMapsTakeNoFocus)
{
    ServiceScope service;
    MapOverlayState state;
    state.trackData.points = route(30);
    moveTo(state, 5);
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *before = new QLineEdit(&window);
    auto *map = new MapOverlayView(state, &window);
    map->setAccessibleName(QStringLiteral("Map"));
    auto *path = new GPSPathWebMapView(GPSPathWebMapState{}, &window);
    auto *after = new QLineEdit(&window);
    for (QWidget *w : std::initializer_list<QWidget *>{before, map, path, after})
        layout->addWidget(w);
    map->setMinimumSize(200, 200);
    path->setMinimumSize(200, 200);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    for (QWebEngineView *web : {map->webView(), path->webView()}) {
        ASSERT_TRUE(waitFor([&] { return web->focusProxy() != nullptr; }, 60000));
        QList<QWidget *> parts = web->findChildren<QWidget *>();
        parts << web;
        for (QWidget *part : std::as_const(parts))
            EXPECT_EQ(part->focusPolicy(), Qt::NoFocus) << part->metaObject()->className();
        QAccessibleInterface *node = QAccessible::queryAccessibleInterface(web);
        ASSERT_TRUE(node);
        EXPECT_EQ(node->childCount(), 0);
        EXPECT_FALSE(node->state().focused);
        EXPECT_FALSE(node->state().focusable);
    }
    EXPECT_EQ(QAccessible::queryAccessibleInterface(map->webView())->text(QAccessible::Name), QStringLiteral("Map"));
    before->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(waitFor([&] { return before->hasFocus(); }));
    QTest::keyClick(before, Qt::Key_Tab);
    QWidget *focus = QApplication::focusWidget();
    EXPECT_TRUE(after->hasFocus()) << (focus ? focus->metaObject()->className() : "nothing");
}
