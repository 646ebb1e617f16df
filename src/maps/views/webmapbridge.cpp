#include "maps/views/webmapbridge.h"

#include "maps/mappages.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QStringList>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>

namespace routereel {

namespace {

QString webChannelLibrary()
{
    QFile file(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("qwebchannel.js is missing from Qt WebChannel's resources");
    return QString::fromUtf8(file.readAll());
}

} // namespace

WebMapBridge::WebMapBridge(QWebEnginePage *page) : QObject(page), m_page(page), m_channel(new QWebChannel(this))
{
    m_channel->registerObject(QStringLiteral("routereelBridge"), this);
    page->setWebChannel(m_channel, QWebEngineScript::MainWorld);

    QWebEngineScript script;
    script.setName(QStringLiteral("routereel-bridge"));
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::MainWorld);
    script.setRunsOnSubFrames(false);
    static const QString source = webChannelLibrary() + QLatin1Char('\n') + MapPages::bridgeScript();
    script.setSourceCode(source);
    page->scripts().insert(script);
}

WebMapBridge::~WebMapBridge()
{
    abandonCalls();
}

void WebMapBridge::call(const QString &body, const QList<QPair<QString, QJsonValue>> &args, Done done)
{
    const int id = m_nextCall++;
    m_pending.insert(id, std::move(done));
    QStringList names;
    QJsonArray values;
    for (const auto &[name, value] : args) {
        names << name;
        values.append(value);
    }
    // Pieces joined once, never substituted into each other: a value or a body
    // holding "%1" stays as it is. The values go in as one JSON array.
    const QString valuesText = QString::fromUtf8(QJsonDocument(values).toJson(QJsonDocument::Compact));
    const QString idText = QString::number(id);
    const QString script = QStringLiteral("(async function(") + names.join(QLatin1Char(',')) + QStringLiteral("){")
        + body + QStringLiteral("\n}).apply(null,") + valuesText + QStringLiteral(").then(function(v){routereelResult(")
        + idText + QStringLiteral(",true,v===undefined?null:v);},function(e){routereelResult(") + idText
        + QStringLiteral(",false,String(e));});");
    m_page->runJavaScript(script);
}

void WebMapBridge::evaluate(const QString &script, Done done)
{
    const int id = m_nextCall++;
    m_pending.insert(id, std::move(done));
    // Shares the pending calls, so that abandoning them ends this one too.
    m_page->runJavaScript(script, [self = QPointer<WebMapBridge>(this), id](const QVariant &value) {
        if (self)
            self->result(id, true, value);
    });
}

void WebMapBridge::abandonCalls()
{
    const auto pending = std::exchange(m_pending, {});
    for (const Done &done : pending)
        done(std::nullopt);
}

void WebMapBridge::post(const QString &name, const QVariant &body)
{
    emit messageReceived(name, body);
}

void WebMapBridge::result(int id, bool ok, const QVariant &value)
{
    const Done done = m_pending.take(id);
    if (!done)
        return;
    if (!ok || !value.isValid() || value.isNull())
        done(std::nullopt);
    else
        done(value);
}

} // namespace routereel
