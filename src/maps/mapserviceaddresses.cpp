#include "maps/mapserviceaddresses.h"

namespace routereel {

namespace {
QUrl &styleOverride()
{
    static QUrl url;
    return url;
}
} // namespace

QUrl MapServiceAddresses::vectorStyleUrl()
{
    if (!styleOverride().isEmpty())
        return styleOverride();
    return QUrl(QStringLiteral("https://tiles.openfreemap.org/styles/liberty"));
}

QString MapServiceAddresses::mapboxStyleUrl()
{
    return QStringLiteral("mapbox://styles/mapbox/streets-v12");
}

void MapServiceAddresses::overrideVectorStyleForTesting(const QUrl &url)
{
    styleOverride() = url;
}

} // namespace routereel
