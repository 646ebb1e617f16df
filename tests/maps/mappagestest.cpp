#include "maps/mappages.h"
#include "maps/mapservices.h"

#include <gtest/gtest.h>

using namespace routereel;

TEST(MapPages, numbersAreShortestRoundTripDecimals)
{
    const std::pair<double, const char *> cases[] = {
        {200, "200.0"}, {0.1, "0.1"}, {-179.9, "-179.9"}, {1e-7, "1e-07"}, {52.520008, "52.520008"},
        {1.0 / 3, "0.3333333333333333"}, {0, "0.0"}, {std::nan(""), "NaN"},
    };
    for (const auto &[value, text] : cases)
        EXPECT_EQ(MapPages::jsNumber(value), QString::fromLatin1(text)) << value;
}

TEST(MapPages, stringsAreSafeLiteralsInsideAScriptElement)
{
    const std::pair<QString, QString> cases[] = {
        {QStringLiteral("pk.abc"), QStringLiteral("\"pk.abc\"")},
        {QStringLiteral("it's"), QStringLiteral("\"it's\"")},
        {QStringLiteral("a\"b\\c"), QStringLiteral("\"a\\\"b\\\\c\"")},
        {QStringLiteral("</script><script>alert(1)</script>"),
         QStringLiteral("\"<\\/script><script>alert(1)<\\/script>\"")},
        {QStringLiteral("line\nbreak") + QChar(0x2028), QStringLiteral("\"line\\nbreak\\u2028\"")},
        {QStringLiteral("zh-Hans"), QStringLiteral("\"zh-Hans\"")},
    };
    for (const auto &[text, literal] : cases)
        EXPECT_EQ(MapPages::jsString(text), literal) << text.toStdString();
}

TEST(MapPages, pageFormsDifferAsTheyShould)
{
    // A '%' sequence in the address must not take the place of a later value.
    MapServices::overrideEndpointsForTesting(QUrl(QStringLiteral("http://127.0.0.1:9?q=%2Fx")));
    struct Case {
        QString page;
        QString ready;
        QString zoom;
        bool exportMode;
        QStringList functions;
    };
    const Case cases[] = {
        {MapPages::mapWidgetPageHTML(200, 150, 2, false), "mapReady", "zoom:15", true,
         {"function updateTrack", "function tickFrame", "function setMapLanguage", "function renderAndCapture",
          "function warmStep", "function waitForExportIdle", "function scaleTextSizes"}},
        {MapPages::mapWidgetPageHTML(0, 0, 0, true), "mapReady", "zoom:15", false,
         {"function updateTrack", "function tickFrame", "function setMapLanguage", "function scaleTextSizes"}},
        {MapPages::gpsPathPageHTML(200, 150, 2, false), "pathMapReady", "zoom:1,", true,
         {"function initPathMap", "function clearPathMap", "function setMarker", "function setMapLanguage",
          "function captureStatic", "function waitForExportIdle"}},
        {MapPages::gpsPathPageHTML(0, 0, 0, true), "pathMapReady", "zoom:1,", false,
         {"function initPathMap", "function clearPathMap", "function setMarker", "function setMapLanguage"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.ready.toStdString() + (c.exportMode ? " export" : " preview"));
        EXPECT_TRUE(c.page.contains("routereel-maplib://lib/maplibre-gl/dist/maplibre-gl.js"));
        EXPECT_TRUE(c.page.contains("style:\"http://127.0.0.1:9/styles/liberty?q=%2Fx\""));
        EXPECT_TRUE(c.page.contains("routereelPost('" + c.ready + "', 'ok')"));
        EXPECT_TRUE(c.page.contains(c.zoom));
        EXPECT_TRUE(c.page.contains(".maplibregl-ctrl-bottom-left,.maplibregl-ctrl-bottom-right{display:none}"));
        EXPECT_TRUE(c.page.contains("fadeDuration:0"));
        EXPECT_TRUE(c.page.contains("scaleTextSizes(0.8)"));
        for (const QString &f : c.functions)
            EXPECT_TRUE(c.page.contains(f)) << f.toStdString();
        EXPECT_EQ(c.page.contains("preserveDrawingBuffer:true,pixelRatio:2.0"), c.exportMode);
        EXPECT_EQ(c.page.contains("#map{width:200.0px;height:150.0px;visibility:hidden}"), c.exportMode);
        EXPECT_EQ(c.page.contains("#map{width:100vw;height:100vh}"), !c.exportMode);
        EXPECT_EQ(c.page.contains("function renderAndCapture") || c.page.contains("function captureStatic"), c.exportMode);
        // Each page carries its own functions only.
        const bool pathPage = c.ready == QLatin1String("pathMapReady");
        EXPECT_EQ(c.page.contains("function initPathMap"), pathPage);
        EXPECT_EQ(c.page.contains("function updateTrack"), !pathPage);
    }
    MapServices::overrideEndpointsForTesting({});
}

TEST(MapPages, mapboxPagesCarryTheTokenAsAnEscapedLiteral)
{
    const QString token = QStringLiteral("pk.x'</script>");
    for (const QString &page : {MapPages::mapboxWidgetPageHTML(token), MapPages::mapboxPathPageHTML(token)}) {
        EXPECT_TRUE(page.contains("mapboxgl.accessToken = \"pk.x'<\\/script>\";"));
        EXPECT_EQ(page.count(QStringLiteral("</script>")), 2) << "library tag and the page's own script only";
        EXPECT_TRUE(page.contains("routereel-maplib://lib/mapbox-gl/dist/mapbox-gl.js"));
        EXPECT_TRUE(page.contains("mapbox://styles/mapbox/streets-v12"));
    }
    EXPECT_TRUE(MapPages::mapboxWidgetPageHTML(token).contains("function updateCurrentPosition"));
    EXPECT_TRUE(MapPages::mapboxWidgetPageHTML(token).contains("zoom:15"));
    EXPECT_TRUE(MapPages::mapboxPathPageHTML(token).contains("function initPathMap"));
    EXPECT_TRUE(MapPages::mapboxPathPageHTML(token).contains("zoom:1,"));
}
