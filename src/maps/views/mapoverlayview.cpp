#include "maps/views/mapoverlayview.h"

#include "maps/mappages.h"
#include "maps/views/webmapviewsupport.h"

#include <algorithm>
#include <cmath>

namespace routereel {

MapOverlayView::MapOverlayView(const MapOverlayState &state, QWidget *parent) : QWidget(parent)
{
    const QString html = state.mapProvider == MapProvider::mapbox
        ? MapPages::mapboxWidgetPageHTML(state.mapboxToken)
        : MapPages::mapWidgetPageHTML(0, 0, 0, true);
    m_webView = makePreviewMapView(this, html, [this](const QString &name) { m_coordinator.scriptMessage(name); });
    m_coordinator.setEvaluator(pageScriptRunner(m_webView));
    m_coordinator.update(state);
}

MapOverlayView::~MapOverlayView()
{
    m_coordinator.setEvaluator({});
    dismantlePreviewMapView(m_webView);
}

void MapOverlayView::setState(const MapOverlayState &state)
{
    m_coordinator.update(state);
}

void MapOverlayView::setAppearance(double opacity, MapShape shape, double cornerRadius)
{
    const double r = std::isfinite(cornerRadius) ? std::max(0.0, cornerRadius) : 0.0;
    setPreviewMapStyle(m_webView, opacity,
                       shape == MapShape::circle ? QStringLiteral("circle(50%)")
                                                 : QStringLiteral("inset(0 round %1px)").arg(r));
}

void MapOverlayView::setCanvasScale(double scale)
{
    setPreviewMapScale(m_webView, scale);
}

} // namespace routereel
