#include "applinks.h"

#include "appaddresses.h"

#include <QUrlQuery>

namespace routereel {

namespace {

QUrl address(const char *text)
{
    const QUrl url(QString::fromUtf8(text).trimmed(), QUrl::StrictMode);
    return url.isValid() && !url.host().isEmpty() ? url : QUrl();
}

} // namespace

AppLinks AppLinks::fromBuild()
{
    AppLinks links;
    links.website = address(addresses::websiteURL);
    links.authorHandle = QString::fromUtf8(addresses::socialHandle).trimmed();
    if (links.authorHandle.startsWith(QLatin1Char('@')))
        links.authorHandle.remove(0, 1);
    links.authorProfile = address(addresses::socialProfileURL);
    links.help = address(addresses::helpURL);
    links.updateServer = address(addresses::updateFeedURL);
    return links;
}

QUrl AppLinks::withSource(const QUrl &url, const QString &source)
{
    QUrl result = url;
    QUrlQuery query(url);
    query.addQueryItem(QStringLiteral("src"), source);
    result.setQuery(query);
    return result;
}

} // namespace routereel
