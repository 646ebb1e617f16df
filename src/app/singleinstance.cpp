#include "singleinstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace routereel {

SingleInstance::SingleInstance(QString name, QObject *parent) : QObject(parent), m_name(std::move(name)) {}

SingleInstance::~SingleInstance()
{
    // The socket goes first: a launch that then takes the lock finds no live one to remove.
    delete m_server;
    m_server = nullptr;
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

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

namespace {

// One hand-over is one line of JSON (a compact document has no line break);
// the running instance answers this line once it has taken the files.
const QByteArray takenAnswer = QByteArrayLiteral("taken\n");

int remainingMs(const QDeadlineTimer &deadline)
{
    return int(std::clamp<qint64>(deadline.remainingTime(), 0, std::numeric_limits<int>::max()));
}

} // namespace

SingleInstance::HandOver SingleInstance::handOver(const QList<QUrl> &urls, int limitMs) const
{
    const QDeadlineTimer deadline(std::min(limitMs, handOverTimeoutMs));
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(remainingMs(deadline)))
        return HandOver::unanswered;
    QJsonArray list;
    for (const QUrl &url : urls)
        list.append(url.toString(QUrl::FullyEncoded));
    socket.write(QJsonDocument(list).toJson(QJsonDocument::Compact) + '\n');
    // Written is not taken: the files count as handed over only once the instance says so.
    while (socket.state() == QLocalSocket::ConnectedState && !socket.canReadLine() && !deadline.hasExpired())
        socket.waitForReadyRead(remainingMs(deadline));
    if (socket.canReadLine())
        return socket.readLine() == takenAnswer ? HandOver::taken : HandOver::refused;
    if (socket.state() == QLocalSocket::UnconnectedState && !deadline.hasExpired())
        return HandOver::refused;
    socket.abort();
    return HandOver::unanswered;
}

SingleInstance::Claim SingleInstance::claim(const QList<QUrl> &urls, int limitMs)
{
    QDeadlineTimer deadline(limitMs);
    for (;;) {
        switch (handOver(urls, std::max(1, remainingMs(deadline)))) {
        case HandOver::taken:
            return Claim::handedOver;
        case HandOver::refused:
            // It answers while it quits: the limit is for one that does not answer.
            deadline.setRemainingTime(limitMs);
            QThread::msleep(50);
            break;
        case HandOver::unanswered:
            break;
        }
        switch (takeLock()) {
        case Lock::taken:
        case Lock::unsupported:
            switch (listenHere()) {
            case Listen::listening:
                return Claim::listening;
            case Listen::failed:
                return Claim::alone;
            case Listen::answered:
                break;
            }
            break;
        case Lock::busy:
            // Its holder listens, or is about to, or quits.
            break;
        }
        if (deadline.hasExpired())
            return Claim::unanswered;
        QThread::msleep(20);
    }
}

QString SingleInstance::unansweredMessage()
{
    return tr("routereel is already running but does not answer. Close it, or end it, and try again.");
}

bool SingleInstance::listen()
{
    if (m_server)
        return m_server->isListening();
    if (takeLock() == Lock::busy)
        return false;
    return listenHere() == Listen::listening;
}

SingleInstance::Lock SingleInstance::takeLock()
{
    if (m_lockFd >= 0)
        return Lock::taken;
    const QByteArray path = QFile::encodeName(lockPath());
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        qWarning().noquote() << "[SingleInstance] cannot open" << lockPath() << ':' << std::strerror(errno);
        return Lock::unsupported;
    }
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0) {
        // The kernel lets go of it when this process ends, however it ends.
        m_lockFd = fd;
        return Lock::taken;
    }
    const int error = errno;
    ::close(fd);
    if (error == EWOULDBLOCK)
        return Lock::busy;
    qWarning().noquote() << "[SingleInstance] cannot lock" << lockPath() << ':' << std::strerror(error);
    return Lock::unsupported;
}

SingleInstance::Listen SingleInstance::listenHere()
{
    if (!m_server) {
        m_server = new QLocalServer(this);
        m_server->setSocketOptions(QLocalServer::UserAccessOption);
        connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::accept);
    }
    if (m_server->isListening() || m_server->listen(m_name))
        return Listen::listening;
    if (m_server->serverError() == QAbstractSocket::AddressInUseError) {
        // An instance that holds no lock (an older routereel) may still answer there:
        // its socket is only removed when nobody does.
        if (answers())
            return Listen::answered;
        QLocalServer::removeServer(m_name);
        if (m_server->listen(m_name))
            return Listen::listening;
    }
    qWarning().noquote() << "[SingleInstance] cannot listen on" << m_name << ':' << m_server->errorString();
    return Listen::failed;
}

bool SingleInstance::answers() const
{
    QLocalSocket socket;
    socket.connectToServer(m_name);
    const bool connected = socket.waitForConnected(handOverTimeoutMs);
    socket.abort();
    return connected;
}

bool SingleInstance::isListening() const
{
    return m_server && m_server->isListening();
}

void SingleInstance::accept()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (m_refusing) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        struct Pending {
            QByteArray bytes;
            bool answered = false;
        };
        auto pending = std::make_shared<Pending>();
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, pending] {
            if (pending->answered)
                return;
            pending->bytes.append(socket->readAll());
            const qsizetype end = pending->bytes.indexOf('\n');
            if (end >= 0) {
                pending->answered = true;
                take(socket, pending->bytes.left(end));
            } else if (pending->bytes.size() > messageLimit) {
                pending->answered = true;
                socket->abort();
            }
        });
    }
}

void SingleInstance::take(QLocalSocket *socket, const QByteArray &message)
{
    // Quitting, or the launch gave up waiting: it goes on and opens its files itself.
    if (m_refusing || socket->state() != QLocalSocket::ConnectedState) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    QList<QUrl> urls;
    for (const QJsonValue &value : QJsonDocument::fromJson(message).array()) {
        const QUrl url(value.toString(), QUrl::StrictMode);
        if (url.isValid() && url.isLocalFile())
            urls << url;
    }
    emit received(urls);
    socket->write(takenAnswer);
    socket->flush();
    socket->disconnectFromServer();
}

} // namespace routereel
