#include "networkmonitor.h"

#include "gionetworkwatch.h"

namespace routereel {

NetworkMonitor::NetworkMonitor(QObject *parent)
    : QObject(parent)
{
    QNetworkInformation *info = loadBackend();
    if (!info)
        return;
    m_isConnected = isUsable(info->reachability());
    connect(info, &QNetworkInformation::reachabilityChanged, this, &NetworkMonitor::update);
    // Qt's glib backend reads GLib's monitor at start but misses its later
    // changes (it waits for a notification the netlink monitor never sends).
    if (info->backendName().compare(QLatin1String("glib"), Qt::CaseInsensitive) == 0) {
        auto *watch = new GioNetworkWatch(this);
        connect(watch, &GioNetworkWatch::reachabilityChanged, this, &NetworkMonitor::update);
    }
}

NetworkMonitor::NetworkMonitor(QNetworkInformation::Reachability initial, QObject *parent)
    : QObject(parent), m_isConnected(isUsable(initial))
{
}

QNetworkInformation *NetworkMonitor::loadBackend()
{
    if (QNetworkInformation *loaded = QNetworkInformation::instance())
        return loaded;
    // The default (NetworkManager on Linux) is absent on many machines; the
    // others Qt ships (glib's) still tell the truth there.
    if (QNetworkInformation::loadDefaultBackend())
        return QNetworkInformation::instance();
    const QStringList names = QNetworkInformation::availableBackends();
    for (const QString &name : names) {
        if (QNetworkInformation::load(name))
            return QNetworkInformation::instance();
    }
    return nullptr;
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
