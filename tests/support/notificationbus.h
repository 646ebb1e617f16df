#pragma once

// A session bus of the test's own (dbus-daemon on a private address) and a
// freedesktop notification service on it that records every Notify call.
// Header only: the tests that use it link QtDBus through the UI library.
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QStringList>
#include <QVariantMap>

namespace testsupport {

class PrivateSessionBus {
public:
    PrivateSessionBus()
    {
        m_daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                        QStringLiteral("--print-address")});
        if (m_daemon.waitForReadyRead(10'000))
            m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    ~PrivateSessionBus()
    {
        for (const QString &name : m_names)
            QDBusConnection::disconnectFromBus(name);
        m_daemon.kill();
        m_daemon.waitForFinished();
    }
    PrivateSessionBus(const PrivateSessionBus &) = delete;
    PrivateSessionBus &operator=(const PrivateSessionBus &) = delete;

    QString address() const { return m_address; }
    // A connection of its own to the bus, closed with it.
    QDBusConnection connect(const QString &name)
    {
        m_names << name;
        return QDBusConnection::connectToBus(m_address, name);
    }

private:
    QProcess m_daemon;
    QString m_address;
    QStringList m_names;
};

class FakeNotificationService : public QDBusVirtualObject {
public:
    struct Call {
        QString app;
        QString summary;
        QString body;
        QVariantMap hints;
    };

    // Serves org.freedesktop.Notifications on `connection`; false when the bus refuses.
    bool serve(QDBusConnection connection)
    {
        const QString service = QStringLiteral("org.freedesktop.Notifications");
        return connection.registerVirtualObject(QStringLiteral("/org/freedesktop/Notifications"), this)
            && connection.registerService(service);
    }

    QList<Call> calls;

    QString introspect(const QString &) const override { return {}; }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        const QVariantList args = message.arguments();
        if (message.member() != QLatin1String("Notify") || args.size() != 8)
            return false;
        calls.append({args[0].toString(), args[3].toString(), args[4].toString(),
                      qdbus_cast<QVariantMap>(args[6])});
        connection.send(message.createReply(QVariant::fromValue(uint(calls.size()))));
        return true;
    }
};

} // namespace testsupport
