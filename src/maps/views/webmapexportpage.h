#pragma once

#include "maps/webmappage.h"

#include <QPointer>

#include "maps/views/osmexportframedriver.h"

#include <QWebEngineView>

namespace routereel {

class WebMapBridge;

// The off-screen web view behind OSMWebMapExportRenderer: the export form of
// the map widget or GPS path page, never shown on screen and never throttled.
class WebMapExportPage : public WebMapPage {
public:
    explicit WebMapExportPage(const WebMapPageRequest &request);
    ~WebMapExportPage() override;

    void call(const QString &body, const Arguments &args, Done done) override;
    void evaluate(const QString &script, Done done) override;
    void shutdown() override;

    QWebEngineView *view() const { return m_view; }
    OSMExportFrameDriver *frameDriver() const { return m_driver; }

    // The factory that prepareWebMapRuntime registers.
    static std::unique_ptr<WebMapPage> create(const WebMapPageRequest &request);

private:
    QPointer<QWebEngineView> m_view;
    QPointer<WebMapBridge> m_bridge;
    QPointer<OSMExportFrameDriver> m_driver;
};

} // namespace routereel
