// The desktop notifier against a notification service of its own, on a
// private session bus started for the test.
#include "export/views/desktopexportnotifier.h"

#include "support/notificationbus.h"
#include "support/waitfor.h"

#include <gtest/gtest.h>

using namespace routereel;

TEST(DesktopExportNotifier, NotifiesThroughTheFreedesktopService)
{
    testsupport::PrivateSessionBus bus;
    ASSERT_FALSE(bus.address().isEmpty());
    QDBusConnection server = bus.connect(QStringLiteral("notification-service"));
    ASSERT_TRUE(server.isConnected());

    DesktopExportNotifier notifier(bus.connect(QStringLiteral("notifier")));
    // No service yet: nothing is sent over the bus (the tray stands in, where there is one).
    notifier.postExportNotification(QStringLiteral("routereel"), QStringLiteral("lost"));

    testsupport::FakeNotificationService service;
    ASSERT_TRUE(service.serve(server));
    notifier.postExportNotification(QStringLiteral("routereel"), QStringLiteral("Export Failed: ride.mp4"));

    testsupport::waitFor([&] { return !service.calls.isEmpty(); }, 10'000);
    ASSERT_EQ(service.calls.size(), 1);
    EXPECT_EQ(service.calls.first().app, QStringLiteral("routereel"));
    EXPECT_EQ(service.calls.first().summary, QStringLiteral("routereel"));
    EXPECT_EQ(service.calls.first().body, QStringLiteral("Export Failed: ride.mp4"));
    EXPECT_TRUE(service.calls.first().hints.contains(QStringLiteral("sound-name")));
}
