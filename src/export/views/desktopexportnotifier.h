#pragma once

#include "export/exportnotifier.h"

#include <QDBusConnection>
#include <QIcon>

#include <memory>

class QSystemTrayIcon;

namespace routereel {

// Export notifications on the desktop: the freedesktop notification service
// over the session bus, or a tray balloon where no such service runs.
class DesktopExportNotifier : public ExportNotifier {
public:
    explicit DesktopExportNotifier(QDBusConnection bus = QDBusConnection::sessionBus(), QIcon trayIcon = {});
    ~DesktopExportNotifier() override;

    void postExportNotification(const QString &title, const QString &body) override;

    static inline const QString service = QStringLiteral("org.freedesktop.Notifications");
    static inline const QString path = QStringLiteral("/org/freedesktop/Notifications");

private:
    bool notifyOverBus(const QString &title, const QString &body);
    void showInTray(const QString &title, const QString &body);

    QDBusConnection m_bus;
    QIcon m_trayIcon;
    std::unique_ptr<QSystemTrayIcon> m_tray;
};

} // namespace routereel
