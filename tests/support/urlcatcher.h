#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

namespace testsupport {

// Takes the URLs that would go to the desktop (QDesktopServices::setUrlHandler).
class UrlCatcher : public QObject {
    Q_OBJECT

public slots:
    void open(const QUrl &url) { urls << url; }

public:
    QList<QUrl> urls;
};

} // namespace testsupport
