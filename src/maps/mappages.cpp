#include "maps/mappages.h"

#include "maps/mapservices.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStringList>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>

static void initMapPageResources()
{
    Q_INIT_RESOURCE(mappages);
}

namespace routereel {

namespace {

enum class Library { mapLibre, mapbox };

std::atomic<long long> exportLoadTimeoutOverride{-1};

QString pageHead(Library library, const QString &mapRule)
{
    const bool mapLibre = library == Library::mapLibre;
    const QString package = mapLibre ? QStringLiteral("maplibre-gl") : QStringLiteral("mapbox-gl");
    const QString corner = mapLibre ? QStringLiteral("maplibregl") : QStringLiteral("mapboxgl");
    const QString dist = MapPages::libraryBaseUrl() + package + QStringLiteral("/dist/") + package;
    return QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">\n")
        + QStringLiteral("<script src=\"%1.js\"></script>\n").arg(dist)
        + QStringLiteral("<link rel=\"stylesheet\" href=\"%1.css\">\n").arg(dist)
        + QStringLiteral("<style>*{margin:0;padding:0}body{overflow:hidden;background:transparent}")
        + QStringLiteral("#map{%1}").arg(mapRule)
        + QStringLiteral(".%1-ctrl-bottom-left,.%1-ctrl-bottom-right{display:none}</style>\n").arg(corner)
        + QStringLiteral("</head><body><div id=\"map\"></div>\n<script>\n");
}

QString mapLibrePage(double width, double height, double pixelRatio, bool preview, int zoom,
                     const QStringList &scripts, std::optional<WebMapPageView> view,
                     std::optional<qint64> loadDeadline)
{
    if (preview || !view || !std::isfinite(view->lng) || !std::isfinite(view->lat) || !std::isfinite(view->zoom))
        view = WebMapPageView{0, 0, double(zoom), QSizeF(0, 0)};
    const double marginX = std::max(0.0, view->margin.width());
    const double marginY = std::max(0.0, view->margin.height());
    // An export page is only ever read back, never looked at: a hidden map
    // draws and reads back as before, but no longer sends each picture through
    // the compositor and into the off-screen view.
    const QString rule = preview ? QStringLiteral("width:100vw;height:100vh")
                                 : QStringLiteral("width:%1px;height:%2px;visibility:hidden")
                                       .arg(MapPages::jsNumber(width + 2 * marginX),
                                            MapPages::jsNumber(height + 2 * marginY));
    QString options = QStringLiteral("container:'map',style:%1,center:[%2,%3],zoom:%4,"
                                     "attributionControl:false,interactive:false,fadeDuration:0")
                          .arg(MapPages::jsString(MapServices::vectorStyleUrl().toString()),
                               MapPages::jsNumber(view->lng), MapPages::jsNumber(view->lat),
                               QString::number(view->zoom, 'g', 17));
    if (!preview)
        options += QStringLiteral(",preserveDrawingBuffer:true,pixelRatio:") + MapPages::jsNumber(pixelRatio);
    QString page = pageHead(Library::mapLibre, rule);
    // The export view's own size, whatever margins the page draws around it.
    if (!preview)
        page += QStringLiteral("var exportViewSize = [%1, %2];\n")
                    .arg(MapPages::jsNumber(width), MapPages::jsNumber(height));
    page += QStringLiteral("var map = new maplibregl.Map({") + options + QStringLiteral("});\n");
    if (!preview) {
        if (!loadDeadline)
            loadDeadline = QDateTime::currentMSecsSinceEpoch() + MapPages::exportLoadTimeout().count();
        page += QStringLiteral("var exportLoadDeadline = %1;\n").arg(*loadDeadline);
        page += MapPages::resourceScript(QStringLiteral("loadwatch.js"));
        page += MapPages::resourceScript(QStringLiteral("exportcapture.js"));
    }
    page += MapPages::resourceScript(QStringLiteral("textsize.js"));
    page += QStringLiteral("map.on('load', function () { scaleTextSizes(0.8); });\n");
    for (const QString &name : scripts) {
        if (name.endsWith(QLatin1String("capture.js")) && preview)
            continue;
        page += MapPages::resourceScript(name);
    }
    page += QStringLiteral("</script></body></html>\n");
    return page;
}

QString mapboxPage(const QString &token, int zoom, const QStringList &scripts)
{
    QString page = pageHead(Library::mapbox, QStringLiteral("width:100vw;height:100vh"));
    page += QStringLiteral("mapboxgl.accessToken = ") + MapPages::jsString(token) + QStringLiteral(";\n");
    page += QStringLiteral("var map = new mapboxgl.Map({container:'map',style:%1,center:[0,0],zoom:%2,"
                           "attributionControl:false,interactive:false});\n")
                .arg(MapPages::jsString(MapServices::mapboxStyleUrl()), QString::number(zoom));
    for (const QString &name : scripts)
        page += MapPages::resourceScript(name);
    page += QStringLiteral("</script></body></html>\n");
    return page;
}

} // namespace

QString MapPages::mapWidgetPageHTML(double width, double height, double pixelRatio, bool preview,
                                    const std::optional<WebMapPageView> &view, std::optional<qint64> loadDeadline)
{
    return mapLibrePage(width, height, pixelRatio, preview, 15,
                        {QStringLiteral("geojson.js"), QStringLiteral("track.js"), QStringLiteral("mapwidget.js"),
                         QStringLiteral("language.js"), QStringLiteral("widgetcapture.js")},
                        view, loadDeadline);
}

QString MapPages::gpsPathPageHTML(double width, double height, double pixelRatio, bool preview,
                                  const std::optional<WebMapPageView> &view, std::optional<qint64> loadDeadline)
{
    return mapLibrePage(width, height, pixelRatio, preview, 1,
                        {QStringLiteral("geojson.js"), QStringLiteral("gpspath.js"), QStringLiteral("language.js"),
                         QStringLiteral("pathcapture.js")},
                        view, loadDeadline);
}

QString MapPages::mapboxWidgetPageHTML(const QString &accessToken)
{
    return mapboxPage(accessToken, 15,
                      {QStringLiteral("geojson.js"), QStringLiteral("track.js"), QStringLiteral("mapboxwidget.js")});
}

QString MapPages::mapboxPathPageHTML(const QString &accessToken)
{
    return mapboxPage(accessToken, 1,
                      {QStringLiteral("geojson.js"), QStringLiteral("gpspath.js"), QStringLiteral("language.js")});
}

std::chrono::milliseconds MapPages::exportLoadTimeout()
{
    const long long overridden = exportLoadTimeoutOverride;
    return std::chrono::milliseconds(overridden >= 0 ? overridden : exportLoadTimeoutMs);
}

void MapPages::setExportLoadTimeoutForTesting(std::optional<std::chrono::milliseconds> timeout)
{
    exportLoadTimeoutOverride = timeout ? std::max<long long>(0, timeout->count()) : -1;
}

QString MapPages::bridgeScript()
{
    return resourceScript(QStringLiteral("bridge.js"));
}

QString MapPages::frameDriverScript()
{
    return resourceScript(QStringLiteral("framedriver.js"));
}

QString MapPages::libraryBaseUrl()
{
    return QStringLiteral("routereel-maplib://lib/");
}

QString MapPages::resourceScript(const QString &name)
{
    static const bool initialised = (initMapPageResources(), true);
    Q_UNUSED(initialised);
    QFile file(QStringLiteral(":/maps/pages/") + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("map page script %s missing from the resources", qPrintable(name));
    return QString::fromUtf8(file.readAll()) + QLatin1Char('\n');
}

QString MapPages::jsString(const QString &text)
{
    // JSON is valid JavaScript; "</" would end the surrounding <script> element,
    // and U+2028/U+2029 end a line inside a string literal in older engines.
    QString json = QString::fromUtf8(QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact));
    json = json.mid(1, json.size() - 2);
    json.replace(QLatin1String("</"), QLatin1String("<\\/"));
    json.replace(QChar(0x2028), QLatin1String("\\u2028"));
    json.replace(QChar(0x2029), QLatin1String("\\u2029"));
    return json;
}

QString MapPages::jsNumber(double value)
{
    if (std::isnan(value))
        return QStringLiteral("NaN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("Infinity") : QStringLiteral("-Infinity");
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    QString text = QString::fromLatin1(buffer, result.ptr - buffer);
    if (!text.contains(QLatin1Char('.')) && !text.contains(QLatin1Char('e')))
        text += QStringLiteral(".0");
    return text;
}

} // namespace routereel
