#include "loopbackmapservice.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>

namespace testsupport {

QByteArray tilePng(int z, int x, int y)
{
    QImage image(256, 256, QImage::Format_RGB32);
    image.fill((x + y) % 2 ? QColor(60, 110, 70) : QColor(70, 90, 140));
    QPainter p(&image);
    p.setPen(QPen(QColor(230, 230, 230), 3));
    p.drawLine(0, 128, 256, 128);
    p.drawLine(128, 0, 128, 256);
    p.drawText(QRect(0, 0, 256, 120), Qt::AlignCenter, QStringLiteral("%1/%2/%3").arg(z).arg(x).arg(y));
    p.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QByteArray solidTilePng(const QColor &colour)
{
    QImage image(512, 512, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

std::unique_ptr<testsupport::LoopbackHttpServer> startMapService(bool answerStyle)
{
    auto base = std::make_shared<QByteArray>();
    auto server = std::make_unique<testsupport::LoopbackHttpServer>(
        [base, answerStyle](const testsupport::HttpRequest &request) {
            testsupport::HttpResponse response;
            response.headers.append(qMakePair(QByteArray("Access-Control-Allow-Origin"), QByteArray("*")));
            const QByteArray target = request.target;
            if (target.startsWith("/styles/liberty")) {
                if (!answerStyle) {
                    response.noAnswer = true;
                    return response;
                }
                response.contentType = "application/json";
                response.body = QByteArray(R"({"version":8,"glyphs":"BASE/fonts/{fontstack}/{range}.pbf",
  "sources":{"raster":{"type":"raster","tiles":["BASE/tiles/{z}/{x}/{y}.png"],"tileSize":256,"maxzoom":19},
             "labels":{"type":"geojson","data":{"type":"FeatureCollection","features":[]}}},
  "layers":[{"id":"background","type":"background","paint":{"background-color":"#203040"}},
            {"id":"raster","type":"raster","source":"raster"},
            {"id":"place","type":"symbol","source":"labels","layout":{"text-field":["get","name"],"text-size":14}},
            {"id":"shield","type":"symbol","source":"labels","layout":{"text-field":["get","ref"]}}]})")
                                    .replace("BASE", *base);
                return response;
            }
            if (target.startsWith("/tiles/")) {
                const QList<QByteArray> parts = target.mid(7).split('/');
                if (parts.size() == 3) {
                    response.contentType = "image/png";
                    response.body = tilePng(parts[0].toInt(), parts[1].toInt(), parts[2].split('.').first().toInt());
                    return response;
                }
            }
            response.status = 404;
            return response;
        });
    *base = server->baseUrl().toString().toUtf8();
    return server;
}

QUrl styleUrlOf(const testsupport::LoopbackHttpServer &server)
{
    return QUrl(server.baseUrl().toString() + QStringLiteral("/styles/liberty"));
}

} // namespace testsupport
