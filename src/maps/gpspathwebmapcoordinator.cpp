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

void GPSPathWebMapCoordinator::update(const GPSPathWebMapState &s)
{
    const bool enoughPoints = s.trackPoints.size() >= 2;
    if (m_lastRevision != s.revision || m_lastBreaks != s.breaks || m_lastSize != s.size
        || m_lastPadding != s.padding) {
        m_lastRevision = s.revision;
        m_lastBreaks = s.breaks;
        m_lastSize = s.size;
        m_lastPadding = s.padding;
        QString script;
        if (!enoughPoints) {
            m_crossesDateline = false;
            script = QStringLiteral("clearPathMap();");
        } else {
            const auto camera = GPSPathFitCamera::fit(s.trackPoints, s.size, s.padding);
            m_crossesDateline = camera.crossesDateline;
            script = QStringLiteral("initPathMap(") + GPSPathFitCamera::geoJSON(s.trackPoints, s.breaks)
                + QStringLiteral(", ") + MapPages::jsNumber(camera.lng) + QStringLiteral(", ")
                + MapPages::jsNumber(camera.lat) + QStringLiteral(", ") + MapPages::jsNumber(camera.zoom)
                + QStringLiteral(");");
        }
        run(script, m_pendingInit);
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
