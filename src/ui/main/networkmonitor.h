#pragma once

#include <QNetworkInformation>
#include <QObject>

namespace routereel {

// Whether the machine has a usable network path, for the window's offline alert
// and the export's map check. It starts from the reachability the system
// reports now; a state the backend cannot tell (no backend, "unknown") counts
// as online, so a machine that reports nothing never refuses map exports.
class NetworkMonitor : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isConnected READ isConnected NOTIFY isConnectedChanged)

public:
    // Follows the system's default backend.
    explicit NetworkMonitor(QObject *parent = nullptr);
    // Starts from `initial` and follows nothing but update() (tests).
    explicit NetworkMonitor(QNetworkInformation::Reachability initial, QObject *parent = nullptr);

    bool isConnected() const { return m_isConnected; }
    // The path-update handler: every update is taken, observers hear only changes.
    void update(QNetworkInformation::Reachability reachability);
    static bool isUsable(QNetworkInformation::Reachability reachability);

signals:
    void isConnectedChanged(bool connected);

private:
    bool m_isConnected = true;
};

} // namespace routereel
