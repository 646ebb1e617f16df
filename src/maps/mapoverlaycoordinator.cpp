#include "maps/mapoverlaycoordinator.h"

#include "maps/mappages.h"

#include <QStringList>

namespace routereel {

QString MapOverlayCoordinator::languageScript(const QString &language)
{
    return QStringLiteral("setMapLanguage(") + MapPages::jsString(language) + QStringLiteral(");");
}

QString MapOverlayCoordinator::trackScript(const MapTrackData &data)
{
    QString script = QStringLiteral("updateTrack([");
    script.reserve(32 + data.points.size() * 40);
    for (qsizetype i = 0; i < data.points.size(); ++i) {
        if (i > 0)
            script += QLatin1Char(',');
        script += QLatin1Char('[') + MapPages::jsNumber(data.points[i].lng) + QLatin1Char(',')
            + MapPages::jsNumber(data.points[i].lat) + QLatin1Char(']');
    }
    script += QStringLiteral("],[");
    QStringList breaks;
    for (int b : data.breaks)
        breaks << QString::number(b);
    script += breaks.join(QLatin1Char(',')) + QStringLiteral("]);");
    return script;
}

QString MapOverlayCoordinator::tickScript(const MapOverlayState &s)
{
    return QStringLiteral("tickFrame(%1,%2,%3,%4,%5,%6,%7);")
        .arg(QString::number(s.currentIndex), MapPages::jsNumber(s.currentLng), MapPages::jsNumber(s.currentLat),
             MapPages::jsNumber(s.mapCenterLng), MapPages::jsNumber(s.mapCenterLat), MapPages::jsNumber(s.bearing),
             QString::number(s.zoomLevel));
}

void MapOverlayCoordinator::evaluate(const QString &script)
{
    if (m_evaluate && !script.isEmpty())
        m_evaluate(script);
}

void MapOverlayCoordinator::update(const MapOverlayState &state)
{
    if (m_lastLanguage != state.appLanguage) {
        m_lastLanguage = state.appLanguage;
        const QString script = languageScript(state.appLanguage);
        if (m_ready)
            evaluate(script);
        else
            m_pendingLang = script;
    }

    std::optional<QString> track;
    if (m_lastRevision != state.trackData.revision) {
        m_lastRevision = state.trackData.revision;
        track = m_preparedTrack && m_preparedTrack->first == state.trackData.revision ? m_preparedTrack->second
                                                                                      : trackScript(state.trackData);
        m_preparedTrack.reset();
    }
    std::optional<QString> tick;
    if (state.currentIndex >= 0 && state.currentIndex < state.trackData.points.size())
        tick = tickScript(state);

    if (m_ready) {
        QStringList parts;
        if (track)
            parts << *track;
        if (tick)
            parts << *tick;
        evaluate(parts.join(QLatin1Char('\n')));
    } else {
        if (track)
            m_pendingTrack = track;
        m_pendingPos = tick;
    }
}

void MapOverlayCoordinator::scriptMessage(const QString &name)
{
    if (name != QLatin1String("mapReady"))
        return;
    m_ready = true;
    if (m_pendingLang) {
        evaluate(*m_pendingLang);
        m_pendingLang.reset();
    }
    QStringList parts;
    if (m_pendingTrack)
        parts << *m_pendingTrack;
    if (m_pendingPos)
        parts << *m_pendingPos;
    m_pendingTrack.reset();
    m_pendingPos.reset();
    evaluate(parts.join(QLatin1Char('\n')));
}

} // namespace routereel
