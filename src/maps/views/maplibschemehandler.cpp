#include "maps/views/maplibschemehandler.h"

#include <QBuffer>
#include <QFile>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

namespace routereel {

void MapLibSchemeHandler::registerScheme()
{
    QWebEngineUrlScheme s(scheme());
    s.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    s.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::CorsEnabled
               | QWebEngineUrlScheme::ContentSecurityPolicyIgnored);
    QWebEngineUrlScheme::registerScheme(s);
}

void MapLibSchemeHandler::installOn(QWebEngineProfile *profile)
{
    if (profile->urlSchemeHandler(scheme()))
        return;
    profile->installUrlSchemeHandler(scheme(), new MapLibSchemeHandler(profile));
}

MapLibSchemeHandler::MapLibSchemeHandler(QObject *parent) : QWebEngineUrlSchemeHandler(parent) {}

void MapLibSchemeHandler::requestStarted(QWebEngineUrlRequestJob *job)
{
    const QString path = job->requestUrl().path();
    if (job->requestUrl().host() != QLatin1String("lib") || path.contains(QLatin1String(".."))) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    QFile file(QStringLiteral(":/maplib") + path);
    if (!file.open(QIODevice::ReadOnly)) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    const QByteArray type = path.endsWith(QLatin1String(".css")) ? QByteArrayLiteral("text/css")
                                                                 : QByteArrayLiteral("application/javascript");
    auto *buffer = new QBuffer(job);
    buffer->setData(file.readAll());
    buffer->open(QIODevice::ReadOnly);
    job->reply(type, buffer);
}

} // namespace routereel
