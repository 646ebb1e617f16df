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
// How a preview map page shows inside its widget: the page's opacity and the
// CSS clip path of its outline ("circle(50%)", "inset(0 round 12px)"), in
// page pixels; kept across page loads. Graphics effects do not reach web views.
void setPreviewMapStyle(QWebEngineView *view, double opacity, const QString &clipPath);
// Page pixels per widget pixel follow the canvas: the page lays out in canvas units.
void setPreviewMapScale(QWebEngineView *view, double canvasScale);
// Detaches a preview map view: no more messages, no more loading.
void dismantlePreviewMapView(QWebEngineView *view);

} // namespace routereel
