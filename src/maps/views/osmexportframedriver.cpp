#include "maps/views/osmexportframedriver.h"

#include "maps/mappages.h"
#include "maps/views/webmapbridge.h"

#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineView>

#include <chrono>

namespace routereel {

namespace {
double uptime()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}
} // namespace

OSMExportFrameDriver::OSMExportFrameDriver(QWebEngineView *view, WebMapBridge *bridge, QObject *parent)
    : QObject(parent), m_webView(view), m_bridge(bridge)
{
    QWebEngineScript script;
    script.setName(QStringLiteral("routereel-frame-driver"));
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::MainWorld);
    script.setRunsOnSubFrames(false);
    script.setSourceCode(MapPages::frameDriverScript());
    view->page()->scripts().insert(script);
    connect(bridge, &WebMapBridge::messageReceived, this, &OSMExportFrameDriver::onMessage);
}

void OSMExportFrameDriver::onMessage(const QString &name, const QVariant &)
{
    if (name != QLatin1String("exportAnimationFrame") || m_stopped || m_pendingTick || !m_webView)
        return;
    const double delay = std::max(0.0, m_lastTick + 1.0 / 60.0 - uptime());
    m_pendingTick = new QTimer(this);
    m_pendingTick->setSingleShot(true);
    m_pendingTick->setTimerType(Qt::PreciseTimer);
    connect(m_pendingTick, &QTimer::timeout, this, &OSMExportFrameDriver::tick);
    m_pendingTick->start(int(delay * 1000));
}

void OSMExportFrameDriver::tick()
{
    if (m_pendingTick) {
        m_pendingTick->deleteLater();
        m_pendingTick = nullptr;
    }
    if (m_stopped || !m_webView)
        return;
    m_lastTick = uptime();
    ++m_ticks;
    m_webView->page()->runJavaScript(QStringLiteral("window.__gpxExportAnimationFrame?.();"));
}

void OSMExportFrameDriver::stop()
{
    m_stopped = true;
    if (m_pendingTick) {
        m_pendingTick->stop();
        m_pendingTick->deleteLater();
        m_pendingTick = nullptr;
    }
    if (m_bridge)
        disconnect(m_bridge, &WebMapBridge::messageReceived, this, &OSMExportFrameDriver::onMessage);
    m_webView = nullptr;
}

} // namespace routereel
