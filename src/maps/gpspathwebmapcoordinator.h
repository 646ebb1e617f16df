#pragma once

#include "tracks/trackpoint.h"
#include "widgets/mapenums.h"

#include <QList>
#include <QString>
#include <QUuid>

#include <functional>
#include <optional>
#include <utility>

namespace routereel {

// The inputs of one update of the GPS path widget's web map.
struct GPSPathWebMapState {
    QUuid revision;
    QList<TrackPoint> trackPoints;
    QList<int> breaks;
    double currentLat = 0;
    double currentLng = 0;
    double size = 0;
    double padding = 0;
    MapProvider mapProvider = MapProvider::openStreetMap;
    QString mapboxToken;
    QString mapLanguage;
};

// Remembers what the GPS path page already has and sends only the difference:
// the route when it changes, the language when it changes, the dot every time.
// Until "pathMapReady" each kind of script waits in its own slot, newest wins.
class GPSPathWebMapCoordinator {
public:
    using Evaluate = std::function<void(const QString &script)>;

    void setEvaluator(Evaluate evaluate) { m_evaluate = std::move(evaluate); }
    void update(const GPSPathWebMapState &state);
    void scriptMessage(const QString &name);

    // The page script that shows the route of `state`, with what it was made for.
    struct RouteScript {
        QUuid revision;
        QList<int> breaks;
        double size = -1;
        double padding = -1;
        QString script;
        bool crossesDateline = false;
    };
    static RouteScript routeScript(const GPSPathWebMapState &state);
    // A route script built elsewhere (a long route's off the main thread): update() sends it
    // instead of building it again when the state is the one it was made for.
    void prepareRoute(RouteScript route) { m_preparedRoute = std::move(route); }

    bool ready() const { return m_ready; }
    bool crossesDateline() const { return m_crossesDateline; }
    const std::optional<QString> &pendingInit() const { return m_pendingInit; }
    const std::optional<QString> &pendingPos() const { return m_pendingPos; }
    const std::optional<QString> &pendingLang() const { return m_pendingLang; }

private:
    void run(const QString &script, std::optional<QString> &slot);

    Evaluate m_evaluate;
    bool m_ready = false;
    double m_lastSize = -1;
    double m_lastPadding = -1;
    std::optional<QUuid> m_lastRevision;
    QList<int> m_lastBreaks;
    bool m_crossesDateline = false;
    std::optional<QString> m_lastLanguage;
    std::optional<RouteScript> m_preparedRoute;
    std::optional<QString> m_pendingInit;
    std::optional<QString> m_pendingPos;
    std::optional<QString> m_pendingLang;
};

} // namespace routereel
