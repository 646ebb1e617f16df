#pragma once

#include <QByteArray>
#include <QWebEngineUrlSchemeHandler>

class QWebEngineProfile;

namespace routereel {

// Serves the map libraries embedded at build time (":/maplib/...") to the map
// pages under "routereel-maplib://lib/<package>/dist/<file>".
class MapLibSchemeHandler : public QWebEngineUrlSchemeHandler {
    Q_OBJECT
public:
    static QByteArray scheme() { return QByteArrayLiteral("routereel-maplib"); }

    // Before the QApplication exists.
    static void registerScheme();
    // Installs one handler on the profile (once; later calls do nothing).
    static void installOn(QWebEngineProfile *profile);

    explicit MapLibSchemeHandler(QObject *parent = nullptr);
    void requestStarted(QWebEngineUrlRequestJob *job) override;
};

} // namespace routereel
