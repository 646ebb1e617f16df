#pragma once

#include "tracks/maptrackdata.h"
#include "widgets/mapenums.h"

#include <QString>
#include <QUuid>

#include <functional>
#include <optional>
#include <utility>

namespace routereel {

// What the live map widget shows: the inputs of one preview update.
struct MapOverlayState {
    MapTrackData trackData;
    int currentIndex = -1;  // first point not yet reached; negative: none
    double currentLat = 0;
    double currentLng = 0;
    double mapCenterLat = 0;
    double mapCenterLng = 0;
    MapProvider mapProvider = MapProvider::openStreetMap;
    QString mapboxToken;
    double bearing = 0;
    int zoomLevel = 15;
    QString appLanguage;
};

// Turns preview updates into page calls of the map widget page, holding them
// until the page has posted "mapReady" (newest of each kind wins).
class MapOverlayCoordinator {
public:
    using Evaluate = std::function<void(const QString &script)>;

    // An empty function means the web view is gone.
    void setEvaluator(Evaluate evaluate) { m_evaluate = std::move(evaluate); }
    void update(const MapOverlayState &state);
    void scriptMessage(const QString &name);
    // The track script of `revision`, built elsewhere (a long track's off the
    // main thread): update() sends it instead of building it again.
    void prepareTrack(const QUuid &revision, const QString &script) { m_preparedTrack = {revision, script}; }

    bool ready() const { return m_ready; }
    const std::optional<QString> &pendingTrack() const { return m_pendingTrack; }
    const std::optional<QString> &pendingPos() const { return m_pendingPos; }
    const std::optional<QString> &pendingLang() const { return m_pendingLang; }

    static QString languageScript(const QString &language);
    static QString trackScript(const MapTrackData &data);
    static QString tickScript(const MapOverlayState &state);

private:
    void evaluate(const QString &script);

    Evaluate m_evaluate;
    bool m_ready = false;
    std::optional<QUuid> m_lastRevision;
    std::optional<std::pair<QUuid, QString>> m_preparedTrack;
    std::optional<QString> m_lastLanguage;
    std::optional<QString> m_pendingTrack;
    std::optional<QString> m_pendingPos;
    std::optional<QString> m_pendingLang;
};

} // namespace routereel
