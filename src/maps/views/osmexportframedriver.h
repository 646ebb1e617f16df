#pragma once

#include <QObject>
#include <QPointer>
#include <QWebEngineView>
#include <QVariant>

class QTimer;


namespace routereel {

class WebMapBridge;

// Drives the animation frames of an off-screen export page from the program:
// the page asks ("exportAnimationFrame") and gets at most 60 batches a second,
// none while nothing asked.
class OSMExportFrameDriver : public QObject {
    Q_OBJECT
public:
    // Before the page loads: injects the page-side replacement of requestAnimationFrame.
    OSMExportFrameDriver(QWebEngineView *view, WebMapBridge *bridge, QObject *parent = nullptr);

    void stop();
    int tickCount() const { return m_ticks; }

private:
    void onMessage(const QString &name, const QVariant &body);
    void tick();

    QPointer<QWebEngineView> m_webView;
    QPointer<WebMapBridge> m_bridge;
    QTimer *m_pendingTick = nullptr;
    double m_lastTick = -1;
    bool m_stopped = false;
    int m_ticks = 0;
};

} // namespace routereel
