// The desktop notifier against a notification service of its own, on a
// private session bus started for the test.
#include "export/views/desktopexportnotifier.h"

#include "support/waitfor.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QProcess>
#include <gtest/gtest.h>

using namespace routereel;

namespace {

class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Call {
        QString app;
        QString summary;
        QString body;
        QVariantMap hints;
    };
    QList<Call> calls;

public slots:
    uint Notify(const QString &app, uint, const QString &, const QString &summary, const QString &body,
                const QStringList &, const QVariantMap &hints, int)
    {
        calls.append({app, summary, body, hints});
        return uint(calls.size());
    }
};

struct PrivateBus {
    PrivateBus()
    {
        daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                      QStringLiteral("--print-address")});
        if (!daemon.waitForReadyRead(10'000))
            return;
        address = QString::fromUtf8(daemon.readLine()).trimmed();
    }
    ~PrivateBus()
    {
        daemon.kill();
        daemon.waitForFinished();
    }
    QProcess daemon;
    QString address;
};

} // namespace

TEST(DesktopExportNotifier, NotifiesThroughTheFreedesktopService)
{
    PrivateBus bus;
    ASSERT_FALSE(bus.address.isEmpty());
    QDBusConnection server = QDBusConnection::connectToBus(bus.address, QStringLiteral("notification-service"));
    ASSERT_TRUE(server.isConnected());

    QDBusConnection client = QDBusConnection::connectToBus(bus.address, QStringLiteral("notifier"));
    DesktopExportNotifier notifier(client);
    // No service yet: nothing is sent over the bus (the tray stands in, where there is one).
    notifier.postExportNotification(QStringLiteral("routereel"), QStringLiteral("lost"));

    FakeNotifications service;
    ASSERT_TRUE(server.registerObject(DesktopExportNotifier::path, &service, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(server.registerService(DesktopExportNotifier::service));
    notifier.postExportNotification(QStringLiteral("routereel"), QStringLiteral("Export Failed: ride.mp4"));

    testsupport::waitFor([&] { return !service.calls.isEmpty(); }, 10'000);
    ASSERT_EQ(service.calls.size(), 1);
    EXPECT_EQ(service.calls.first().app, QStringLiteral("routereel"));
    EXPECT_EQ(service.calls.first().summary, QStringLiteral("routereel"));
    EXPECT_EQ(service.calls.first().body, QStringLiteral("Export Failed: ride.mp4"));
    EXPECT_TRUE(service.calls.first().hints.contains(QStringLiteral("sound-name")));

    QDBusConnection::disconnectFromBus(QStringLiteral("notifier"));
    QDBusConnection::disconnectFromBus(QStringLiteral("notification-service"));
}

#include "desktopexportnotifiertest.moc"
