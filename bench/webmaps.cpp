// webmap-capture: web-map frames captured per second during an export-like
// loop (the centre moves every frame), from a map service on loopback.
#include "benchcommand.h"
#include "eventwait.h"

#include "maps/mapservices.h"
#include "maps/osmwebmapexportrenderer.h"
#include "maps/views/webmapexportpage.h"
#include "maps/views/webmapruntime.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QtConcurrent>

#include <cmath>
#include <cstdio>

namespace routereel::bench {
namespace {

// Before main creates the QApplication.
const bool runtimePrepared = (prepareWebMapRuntime(), true);

QByteArray tile(int z, int x, int y)
{
    QImage image(256, 256, QImage::Format_RGB32);
    image.fill((x + y) % 2 ? QColor(60, 110, 70) : QColor(70, 90, 140));
    QPainter p(&image);
    p.setPen(QPen(QColor(230, 230, 230), 3));
    p.drawLine(0, 128, 256, 128);
    p.drawText(QRect(0, 0, 256, 120), Qt::AlignCenter, QStringLiteral("%1/%2/%3").arg(z).arg(x).arg(y));
    p.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// Style and raster tiles on 127.0.0.1, answered on the server's own thread.
class TileServer : public QObject {
public:
    TileServer() : m_server(new QTcpServer(this))
    {
        m_server->listen(QHostAddress::LocalHost);
        connect(m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = m_server->nextPendingConnection())
                connect(s, &QTcpSocket::readyRead, s, [this, s] { answer(s); });
        });
    }
    quint16 port() const { return m_server->serverPort(); }

private:
    void answer(QTcpSocket *s)
    {
        const QByteArray request = s->peek(s->bytesAvailable());
        if (!request.contains("\r\n\r\n"))
            return;
        s->readAll();
        const QByteArray target = request.split(' ').value(1);
        const QByteArray base = "http://127.0.0.1:" + QByteArray::number(port());
        QByteArray type = "image/png", body;
        if (target.startsWith("/styles/")) {
            type = "application/json";
            body = QByteArray(R"({"version":8,"sources":{"r":{"type":"raster","tiles":["BASE/t/{z}/{x}/{y}"],"tileSize":256}},
                "layers":[{"id":"bg","type":"background","paint":{"background-color":"#203040"}},
                          {"id":"r","type":"raster","source":"r"}]})")
                       .replace("BASE", base);
        } else {
            const QList<QByteArray> parts = target.mid(3).split('/');
            body = tile(parts.value(0).toInt(), parts.value(1).toInt(), parts.value(2).toInt());
        }
        s->write("HTTP/1.1 200 OK\r\nContent-Type: " + type + "\r\nContent-Length: " + QByteArray::number(body.size())
                 + "\r\nAccess-Control-Allow-Origin: *\r\nConnection: close\r\n\r\n" + body);
        s->disconnectFromHost();
        connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
    }
    QTcpServer *m_server;
};

template <typename T>
T inBackground(std::function<T()> work)
{
    QFuture<T> future = QtConcurrent::run(work);
    waitUntil([&] { return future.isFinished(); });
    return future.result();
}

void measure(const QSize &size, int frames)
{
    WebMapExportPage *page = nullptr;
    OSMWebMapExportRenderer renderer(OSMWebMapExportRenderer::Kind::mapWidget, QStringLiteral("en"), QSizeF(size), 1,
                                     [&page](const WebMapPageRequest &request) {
                                         auto made = std::make_unique<WebMapExportPage>(request);
                                         page = made.get();
                                         return made;
                                     });
    if (!inBackground<bool>([&] { return renderer.waitUntilReady(std::chrono::seconds(60), {}); })) {
        std::printf("%dx%d: page not ready\n", size.width(), size.height());
        return;
    }
    // A ride of about 30 km/h sampled at 30 frames per second.
    QList<TrackPoint> points;
    for (int i = 0; i < frames + 1; ++i) {
        TrackPoint p;
        p.lng = 13.40 + 0.0000042 * i;
        p.lat = 52.52 + 0.002 * std::sin(i / 600.0);
        points.append(p);
    }
    const bool prepared = inBackground<bool>(
        [&] { return renderer.prepareForFrames(points, {}, 16, std::chrono::seconds(60), {}, {}); });
    if (!prepared) {
        std::printf("%dx%d: track not loaded\n", size.width(), size.height());
        return;
    }
    int captured = 0;
    const int ticksBefore = page->frameDriver()->tickCount();
    QElapsedTimer clock;
    clock.start();
    inBackground<bool>([&] {
        for (int i = 0; i < frames; ++i) {
            const TrackPoint &p = points[i];
            const double bearing = std::fmod(i * 0.5, 360.0);
            if (renderer.captureFrame(i, p.lng, p.lat, p.lng, p.lat, bearing, 16, {}))
                ++captured;
        }
        return true;
    });
    const double seconds = clock.nsecsElapsed() / 1e9;
    std::printf("%dx%d: %d/%d frames captured in %.2f s = %.1f frames/s (%.1f animation frames each)\n", size.width(),
                size.height(), captured, frames, seconds, captured / seconds,
                double(page->frameDriver()->tickCount() - ticksBefore) / std::max(1, frames));
    renderer.shutdown();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

int run(const QStringList &args)
{
    const int frames = args.value(0, QStringLiteral("300")).toInt();
    QThread serverThread;
    auto *server = new TileServer;
    server->moveToThread(&serverThread);
    serverThread.start();
    MapServices::overrideEndpointsForTesting(QUrl(QStringLiteral("http://127.0.0.1:%1").arg(server->port())));
    measure(QSize(400, 400), frames);
    measure(QSize(1920, 1080), std::max(1, frames / 3));
    QMetaObject::invokeMethod(server, [server] { delete server; }, Qt::BlockingQueuedConnection);
    serverThread.quit();
    serverThread.wait();
    return 0;
}

const bool registered = registerCommand("webmap-capture", "[FRAMES=300]  (needs a display: xvfb-run)", run);

} // namespace
} // namespace routereel::bench
