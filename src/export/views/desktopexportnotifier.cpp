#include "desktopexportnotifier.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QSystemTrayIcon>
#include <QVariantMap>

namespace routereel {

DesktopExportNotifier::DesktopExportNotifier(QDBusConnection bus, QIcon trayIcon)
    : m_bus(std::move(bus)), m_trayIcon(std::move(trayIcon))
{
}

DesktopExportNotifier::~DesktopExportNotifier() = default;

void DesktopExportNotifier::postExportNotification(const QString &title, const QString &body)
{
    if (!notifyOverBus(title, body))
        showInTray(title, body);
}

bool DesktopExportNotifier::notifyOverBus(const QString &title, const QString &body)
{
    if (!m_bus.isConnected() || !m_bus.interface())
        return false;
    if (!m_bus.interface()->isServiceRegistered(service).value())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, service, QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("sound-name"), QStringLiteral("complete"));
    call << QStringLiteral("routereel") << uint(0) << QString() << title << body << QStringList() << hints
         << int(-1);
    // Fire and forget: the window never waits for the desktop.
    return m_bus.send(call);
}

void DesktopExportNotifier::showInTray(const QString &title, const QString &body)
{
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;
    if (!m_tray) {
        m_tray = std::make_unique<QSystemTrayIcon>(m_trayIcon);
        m_tray->show();
    }
    m_tray->showMessage(title, body, QSystemTrayIcon::Information);
}

} // namespace routereel
