#include "maps/gpspathwebmapcoordinator.h"

#include "maps/gpspathfitcamera.h"
#include "maps/mapoverlaycoordinator.h"
#include "maps/mappages.h"

namespace routereel {

void GPSPathWebMapCoordinator::run(const QString &script, std::optional<QString> &slot)
{
    if (m_ready) {
        if (m_evaluate)
            m_evaluate(script);
    } else {
        slot = script;
    }
}

GPSPathWebMapCoordinator::RouteScript GPSPathWebMapCoordinator::routeScript(const GPSPathWebMapState &s)
{
    RouteScript route{s.revision, s.breaks, s.size, s.padding, QStringLiteral("clearPathMap();"), false};
    if (s.trackPoints.size() < 2)
        return route;
    const auto camera = GPSPathFitCamera::fit(s.trackPoints, s.size, s.padding);
    route.crossesDateline = camera.crossesDateline;
    route.script = QStringLiteral("initPathMap(") + GPSPathFitCamera::geoJSON(s.trackPoints, s.breaks)
        + QStringLiteral(", ") + MapPages::jsNumber(camera.lng) + QStringLiteral(", ") + MapPages::jsNumber(camera.lat)
        + QStringLiteral(", ") + MapPages::jsNumber(camera.zoom) + QStringLiteral(");");
    return route;
}

void GPSPathWebMapCoordinator::update(const GPSPathWebMapState &s)
{
    const bool enoughPoints = s.trackPoints.size() >= 2;
    if (m_lastRevision != s.revision || m_lastBreaks != s.breaks || m_lastSize != s.size
        || m_lastPadding != s.padding) {
        m_lastRevision = s.revision;
        m_lastBreaks = s.breaks;
        m_lastSize = s.size;
        m_lastPadding = s.padding;
        const std::optional<RouteScript> &p = m_preparedRoute;
        const bool prepared = p && p->revision == s.revision && p->breaks == s.breaks && p->size == s.size
            && p->padding == s.padding;
        const RouteScript route = prepared ? *p : routeScript(s);
        m_preparedRoute.reset();
        m_crossesDateline = route.crossesDateline;
        run(route.script, m_pendingInit);
    }

    if (!m_lastLanguage || *m_lastLanguage != s.mapLanguage) {
        m_lastLanguage = s.mapLanguage;
        run(MapOverlayCoordinator::languageScript(s.mapLanguage), m_pendingLang);
    }

    if (!enoughPoints) {
        run(QStringLiteral("clearPathMap();"), m_pendingPos);
    } else {
        const double lng = m_crossesDateline && s.currentLng < 0 ? s.currentLng + 360 : s.currentLng;
        run(QStringLiteral("setMarker(") + MapPages::jsNumber(lng) + QLatin1Char(',') + MapPages::jsNumber(s.currentLat)
                + QStringLiteral(");"),
            m_pendingPos);
    }
}

void GPSPathWebMapCoordinator::scriptMessage(const QString &name)
{
    if (name != QLatin1String("pathMapReady"))
        return;
    m_ready = true;
    for (std::optional<QString> *slot : {&m_pendingInit, &m_pendingLang, &m_pendingPos}) {
        if (*slot && m_evaluate)
            m_evaluate(**slot);
        slot->reset();
    }
}

} // namespace routereel
