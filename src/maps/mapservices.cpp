#include "mapservices.h"

#include <QCoreApplication>
#include <QMutex>

namespace routereel {
namespace {

QMutex overrideMutex;
QUrl overrideBase;

QUrl endpointOr(const char *address)
{
    QMutexLocker lock(&overrideMutex);
    return overrideBase.isEmpty() ? QUrl(QString::fromLatin1(address)) : overrideBase;
}

} // namespace

QUrl MapServices::cartoRasterEndpoint()
{
    return endpointOr("https://basemaps.cartocdn.com");
}

QUrl MapServices::mapboxApiEndpoint()
{
    return endpointOr("https://api.mapbox.com");
}

QUrl MapServices::vectorStyleUrl()
{
    QUrl url = endpointOr("https://tiles.openfreemap.org");
    url.setPath(url.path() + QStringLiteral("/styles/liberty"));
    return url;
}

QString MapServices::mapboxStyleUrl()
{
    return QStringLiteral("mapbox://styles/mapbox/streets-v12");
}

QString MapServices::userAgent()
{
    QString version = QCoreApplication::applicationVersion();
    if (version.isEmpty())
        version = QStringLiteral("dev");
    return QStringLiteral("routereel/%1 (https://github.com/routereel/routereel)").arg(version);
}

void MapServices::overrideEndpointsForTesting(const QUrl &base)
{
    QMutexLocker lock(&overrideMutex);
    overrideBase = base;
}

} // namespace routereel
