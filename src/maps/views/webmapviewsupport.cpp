#include "maps/views/webmapviewsupport.h"

#include "maps/views/maplibschemehandler.h"
#include "maps/views/webmapbridge.h"

#include <QAccessibleWidget>
#include <QChildEvent>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <algorithm>
#include <cmath>

namespace routereel {

namespace {

const char *const styleProperty = "routereelPageStyle";

// The preview's map is a picture, not a control: neither the view nor the
// widget the engine renders into (made later, on the first load, and again
// when its renderer is replaced) is a Tab stop or takes the keyboard.
class NoFocusWithin : public QObject {
public:
    explicit NoFocusWithin(QWidget *root) : QObject(root) { keepOut(root); }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::ChildAdded || event->type() == QEvent::ChildPolished) {
            if (auto *child = qobject_cast<QWidget *>(static_cast<QChildEvent *>(event)->child()))
                keepOut(child);
        }
        return false;
    }

private:
    void keepOut(QWidget *widget)
    {
        widget->setFocusPolicy(Qt::NoFocus);
        widget->removeEventFilter(this);
        widget->installEventFilter(this);
        for (QWidget *child : widget->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
            keepOut(child);
    }
};

// To assistive tools the map is the picture it is, named as the overlay around it.
// The page's document stays out of their tree: it calls itself focused whatever
// holds the focus.
class PreviewMapAccessible : public QAccessibleWidget {
public:
    explicit PreviewMapAccessible(QWidget *view) : QAccessibleWidget(view, QAccessible::Graphic) {}

    int childCount() const override { return 0; }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.focusable = false;
        s.focused = false;
        return s;
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name) {
            for (const QWidget *w = widget(); w; w = w->parentWidget()) {
                if (!w->accessibleName().isEmpty())
                    return w->accessibleName();
            }
        }
        return QAccessibleWidget::text(t);
    }
};

} // namespace

QWebEngineView *makePreviewMapView(QWidget *parent, const QString &html,
                                   std::function<void(const QString &name)> onMessage)
{
    MapLibSchemeHandler::installOn(QWebEngineProfile::defaultProfile());
    auto *view = new QWebEngineView(parent);
    view->page()->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, true);
    view->page()->setBackgroundColor(Qt::transparent);
    view->setAttribute(Qt::WA_TransparentForMouseEvents);
    view->setContextMenuPolicy(Qt::NoContextMenu);
    view->page()->settings()->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, false);
    new NoFocusWithin(view);
    // Before anything asks: the cache answers every later question with this interface.
    QAccessible::registerAccessibleInterface(new PreviewMapAccessible(view));
    auto *bridge = new WebMapBridge(view->page());
    QObject::connect(bridge, &WebMapBridge::messageReceived, view,
                     [onMessage](const QString &name, const QVariant &) { onMessage(name); });
    if (parent) {
        auto *layout = new QVBoxLayout(parent);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(view);
    }
    // The style outlives each load of the page.
    QObject::connect(view, &QWebEngineView::loadFinished, view, [guarded = QPointer<QWebEngineView>(view)] {
        if (guarded)
            guarded->page()->runJavaScript(guarded->property(styleProperty).toString());
    });
    view->setHtml(html, QUrl());
    return view;
}

void setPreviewMapStyle(QWebEngineView *view, double opacity, const QString &clipPath)
{
    if (!view)
        return;
    const double o = std::isfinite(opacity) ? std::clamp(opacity, 0.0, 1.0) : 1.0;
    const QString clip = QString::fromUtf8(QJsonDocument(QJsonArray{clipPath}).toJson(QJsonDocument::Compact));
    const QString script = QStringLiteral("(function(c){var s=document.documentElement.style;s.opacity='")
        + QString::number(o) + QStringLiteral("';s.clipPath=c;s.webkitClipPath=c;})(") + clip
        + QStringLiteral("[0]);");
    if (view->property(styleProperty).toString() == script)
        return;
    view->setProperty(styleProperty, script);
    view->page()->runJavaScript(script);
}

void setPreviewMapScale(QWebEngineView *view, double canvasScale)
{
    // The engine's zoom range; beyond it the page is only cut or padded.
    if (view && std::isfinite(canvasScale) && canvasScale > 0)
        view->setZoomFactor(std::clamp(canvasScale, 0.25, 5.0));
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
