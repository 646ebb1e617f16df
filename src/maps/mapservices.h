#pragma once

#include <QString>
#include <QUrl>

namespace routereel {

// The addresses of the online map services, kept in one place. Users cannot
// change them; tests point them at a loopback server.
class MapServices {
public:
    // CARTO raster basemaps ("OSM" provider).
    static QUrl cartoRasterEndpoint();
    // Mapbox web API ("Mapbox" provider).
    static QUrl mapboxApiEndpoint();

    // The open vector style of the MapLibre pages (OpenFreeMap "liberty").
    static QUrl vectorStyleUrl();
    // Mapbox Streets v12 in Mapbox GL JS's own style scheme.
    static QString mapboxStyleUrl();

    // Highest tile zoom each raster service serves.
    static constexpr int cartoMaxTileZoom = 20;
    static constexpr int mapboxMaxTileZoom = 22;

    // "routereel/<version> (<web address>)"; "dev" when the application has no version.
    static QString userAgent();

    // Redirects every service to `base` (e.g. http://127.0.0.1:PORT); an empty URL restores them.
    static void overrideEndpointsForTesting(const QUrl &base);
};

} // namespace routereel
