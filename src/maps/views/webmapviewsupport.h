#pragma once

#include <QString>

#include <functional>

class QWebEngineView;
class QWidget;

namespace routereel {

class WebMapBridge;

// A transparent, non-interactive web view for a preview map page, with the
// bridge that carries the page's script messages to `onMessage`.
QWebEngineView *makePreviewMapView(QWidget *parent, const QString &html,
                                   std::function<void(const QString &name)> onMessage);
// Runs scripts in the view's page while the view lives; afterwards does nothing.
std::function<void(const QString &script)> pageScriptRunner(QWebEngineView *view);
// Detaches a preview map view: no more messages, no more loading.
void dismantlePreviewMapView(QWebEngineView *view);

} // namespace routereel
