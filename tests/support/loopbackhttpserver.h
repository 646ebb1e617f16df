#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPair>
#include <QUrl>

#include <functional>
#include <memory>

class QThread;

// A small HTTP/1.1 server on 127.0.0.1, on its own thread so tests may block the
// main thread on a request. Each connection carries one request and is closed.
namespace testsupport {

struct HttpRequest {
    QByteArray method;
    QByteArray target;  // path with query, as sent
    QMap<QByteArray, QByteArray> headers;  // names in lower case
    QByteArray body;
};

struct HttpResponse {
    int status = 200;
    QByteArray contentType = "application/octet-stream";
    QByteArray body;
    int delayMs = 0;           // wait before sending anything
    int bytesPerSecond = 0;    // > 0: trickle the body at this rate
    bool noAnswer = false;     // read the request, never answer, keep the connection open
    QList<QPair<QByteArray, QByteArray>> headers;  // extra response headers
};

class LoopbackHttpServer {
public:
    using Handler = std::function<HttpResponse(const HttpRequest &)>;

    // `handler` runs on the server's thread.
    explicit LoopbackHttpServer(Handler handler);
    ~LoopbackHttpServer();

    quint16 port() const;
    QUrl baseUrl() const;  // http://127.0.0.1:PORT
    int requestCount() const;
    QList<QByteArray> requestedTargets() const;

private:
    class Worker;
    std::unique_ptr<QThread> m_thread;
    Worker *m_worker = nullptr;
};

} // namespace testsupport
