#pragma once

#include "maps/gpspathwebmapcoordinator.h"
#include "widgets/views/backgroundbuild.h"

#include <QPointer>
#include <QWidget>

#include <QWebEngineView>

namespace routereel {

// The GPS path widget's preview with a map behind the route: a web page
// (Mapbox GL JS for the Mapbox provider, else the MapLibre GPS path page) that
// gets the route when it changes and the dot on every update.
class GPSPathWebMapView : public QWidget {
    Q_OBJECT
public:
    explicit GPSPathWebMapView(const GPSPathWebMapState &state, QWidget *parent = nullptr);
    ~GPSPathWebMapView() override;

    void setState(const GPSPathWebMapState &state);

    GPSPathWebMapCoordinator &coordinator() { return m_coordinator; }
    QWebEngineView *webView() const { return m_webView; }
    // True while a long route's page script is still being built off the main thread.
    bool isPreparingRoute() const { return m_routes.isBuilding(); }

private:
    GPSPathWebMapCoordinator m_coordinator;
    QPointer<QWebEngineView> m_webView;
    // The page keeps the route it has until the script of a new one is ready.
    GPSPathWebMapState m_latest;
    GPSPathWebMapState m_pageRoute;
    BackgroundBuild<GPSPathWebMapCoordinator::RouteScript> m_routes{this, [this] { setState(m_latest); }};
};

} // namespace routereel
