#include "networkmonitor.h"

namespace routereel {

NetworkMonitor::NetworkMonitor(QObject *parent)
    : QObject(parent)
{
    if (!QNetworkInformation::loadDefaultBackend())
        return;
    QNetworkInformation *info = QNetworkInformation::instance();
    m_isConnected = isUsable(info->reachability());
    connect(info, &QNetworkInformation::reachabilityChanged, this, &NetworkMonitor::update);
}

NetworkMonitor::NetworkMonitor(QNetworkInformation::Reachability initial, QObject *parent)
    : QObject(parent), m_isConnected(isUsable(initial))
{
}

bool NetworkMonitor::isUsable(QNetworkInformation::Reachability reachability)
{
    // A local or site network is still a path; only its absence is offline.
    return reachability != QNetworkInformation::Reachability::Disconnected;
}

void NetworkMonitor::update(QNetworkInformation::Reachability reachability)
{
    const bool connected = isUsable(reachability);
    if (connected == m_isConnected)
        return;
    m_isConnected = connected;
    emit isConnectedChanged(connected);
}

} // namespace routereel
