#include "webmapfixture.h"

#include "maps/mappages.h"
#include "maps/views/maplibschemehandler.h"

#include <QWebEnginePage>
#include <QWebEngineProfile>

#include <gtest/gtest.h>

using namespace routereel;
using namespace webmaptest;

TEST(WebMapScheme, servesTheBundledLibrariesAtTheirPinnedVersions)
{
    MapLibSchemeHandler::installOn(QWebEngineProfile::defaultProfile());
    QWebEnginePage page;
    bool loaded = false;
    QObject::connect(&page, &QWebEnginePage::loadFinished, [&](bool) { loaded = true; });
    const QString base = MapPages::libraryBaseUrl();
    page.setHtml(QStringLiteral("<html><head>"
                                "<script src=\"%1maplibre-gl/dist/maplibre-gl.js\"></script>"
                                "<script src=\"%1mapbox-gl/dist/mapbox-gl.js\"></script>"
                                "<link rel=\"stylesheet\" href=\"%1maplibre-gl/dist/maplibre-gl.css\">"
                                "</head><body></body></html>")
                     .arg(base),
                 QUrl());
    ASSERT_TRUE(waitFor([&] { return loaded; }, 60000));
    const QString maplibreVersion =
        QStringLiteral("maplibregl.getVersion ? maplibregl.getVersion() : maplibregl.version");
    EXPECT_EQ(evaluate(&page, maplibreVersion).toString(), QStringLiteral("4.7.1"));
    EXPECT_EQ(evaluate(&page, QStringLiteral("mapboxgl.version")).toString(), QStringLiteral("3.3.0"));
    EXPECT_GT(evaluate(&page, QStringLiteral("document.styleSheets[0].cssRules.length")).toInt(), 10);

    // Only the bundled files are served.
    const QString probe = QStringLiteral("window.__s = null; var s = document.createElement('link'); s.rel = 'stylesheet';"
                                         "s.onload = function(){ window.__s = 'loaded'; };"
                                         "s.onerror = function(){ window.__s = 'failed'; };"
                                         "s.href = %1; document.head.appendChild(s);");
    const std::pair<QString, QString> cases[] = {
        {base + QStringLiteral("mapbox-gl/dist/mapbox-gl.css"), QStringLiteral("loaded")},
        {base + QStringLiteral("maplibre-gl/dist/missing.css"), QStringLiteral("failed")},
        {QStringLiteral("routereel-maplib://other/maplibre-gl/dist/maplibre-gl.css"), QStringLiteral("failed")},
    };
    for (const auto &[url, expected] : cases) {
        evaluate(&page, probe.arg(MapPages::jsString(url)));
        ASSERT_TRUE(waitFor([&] { return !evaluate(&page, QStringLiteral("window.__s")).isNull(); }, 10000));
        EXPECT_EQ(evaluate(&page, QStringLiteral("window.__s")).toString(), expected) << url.toStdString();
    }
}
