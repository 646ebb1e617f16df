#pragma once

#include "maps/mapoverlaycoordinator.h"
#include "widgets/views/backgroundbuild.h"

#include <QPointer>
#include <QWidget>

#include <QWebEngineView>

namespace routereel {

class WebMapBridge;

// The map widget of the preview: a web map that follows the playhead. The page
// (Mapbox GL JS for the Mapbox provider, else the MapLibre map widget page) is
// chosen once, when the view is made; updates only call its functions.
class MapOverlayView : public QWidget {
    Q_OBJECT
public:
    explicit MapOverlayView(const MapOverlayState &state, QWidget *parent = nullptr);
    ~MapOverlayView() override;

    void setState(const MapOverlayState &state);
    // The page's opacity and its outline: a circle, or a rectangle with rounded
    // corners of `cornerRadius` canvas units.
    void setAppearance(double opacity, MapShape shape, double cornerRadius);
    // Widget pixels per canvas unit: the page is laid out in canvas units.
    void setCanvasScale(double scale);

    MapOverlayCoordinator &coordinator() { return m_coordinator; }
    QWebEngineView *webView() const { return m_webView; }
    // True while a long track's page script is still being built off the main thread.
    bool isPreparingTrack() const { return m_trackScripts.isBuilding(); }

private:
    MapOverlayCoordinator m_coordinator;
    QPointer<QWebEngineView> m_webView;
    // The page keeps the track it has until the script of a new one is ready.
    MapOverlayState m_latest;
    MapTrackData m_pageTrack;
    BackgroundBuild<QString> m_trackScripts{this, [this] { setState(m_latest); }};
};

} // namespace routereel
