#include "productlinks.h"

#include <appaddresses.h>

#include <QDesktopServices>
#include <QUrlQuery>

namespace routereel {

ProductLinks ProductLinks::fromBuild()
{
    return {
        .websiteName = QString::fromUtf8(addresses::websiteName),
        .websiteURL = QString::fromUtf8(addresses::websiteURL),
        .feedbackEmail = QString::fromUtf8(addresses::feedbackEmail),
        .socialHandle = QString::fromUtf8(addresses::socialHandle),
        .socialProfileURL = QString::fromUtf8(addresses::socialProfileURL),
        .chatInvitationURL = QString::fromUtf8(addresses::chatInvitationURL),
        .mapboxTokenHelpURL = QString::fromUtf8(addresses::mapboxTokenHelpURL),
        .open = [](const QUrl &url) { return QDesktopServices::openUrl(url); },
    };
}

QUrl ProductLinks::websiteLink() const
{
    QUrl url(websiteURL, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty())
        return {};
    QUrlQuery query(url);
    query.addQueryItem(QStringLiteral("src"), QStringLiteral("app_main"));
    url.setQuery(query);
    return url;
}

bool ProductLinks::openLink(const QString &address) const
{
    const QUrl url(address, QUrl::StrictMode);
    if (address.isEmpty() || !url.isValid() || url.scheme().isEmpty() || !open)
        return false;
    return open(url);
}

} // namespace routereel
