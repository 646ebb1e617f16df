#pragma once

#include <QJsonValue>
#include <QList>
#include <QPair>
#include <QSizeF>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>

namespace routereel {

// One off-screen web map page as the export renderer sees it. Lives on the
// main thread; the web view behind it belongs to the UI library, which
// registers a factory at start-up (core builds have none and never get ready).
class WebMapPage {
public:
    using Arguments = QList<QPair<QString, QJsonValue>>;
    using Done = std::function<void(std::optional<QVariant>)>;

    virtual ~WebMapPage() = default;
    // Runs `body` as the body of an async function of the named arguments; `done`
    // gets the resolved value, or nothing when it threw or gave no value.
    virtual void call(const QString &body, const Arguments &args, Done done) = 0;
    // Runs `script` as it stands, not awaited, and gives its value (a typed
    // array as bytes), or nothing when it threw or the page went away. Unlike
    // `call`, the value does not go through the page's text channel.
    virtual void evaluate(const QString &script, Done done) = 0;
    // Releases the web view; calls still running end with no result.
    virtual void shutdown() = 0;
};

enum class WebMapPageKind { mapWidget, gpsPath };

// Where an export page looks first: its first tiles then load with the page
// instead of at the map's default place.
struct WebMapPageView {
    double lng = 0, lat = 0, zoom = 0;
    QSizeF margin{0, 0};  // CSS px drawn around the view on each side
};

struct WebMapPageRequest {
    WebMapPageKind kind = WebMapPageKind::mapWidget;
    QSizeF referenceSize;
    double pixelRatio = 1;
    QString readyMessage;                 // "mapReady" or "pathMapReady"
    static constexpr const char *failedMessage = "mapFailed";
    std::function<void()> onReady;        // the page posted its ready message
    // The page cannot draw its map (no style, or not loaded in time): it will never get ready.
    std::function<void(const QString &reason)> onFailed;
    std::optional<WebMapPageView> initialView;
    // When the page gives up loading its map (ms since the epoch); none: the default from now.
    std::optional<qint64> loadDeadline;
};

using WebMapPageFactory = std::function<std::unique_ptr<WebMapPage>(const WebMapPageRequest &)>;

// Main thread, at start-up.
void setWebMapPageFactory(WebMapPageFactory factory);
WebMapPageFactory webMapPageFactory();

} // namespace routereel
