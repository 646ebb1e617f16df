#pragma once

#include <QNetworkInformation>
#include <QObject>
#include <QTimer>

namespace routereel {

// Follows GLib's default network monitor. Qt's glib reachability backend waits
// for connectivity notifications, which GLib's netlink monitor never sends; the
// monitor's network-changed signal comes with every change of routes.
class GioNetworkWatch : public QObject {
    Q_OBJECT

public:
    // Make it on the main thread: GLib delivers to the context current when its
    // default monitor was first made, which Qt's backend does here as well.
    explicit GioNetworkWatch(QObject *parent = nullptr);
    ~GioNetworkWatch() override;

    // What GLib's monitor says now, in the terms of Qt's glib backend.
    QNetworkInformation::Reachability reachability() const;

signals:
    // Posted to this object's thread for every change GLib reports.
    void reachabilityChanged(QNetworkInformation::Reachability reachability);

private:
    void *m_monitor = nullptr; // GNetworkMonitor; gio's headers stay out of Qt's way
    unsigned long m_handler = 0;
    QTimer m_pump;
};

} // namespace routereel
