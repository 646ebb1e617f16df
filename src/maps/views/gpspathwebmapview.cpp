#include "maps/views/gpspathwebmapview.h"

#include "maps/mappages.h"
#include "maps/views/webmapviewsupport.h"

#include <QStringList>

namespace routereel {

GPSPathWebMapView::GPSPathWebMapView(const GPSPathWebMapState &state, QWidget *parent) : QWidget(parent)
{
    const QString html = state.mapProvider == MapProvider::mapbox ? MapPages::mapboxPathPageHTML(state.mapboxToken)
                                                                  : MapPages::gpsPathPageHTML(0, 0, 0, true);
    m_webView = makePreviewMapView(this, html, [this](const QString &name) { m_coordinator.scriptMessage(name); });
    m_coordinator.setEvaluator(pageScriptRunner(m_webView));
    setState(state);
}

GPSPathWebMapView::~GPSPathWebMapView()
{
    m_coordinator.setEvaluator({});
    dismantlePreviewMapView(m_webView);
}

void GPSPathWebMapView::setState(const GPSPathWebMapState &state)
{
    m_latest = state;
    QStringList breaks;
    for (int b : state.breaks)
        breaks << QString::number(b);
    const QString key = QStringList{state.revision.toString(), QString::number(state.trackPoints.size()),
                                    breaks.join(QLatin1Char(',')), QString::number(state.size, 'g', 17),
                                    QString::number(state.padding, 'g', 17)}
                            .join(QLatin1Char('|'));
    const auto *route = m_routes.get(key, state.trackPoints.size() > heavyTrackPoints,
                                     [state] { return GPSPathWebMapCoordinator::routeScript(state); });
    if (route && m_routes.key() == key) {
        m_coordinator.prepareRoute(*route);
        m_pageRoute = state;
        m_coordinator.update(state);
        return;
    }
    // Meanwhile the page shows the route it has, with the dot where the playhead is.
    GPSPathWebMapState held = state;
    held.revision = m_pageRoute.revision;
    held.trackPoints = m_pageRoute.trackPoints;
    held.breaks = m_pageRoute.breaks;
    held.size = m_pageRoute.size;
    held.padding = m_pageRoute.padding;
    m_coordinator.update(held);
}

} // namespace routereel
