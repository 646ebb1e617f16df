#include "loopbackhttpserver.h"

#include <QHostAddress>
#include <QMutex>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

namespace testsupport {

class LoopbackHttpServer::Worker : public QObject {
public:
    explicit Worker(Handler handler)
        : m_handler(std::move(handler))
    {
    }

    void listen()
    {
        m_server = new QTcpServer(this);
        m_server->listen(QHostAddress::LocalHost, 0);
        m_port = m_server->serverPort();
        QObject::connect(m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = m_server->nextPendingConnection()) {
                s->setParent(this);
                auto buffer = std::make_shared<QByteArray>();
                QObject::connect(s, &QTcpSocket::readyRead, this, [this, s, buffer] { onData(s, *buffer); });
                QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }

    void shutDown()
    {
        delete m_server;
        m_server = nullptr;
        for (QTcpSocket *s : findChildren<QTcpSocket *>())
            s->abort();
    }

    quint16 m_port = 0;
    mutable QMutex m_mutex;
    QList<QByteArray> m_targets;

private:
    void onData(QTcpSocket *s, QByteArray &buffer)
    {
        buffer += s->readAll();
        const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
        if (headerEnd < 0 || s->property("handled").toBool())
            return;
        HttpRequest req;
        const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        req.method = first.value(0);
        req.target = first.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0)
                req.headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
        }
        const qsizetype length = req.headers.value("content-length").toLongLong();
        if (buffer.size() - (headerEnd + 4) < length)
            return;
        req.body = buffer.mid(headerEnd + 4, length);
        s->setProperty("handled", true);
        {
            QMutexLocker lock(&m_mutex);
            m_targets.append(req.target);
        }
        const HttpResponse resp = m_handler(req);
        if (resp.noAnswer)
            return;
        QPointer<QTcpSocket> socket(s);
        QTimer::singleShot(resp.delayMs, this, [this, socket, resp] {
            if (socket)
                send(socket, resp);
        });
    }

    void send(QTcpSocket *s, const HttpResponse &resp)
    {
        QByteArray head = "HTTP/1.1 " + QByteArray::number(resp.status) + " X\r\n";
        head += "Content-Type: " + resp.contentType + "\r\n";
        head += "Content-Length: " + QByteArray::number(resp.body.size()) + "\r\n";
        for (const auto &[name, value] : resp.headers)
            head += name + ": " + value + "\r\n";
        head += "Connection: close\r\n\r\n";
        s->write(head);
        if (resp.bytesPerSecond <= 0) {
            s->write(resp.body);
            s->disconnectFromHost();
            return;
        }
        // Trickle: a slice every 100 ms.
        const int chunk = std::max(1, resp.bytesPerSecond / 10);
        auto offset = std::make_shared<qsizetype>(0);
        auto timer = new QTimer(s);
        QPointer<QTcpSocket> socket(s);
        QObject::connect(timer, &QTimer::timeout, s, [socket, timer, offset, chunk, body = resp.body] {
            if (!socket || socket->state() != QAbstractSocket::ConnectedState) {
                timer->stop();
                return;
            }
            socket->write(body.mid(*offset, chunk));
            *offset += chunk;
            if (*offset >= body.size()) {
                timer->stop();
                socket->disconnectFromHost();
            }
        });
        timer->start(100);
    }

    Handler m_handler;
    QTcpServer *m_server = nullptr;
};

LoopbackHttpServer::LoopbackHttpServer(Handler handler)
    : m_thread(std::make_unique<QThread>())
    , m_worker(new Worker(std::move(handler)))
{
    m_worker->moveToThread(m_thread.get());
    m_thread->start();
    QMetaObject::invokeMethod(m_worker, [this] { m_worker->listen(); }, Qt::BlockingQueuedConnection);
}

LoopbackHttpServer::~LoopbackHttpServer()
{
    QMetaObject::invokeMethod(m_worker, [this] { m_worker->shutDown(); }, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
    delete m_worker;
}

quint16 LoopbackHttpServer::port() const
{
    return m_worker->m_port;
}

QUrl LoopbackHttpServer::baseUrl() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port()));
}

int LoopbackHttpServer::requestCount() const
{
    QMutexLocker lock(&m_worker->m_mutex);
    return int(m_worker->m_targets.size());
}

QList<QByteArray> LoopbackHttpServer::requestedTargets() const
{
    QMutexLocker lock(&m_worker->m_mutex);
    return m_worker->m_targets;
}

} // namespace testsupport
