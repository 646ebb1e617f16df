#include "tiletestserver.h"

#include "maps/mapservices.h"

#include <QBuffer>
#include <QPainter>
#include <QRegularExpression>

using testsupport::HttpRequest;
using testsupport::HttpResponse;

TileTestServer::TileTestServer(int latencyMs)
    : m_latencyMs(latencyMs)
    , m_http([this](const HttpRequest &r) { return respond(r); })
{
    routereel::MapServices::overrideEndpointsForTesting(m_http.baseUrl());
}

TileTestServer::~TileTestServer()
{
    routereel::MapServices::overrideEndpointsForTesting(QUrl());
}

std::optional<TileTestServer::TileId> TileTestServer::parseTarget(const QByteArray &target)
{
    static const QRegularExpression pattern(
        QStringLiteral("^/(?:rastertiles/voyager|styles/v1/mapbox/streets-v12/tiles/512)/(\\d+)/(\\d+)/(\\d+)@2x"));
    const auto match = pattern.match(QString::fromLatin1(target));
    if (!match.hasMatch())
        return std::nullopt;
    return TileId{match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt()};
}

QList<TileTestServer::TileId> TileTestServer::requestedTiles() const
{
    QList<TileId> out;
    for (const QByteArray &t : m_http.requestedTargets()) {
        if (const auto id = parseTarget(t))
            out.append(*id);
    }
    return out;
}

QByteArray TileTestServer::lastUserAgent() const
{
    QMutexLocker lock(&m_mutex);
    return m_userAgent;
}

QColor TileTestServer::tileColor(int z, int x, int y)
{
    return QColor::fromHsv((x * 47 + y * 89 + z * 13) % 360, 60, 235);
}

QImage TileTestServer::tileImage(int z, int x, int y)
{
    QImage image(512, 512, QImage::Format_ARGB32_Premultiplied);
    image.fill(tileColor(z, x, y));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(255, 255, 255), 14));
    p.drawLine(0, 256, 512, 256);
    p.drawLine(256, 0, 256, 512);
    p.setPen(QPen(QColor(250, 200, 90), 8));
    p.drawLine(0, 0, 512, 512);
    p.setPen(QPen(QColor(120, 120, 120), 2));
    p.drawRect(1, 1, 510, 510);
    p.setPen(Qt::black);
    QFont font;
    font.setPixelSize(40);
    p.setFont(font);
    p.drawText(QRect(0, 300, 512, 100), Qt::AlignCenter, QStringLiteral("%1/%2/%3").arg(z).arg(x).arg(y));
    return image;
}

HttpResponse TileTestServer::respond(const HttpRequest &request)
{
    {
        QMutexLocker lock(&m_mutex);
        m_userAgent = request.headers.value("user-agent");
    }
    HttpResponse response;
    response.delayMs = m_latencyMs;
    const auto id = parseTarget(request.target);
    const Mode mode = id ? Mode(m_mode) : Mode::notFound;
    switch (mode) {
    case Mode::notFound:
    case Mode::serverError:
        response.status = mode == Mode::notFound ? 404 : 500;
        response.body = "no tile";
        return response;
    case Mode::corrupt:
        response.body = QByteArray("\x89PNG\r\n\x1a\n") + QByteArray(300, 'x');
        break;
    case Mode::noAnswer:
        response.noAnswer = true;
        return response;
    case Mode::tiles:
    case Mode::trickle: {
        QBuffer buffer(&response.body);
        buffer.open(QIODevice::WriteOnly);
        tileImage(id->z, id->x, id->y).save(&buffer, "PNG");
        response.bytesPerSecond = mode == Mode::trickle ? 50 : 0;
    }
    }
    response.contentType = "image/png";
    return response;
}
