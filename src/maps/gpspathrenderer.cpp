#include "gpspathrenderer.h"

#include "widgets/overlaybitmap.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace routereel {

GPSPathRenderer::GPSPathRenderer(MapProvider provider, double pixelSize, double referenceSize, double opacity,
                                 double padding)
    : m_pixelSize(pixelSize)
    , m_referenceSize(std::max(1.0, referenceSize))
    , m_opacity(opacity)
    , m_padding(padding)
    , m_provider(provider)
{
}

void GPSPathRenderer::setTileBackground(const QImage &image, bool crossesDateline, double lng, double lat, double zoom)
{
    m_tileBackground = image;
    m_webCamera = GPSPathFitCamera::Camera{lng, lat, zoom, crossesDateline};
}

int GPSPathRenderer::tileZoom(MapProvider provider, double zoomFloat)
{
    const int z = std::clamp(int(std::floor(zoomFloat)), 1, 18);
    return provider == MapProvider::mapbox ? z : std::min(z + 1, 18);
}

QImage GPSPathRenderer::loadTileBackground(const GPSPathProjection &projection, MapProvider provider,
                                           const QString &token, const QString &language, double scale,
                                           TileCache &cache, const TileCache::CancelCheck &isCancelled)
{
    const double s = std::max(1.0, scale);
    const double side = projection.size * s;
    if (!std::isfinite(side) || side < 1)
        return {};
    QImage image = newOverlayBitmap(QSize(int(side), int(side)));
    if (image.isNull())
        return {};
    QPainter p(&image);
    p.scale(s, s);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const double size = projection.size;
    p.fillRect(QRectF(0, 0, size, size), QColor::fromRgbF(0.93f, 0.93f, 0.93f));

    const int z = tileZoom(provider, projection.zoomFloat);
    const double ts = std::exp2(projection.zoomFloat - z) * 512;
    const double left = projection.centerPx - size / 2;
    const double top = projection.centerPy - size / 2;
    const qint64 tiles = qint64(1) << z;
    const qint64 col0 = qint64(std::floor(left / ts)), col1 = qint64(std::floor((left + size) / ts));
    const qint64 row0 = qint64(std::floor(top / ts)), row1 = qint64(std::floor((top + size) / ts));
    for (qint64 row = std::max<qint64>(row0, 0); row <= std::min(row1, tiles - 1); ++row) {
        for (qint64 col = col0; col <= col1; ++col) {
            if (isCancelled && isCancelled())
                return {};
            const int x = int(((col % tiles) + tiles) % tiles);  // the map repeats east and west
            const QImage tile = cache.tile(provider, z, x, int(row), token, language, isCancelled);
            if (!tile.isNull())
                p.drawImage(QRectF(col * ts - left - 0.5, row * ts - top - 0.5, ts + 1, ts + 1), tile);
        }
    }
    return image;
}

bool GPSPathRenderer::renderBase(const QList<TrackPoint> &points, const QList<int> &breaks)
{
    const int n = std::isfinite(m_pixelSize) && m_pixelSize >= 1 ? int(m_pixelSize) : 0;
    QImage base = newOverlayBitmap(QSize(n, n));
    if (base.isNull())
        return false;
    const double s = m_pixelSize / m_referenceSize;

    m_discMask = newOverlayBitmap(QSize(n, n));
    {
        QPainter p(&m_discMask);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(0, 0, n, n));
    }
    {
        QPainter p(&base);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        QPainterPath disc;
        disc.addEllipse(QRectF(0, 0, n, n));
        p.setClipPath(disc);
        if (!m_tileBackground.isNull())
            p.drawImage(QRectF(0, 0, n, n), m_tileBackground);
        else
            p.fillRect(QRectF(0, 0, n, n), Qt::black);
        if (!m_webCamera) {
            m_projection = GPSPathProjection::make(points, breaks, m_padding, m_pixelSize);
            QPainterPath path;
            for (qsizetype i = 0; i < m_projection->pts.size(); ++i) {
                if (i == 0 || m_projection->breaks.contains(int(i)))
                    path.moveTo(m_projection->pts[i]);
                else
                    path.lineTo(m_projection->pts[i]);
            }
            p.setPen(QPen(QColor::fromRgbF(0.0f, 0.83f, 1.0f, 0.9f), 2.5 * s, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.setBrush(Qt::NoBrush);
            p.drawPath(path);
        }
    }
    m_baseImage = base;

    const int d = int(std::ceil(13.5 * s));
    QImage dot = newOverlayBitmap(QSize(d, d));
    if (dot.isNull())
        return false;
    {
        QPainter p(&dot);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF circle(d / 2.0 - 5 * s, d / 2.0 - 5 * s, 10 * s, 10 * s);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor::fromRgbF(1.0f, 0.23f, 0.19f));
        p.drawEllipse(circle);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(Qt::white, 1.5 * s));
        p.drawEllipse(circle);
    }
    m_dotImage = dot;
    return !m_baseImage.isNull() && !m_dotImage.isNull();
}

QImage GPSPathRenderer::renderFrame(const QList<TrackPoint> &points, double lat, double lng) const
{
    if (m_baseImage.isNull() || m_dotImage.isNull())
        return {};
    QImage frame = m_baseImage.copy();
    if (frame.isNull())
        return {};
    if (points.size() < 2)
        return frame;
    QPointF position;
    if (!m_webCamera) {
        if (!m_projection)
            return {};
        position = m_projection->point(lat, lng);
    } else {
        position = GPSPathFitCamera::project(lat, lng, *m_webCamera, m_referenceSize, m_pixelSize / m_referenceSize);
    }
    if (!std::isfinite(position.x()) || !std::isfinite(position.y()))
        return frame;
    const double w = m_dotImage.width();
    const QRectF target(position.x() - w / 2, position.y() - w / 2, w, w);
    if (!target.intersects(QRectF(frame.rect())))
        return frame;
    QPainter p(&frame);
    p.drawImage(target, m_dotImage);
    // Only the dot's square can reach outside the disc: mask just that part.
    p.setCompositionMode(QPainter::CompositionMode_DestinationIn);
    const QRect area = target.toAlignedRect().intersected(frame.rect());
    p.drawImage(area.topLeft(), m_discMask, area);
    return frame;
}

} // namespace routereel
