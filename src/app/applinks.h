#pragma once

#include <QString>
#include <QUrl>

namespace routereel {

// The addresses the shell links to; an empty one hides what would use it.
struct AppLinks {
    QUrl website;
    QString authorHandle;  // without the at-sign
    QUrl authorProfile;
    QUrl help;
    QUrl updateServer;

    // The addresses set when building (cmake/addresses.cmake).
    static AppLinks fromBuild();
    // `url` with the query item "src=<source>" added, telling the site where the visit came from.
    static QUrl withSource(const QUrl &url, const QString &source);
};

} // namespace routereel
