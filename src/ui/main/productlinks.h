#pragma once

#include <QString>
#include <QUrl>

#include <functional>

namespace routereel {

// The addresses the window links to (the product's page, ways to reach its
// makers, the map vendor's token help) and how a link leaves the application.
// Built from the build's settings; tests give their own.
struct ProductLinks {
    QString websiteName;
    QString websiteURL;
    QString feedbackEmail;
    QString socialHandle;
    QString socialProfileURL;
    QString chatInvitationURL;
    QString mapboxTokenHelpURL;
    // Hands a URL to the desktop (browser, mail client); false when nothing took it.
    std::function<bool(const QUrl &)> open;

    static ProductLinks fromBuild();

    // The toolbar offers the product's page only with both its name and address.
    bool hasWebsite() const { return !websiteName.isEmpty() && !websiteURL.isEmpty(); }
    // The feedback sheet has at least one row to show.
    bool hasFeedback() const
    {
        return !feedbackEmail.isEmpty() || !socialProfileURL.isEmpty() || !chatInvitationURL.isEmpty();
    }
    // The product's page marked as visited from the toolbar ("src=app_main").
    QUrl websiteLink() const;
    // Opens `address` when it is an absolute URL; anything else does nothing.
    bool openLink(const QString &address) const;
};

} // namespace routereel
