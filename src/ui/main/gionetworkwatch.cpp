#include "gionetworkwatch.h"

#include <QAbstractEventDispatcher>

// gio has struct members named like Qt's keyword macros.
#undef signals
#include <gio/gio.h>

namespace routereel {

namespace {

GNetworkMonitor *monitorOf(void *monitor) { return static_cast<GNetworkMonitor *>(monitor); }

void onNetworkChanged(GNetworkMonitor *, gboolean, gpointer watch)
{
    // Queued, so an update still in flight when the watch goes is dropped.
    auto *self = static_cast<GioNetworkWatch *>(watch);
    QMetaObject::invokeMethod(
        self, [self] { emit self->reachabilityChanged(self->reachability()); }, Qt::QueuedConnection);
}

} // namespace

GioNetworkWatch::GioNetworkWatch(QObject *parent)
    : QObject(parent), m_monitor(g_object_ref(g_network_monitor_get_default()))
{
    m_handler = g_signal_connect(monitorOf(m_monitor), "network-changed", G_CALLBACK(onNetworkChanged), this);

    // Qt runs GLib's main context in its own loop, unless started without it
    // (QT_NO_GLIB): then nothing else would deliver GLib's signals.
    const QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance(thread());
    if (dispatcher && dispatcher->inherits("QEventDispatcherGlib"))
        return;
    connect(&m_pump, &QTimer::timeout, this, [] {
        GMainContext *context = g_main_context_default();
        if (!g_main_context_acquire(context))
            return; // another thread runs it
        for (int turn = 0; turn < 16 && g_main_context_iteration(context, FALSE); ++turn) {
        }
        g_main_context_release(context);
    });
    m_pump.start(200);
}

GioNetworkWatch::~GioNetworkWatch()
{
    g_signal_handler_disconnect(monitorOf(m_monitor), m_handler);
    g_object_unref(monitorOf(m_monitor));
}

QNetworkInformation::Reachability GioNetworkWatch::reachability() const
{
    // The same reading as Qt's glib backend, so both sources agree.
    switch (g_network_monitor_get_connectivity(monitorOf(m_monitor))) {
    case G_NETWORK_CONNECTIVITY_LOCAL:
        return QNetworkInformation::Reachability::Disconnected;
    case G_NETWORK_CONNECTIVITY_LIMITED:
    case G_NETWORK_CONNECTIVITY_PORTAL:
        return QNetworkInformation::Reachability::Site;
    case G_NETWORK_CONNECTIVITY_FULL:
        return QNetworkInformation::Reachability::Online;
    }
    return QNetworkInformation::Reachability::Unknown;
}

} // namespace routereel
