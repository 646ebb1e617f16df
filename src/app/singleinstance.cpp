#include "singleinstance.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalServer>
#include <QLocalSocket>

#include <unistd.h>

namespace routereel {

SingleInstance::SingleInstance(QString name, QObject *parent) : QObject(parent), m_name(std::move(name)) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultName()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        return QDir(runtime).filePath(QStringLiteral("routereel-instance"));
    return QDir(QDir::tempPath()).filePath(QStringLiteral("routereel-instance-") + QString::number(getuid()));
}

QList<QUrl> SingleInstance::urlsFromArguments(const QStringList &arguments)
{
    QList<QUrl> urls;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument.isEmpty() || argument.startsWith(QLatin1Char('-')))
            continue;
        if (argument.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
            const QUrl url(argument);
            if (url.isLocalFile())
                urls << url;
            continue;
        }
        // Relative to where this launch was started, not where the running instance was.
        urls << QUrl::fromLocalFile(QFileInfo(argument).absoluteFilePath());
    }
    return urls;
}

bool SingleInstance::handOver(const QList<QUrl> &urls) const
{
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(handOverTimeoutMs))
        return false;
    QJsonArray list;
    for (const QUrl &url : urls)
        list.append(url.toString(QUrl::FullyEncoded));
    socket.write(QJsonDocument(list).toJson(QJsonDocument::Compact));
    // Closing ends the message: the running instance reads up to the end of the stream.
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(handOverTimeoutMs);
    return true;
}

bool SingleInstance::listen()
{
    if (m_server)
        return m_server->isListening();
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::accept);
    if (m_server->listen(m_name))
        return true;
    if (m_server->serverError() == QAbstractSocket::AddressInUseError) {
        // Nobody answers there (checked by the caller's handOver): a crashed instance's socket.
        QLocalServer::removeServer(m_name);
        if (m_server->listen(m_name))
            return true;
    }
    qWarning().noquote() << "[SingleInstance] cannot listen on" << m_name << ':' << m_server->errorString();
    return false;
}

bool SingleInstance::isListening() const
{
    return m_server && m_server->isListening();
}

void SingleInstance::accept()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto *buffer = new QByteArray;
        connect(socket, &QObject::destroyed, this, [buffer] { delete buffer; });
        connect(socket, &QLocalSocket::readyRead, this, [socket, buffer] {
            buffer->append(socket->readAll());
            if (buffer->size() > messageLimit)
                socket->abort();
        });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket, buffer] {
            buffer->append(socket->readAll());
            if (buffer->size() > messageLimit)
                return;
            QList<QUrl> urls;
            for (const QJsonValue &value : QJsonDocument::fromJson(*buffer).array()) {
                const QUrl url(value.toString(), QUrl::StrictMode);
                if (url.isValid() && url.isLocalFile())
                    urls << url;
            }
            emit received(urls);
        });
    }
}

} // namespace routereel
