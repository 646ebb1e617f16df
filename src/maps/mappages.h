#pragma once

#include "maps/webmappage.h"

#include <QString>
#include <QUrl>

#include <chrono>
#include <optional>

namespace routereel {

// The web map pages, built as text and loaded into web views. The map
// libraries come from the application's "routereel-maplib" URL scheme.
class MapPages {
public:
    // MapLibre map widget page ("mapReady"); export mode adds the capture functions.
    // `view`: where an export page looks first (ignored in preview mode).
    // `loadDeadline`: when an export page that has not loaded its map gives up
    // (milliseconds since the epoch); none: exportLoadTimeout() from now.
    static QString mapWidgetPageHTML(double width, double height, double pixelRatio, bool preview,
                                     const std::optional<WebMapPageView> &view = std::nullopt,
                                     std::optional<qint64> loadDeadline = std::nullopt);
    // MapLibre GPS path page ("pathMapReady").
    static QString gpsPathPageHTML(double width, double height, double pixelRatio, bool preview,
                                   const std::optional<WebMapPageView> &view = std::nullopt,
                                   std::optional<qint64> loadDeadline = std::nullopt);
    // Mapbox GL JS pages for the Mapbox provider's previews.
    static QString mapboxWidgetPageHTML(const QString &accessToken);
    static QString mapboxPathPageHTML(const QString &accessToken);

    // Scripts injected before any page script runs.
    static QString bridgeScript();       // routereelPost / routereelResult over the web channel
    static QString frameDriverScript();  // animation frames driven from the program

    // A JavaScript string literal safe inside a <script> element.
    static QString jsString(const QString &text);
    // The shortest decimal text that reads back as the same double ("200.0").
    static QString jsNumber(double value);

    static QString libraryBaseUrl();  // "routereel-maplib://lib/"

    static QString resourceScript(const QString &name);

    // How long an export page may take to load its style and first view before it
    // posts "mapFailed": a page that cannot do it in this time could not capture
    // frames either, and the export must not wait long for it. Counted from the
    // export's start, and shared with the raster service's first answer, so
    // that the waits for the map services end together.
    static constexpr int exportLoadTimeoutMs = 4000;
    static std::chrono::milliseconds exportLoadTimeout();
    // Tests whose pages must load on a busy machine give them longer; none restores the default.
    static void setExportLoadTimeoutForTesting(std::optional<std::chrono::milliseconds> timeout);
};

} // namespace routereel
