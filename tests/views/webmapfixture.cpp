#include "webmapfixture.h"

#include "maps/mappages.h"
#include "maps/mapservices.h"
#include "maps/views/webmapruntime.h"

#include <QGuiApplication>
#include <QWebEnginePage>

#include <cmath>

namespace webmaptest {

namespace {
// Before the test main creates the QApplication.
const bool runtimePrepared = (routereel::prepareWebMapRuntime(), true);
} // namespace

QVariant evaluate(QWebEnginePage *page, const QString &script)
{
    QVariant result;
    bool done = false;
    page->runJavaScript(script, [&](const QVariant &v) {
        result = v;
        done = true;
    });
    waitFor([&] { return done; }, 10000);
    return result;
}

QList<routereel::TrackPoint> route(int n)
{
    QList<routereel::TrackPoint> out(n);
    for (int i = 0; i < n; ++i) {
        out[i].lng = 13.40 + 0.002 * i;
        out[i].lat = 52.52 + 0.001 * std::sin(i / 5.0);
    }
    return out;
}

ServiceScope::ServiceScope(bool answerStyle) : server(startMapService(answerStyle))
{
    routereel::MapServices::overrideEndpointsForTesting(server->baseUrl());
    // A page of a service that answers is waited for as long as it takes: on a
    // busy machine its start alone can outlast the export's few seconds.
    if (answerStyle)
        routereel::MapPages::setExportLoadTimeoutForTesting(std::chrono::minutes(10));
}

ServiceScope::~ServiceScope()
{
    routereel::MapPages::setExportLoadTimeoutForTesting(std::nullopt);
    routereel::MapServices::overrideEndpointsForTesting({});
    waitFor([] { return false; }, 50);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // released web views go now
}

bool webGLAvailable()
{
    return QGuiApplication::platformName() != QLatin1String("offscreen")
        && QGuiApplication::platformName() != QLatin1String("minimal");
}

} // namespace webmaptest
