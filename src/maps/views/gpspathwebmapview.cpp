#include "maps/views/gpspathwebmapview.h"

#include "maps/mappages.h"
#include "maps/views/webmapviewsupport.h"

namespace routereel {

GPSPathWebMapView::GPSPathWebMapView(const GPSPathWebMapState &state, QWidget *parent) : QWidget(parent)
{
    const QString html = state.mapProvider == MapProvider::mapbox ? MapPages::mapboxPathPageHTML(state.mapboxToken)
                                                                  : MapPages::gpsPathPageHTML(0, 0, 0, true);
    m_webView = makePreviewMapView(this, html, [this](const QString &name) { m_coordinator.scriptMessage(name); });
    m_coordinator.setEvaluator(pageScriptRunner(m_webView));
    m_coordinator.update(state);
}

GPSPathWebMapView::~GPSPathWebMapView()
{
    m_coordinator.setEvaluator({});
    dismantlePreviewMapView(m_webView);
}

void GPSPathWebMapView::setState(const GPSPathWebMapState &state)
{
    m_coordinator.update(state);
}

} // namespace routereel
