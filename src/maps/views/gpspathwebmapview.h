#pragma once

#include "maps/gpspathwebmapcoordinator.h"

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

private:
    GPSPathWebMapCoordinator m_coordinator;
    QPointer<QWebEngineView> m_webView;
};

} // namespace routereel
