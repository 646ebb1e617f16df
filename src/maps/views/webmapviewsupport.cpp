#include "maps/views/webmapviewsupport.h"

#include "maps/views/maplibschemehandler.h"
#include "maps/views/webmapbridge.h"

#include <QPointer>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace routereel {

QWebEngineView *makePreviewMapView(QWidget *parent, const QString &html,
                                   std::function<void(const QString &name)> onMessage)
{
    MapLibSchemeHandler::installOn(QWebEngineProfile::defaultProfile());
    auto *view = new QWebEngineView(parent);
    view->page()->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, true);
    view->page()->setBackgroundColor(Qt::transparent);
    view->setAttribute(Qt::WA_TransparentForMouseEvents);
    view->setContextMenuPolicy(Qt::NoContextMenu);
    auto *bridge = new WebMapBridge(view->page());
    QObject::connect(bridge, &WebMapBridge::messageReceived, view,
                     [onMessage](const QString &name, const QVariant &) { onMessage(name); });
    if (parent) {
        auto *layout = new QVBoxLayout(parent);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(view);
    }
    view->setHtml(html, QUrl());
    return view;
}

std::function<void(const QString &script)> pageScriptRunner(QWebEngineView *view)
{
    return [guarded = QPointer<QWebEngineView>(view)](const QString &script) {
        if (guarded)
            guarded->page()->runJavaScript(script);
    };
}

void dismantlePreviewMapView(QWebEngineView *view)
{
    if (!view)
        return;
    if (auto *bridge = view->page()->findChild<WebMapBridge *>()) {
        QObject::disconnect(bridge, &WebMapBridge::messageReceived, view, nullptr);
        bridge->abandonCalls();
    }
    view->stop();
}

} // namespace routereel
