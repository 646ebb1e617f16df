#include "maps/views/webmapexportpage.h"

#include "maps/mappages.h"
#include "maps/views/maplibschemehandler.h"
#include "maps/views/osmexportframedriver.h"
#include "maps/views/webmapbridge.h"

#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace routereel {

WebMapExportPage::WebMapExportPage(const WebMapPageRequest &request)
{
    MapLibSchemeHandler::installOn(QWebEngineProfile::defaultProfile());
    m_view = new QWebEngineView;
    // Shown but never mapped: Chromium then treats the page as visible and keeps
    // drawing it, which a hidden view would not.
    m_view->setAttribute(Qt::WA_DontShowOnScreen);
    m_view->page()->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, true);
    m_view->page()->setBackgroundColor(Qt::transparent);
    m_view->resize(request.referenceSize.toSize());
    m_bridge = new WebMapBridge(m_view->page());
    m_driver = new OSMExportFrameDriver(m_view, m_bridge, m_view);
    const QString readyMessage = request.readyMessage;
    const auto onReady = request.onReady;
    const auto onFailed = request.onFailed;
    QObject::connect(m_bridge, &WebMapBridge::messageReceived, m_view,
                     [readyMessage, onReady, onFailed](const QString &name, const QVariant &body) {
                         if (name == readyMessage && onReady)
                             onReady();
                         else if (name == QLatin1String(WebMapPageRequest::failedMessage) && onFailed)
                             onFailed(body.toString());
                     });
    m_view->show();
    const double w = request.referenceSize.width();
    const double h = request.referenceSize.height();
    const QString html = request.kind == WebMapPageKind::mapWidget
        ? MapPages::mapWidgetPageHTML(w, h, request.pixelRatio, false, request.initialView, request.loadDeadline)
        : MapPages::gpsPathPageHTML(w, h, request.pixelRatio, false, request.initialView, request.loadDeadline);
    m_view->setHtml(html, QUrl());
}

WebMapExportPage::~WebMapExportPage()
{
    shutdown();
}

std::unique_ptr<WebMapPage> WebMapExportPage::create(const WebMapPageRequest &request)
{
    return std::make_unique<WebMapExportPage>(request);
}

void WebMapExportPage::call(const QString &body, const Arguments &args, Done done)
{
    if (!m_bridge) {
        done(std::nullopt);
        return;
    }
    m_bridge->call(body, args, std::move(done));
}

void WebMapExportPage::evaluate(const QString &script, Done done)
{
    if (!m_bridge) {
        done(std::nullopt);
        return;
    }
    m_bridge->evaluate(script, std::move(done));
}

void WebMapExportPage::shutdown()
{
    if (!m_view)
        return;
    if (m_driver)
        m_driver->stop();
    if (m_bridge) {
        QObject::disconnect(m_bridge, &WebMapBridge::messageReceived, m_view, nullptr);
        m_bridge->abandonCalls();
    }
    m_view->stop();
    m_view->hide();
    QWebEngineView *view = m_view;
    m_view = nullptr;
    view->deleteLater();
}

} // namespace routereel
