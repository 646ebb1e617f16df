#pragma once

#include <QNetworkInformation>
#include <QObject>

namespace routereel {

// Whether the machine has a usable network path, for the window's offline alert
// and the export's map check. It follows the first reachability backend that
// loads and starts from what that backend reports now; with Qt's glib backend
// it also follows GLib's network monitor itself. A state the backend
// cannot tell ("unknown") counts as online, and so does a machine where no
// backend loads at all: one that reports nothing never refuses map exports.
class NetworkMonitor : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isConnected READ isConnected NOTIFY isConnectedChanged)

public:
    // Follows the system's reachability.
    explicit NetworkMonitor(QObject *parent = nullptr);
    // Starts from `initial` and follows nothing but update() (tests).
    explicit NetworkMonitor(QNetworkInformation::Reachability initial, QObject *parent = nullptr);

    bool isConnected() const { return m_isConnected; }
    // The path-update handler: every update is taken, observers hear only changes.
    void update(QNetworkInformation::Reachability reachability);
    static bool isUsable(QNetworkInformation::Reachability reachability);

    // The loaded reachability backend: the default when it loads, else the
    // first other one that does; null when none does.
    static QNetworkInformation *loadBackend();

signals:
    void isConnectedChanged(bool connected);

private:
    bool m_isConnected = true;
};

} // namespace routereel
