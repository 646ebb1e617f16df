#pragma once

#include <QHash>
#include <QJsonValue>
#include <QList>
#include <QObject>
#include <QPair>
#include <QVariant>

#include <functional>
#include <optional>

class QWebEnginePage;
class QWebChannel;

namespace routereel {

// The channel between a map page and the program: script messages posted by
// the page (routereelPost) and the results of asynchronous page calls, which
// Qt 6.4's runJavaScript cannot await.
class WebMapBridge : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(std::optional<QVariant>)>;

    // Installs the channel and the page-side scripts on `page` (before its first load).
    explicit WebMapBridge(QWebEnginePage *page);
    ~WebMapBridge() override;

    // Runs `body` as an async function of the named arguments; `done` gets the
    // resolved value, or nothing when it threw, gave no value or the page went away.
    void call(const QString &body, const QList<QPair<QString, QJsonValue>> &args, Done done);
    // Runs `script` as it stands (not awaited); its value comes back directly,
    // a typed array as bytes, without the channel's JSON.
    void evaluate(const QString &script, Done done);
    // Ends every call still waiting, with no result.
    void abandonCalls();

    // Page-side methods (web channel).
    Q_INVOKABLE void post(const QString &name, const QVariant &body);
    Q_INVOKABLE void result(int id, bool ok, const QVariant &value);

signals:
    void messageReceived(const QString &name, const QVariant &body);

private:
    QWebEnginePage *m_page;
    QWebChannel *m_channel;
    int m_nextCall = 1;
    QHash<int, Done> m_pending;
};

} // namespace routereel
