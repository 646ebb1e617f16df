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
    setState(state);
}

MapOverlayView::~MapOverlayView()
{
    m_coordinator.setEvaluator({});
    dismantlePreviewMapView(m_webView);
}

void MapOverlayView::setState(const MapOverlayState &state)
{
    m_latest = state;
    const MapTrackData &data = state.trackData;
    const QString key = data.revision.toString();
    const QString *script = m_trackScripts.get(key, data.points.size() > heavyTrackPoints,
                                               [data] { return MapOverlayCoordinator::trackScript(data); });
    if (script && m_trackScripts.key() == key) {
        m_coordinator.prepareTrack(data.revision, *script);
        m_pageTrack = data;
        m_coordinator.update(state);
        return;
    }
    // Meanwhile the page shows the track it has, and the dot only where that track reaches.
    MapOverlayState held = state;
    held.trackData = m_pageTrack;
    m_coordinator.update(held);
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
