#include "gpspathrenderer.h"

#include "widgets/overlaybitmap.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace routereel {

namespace {

// The raster tiles under a projection's square, in projection pixels.
struct TileGrid {
    TileGrid(const GPSPathProjection &projection, MapProvider provider)
        : z(GPSPathRenderer::tileZoom(provider, projection.zoomFloat))
        , ts(std::exp2(projection.zoomFloat - z) * 512)
        , left(projection.centerPx - projection.size / 2)
        , top(projection.centerPy - projection.size / 2)
        , tiles(qint64(1) << z)
        , col0(qint64(std::floor(left / ts)))
        , col1(qint64(std::floor((left + projection.size) / ts)))
        , row0(std::max<qint64>(qint64(std::floor(top / ts)), 0))
        , row1(std::min(qint64(std::floor((top + projection.size) / ts)), tiles - 1))
    {
    }
    int wrapped(qint64 col) const { return int(((col % tiles) + tiles) % tiles); }  // the map repeats east and west

    int z;
    double ts, left, top;
    qint64 tiles, col0, col1, row0, row1;
};

} // namespace

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

    const TileGrid grid(projection, provider);
    const double ts = grid.ts;
    for (qint64 row = grid.row0; row <= grid.row1; ++row) {
        for (qint64 col = grid.col0; col <= grid.col1; ++col) {
            if (isCancelled && isCancelled())
                return {};
            const QImage tile = cache.tile(provider, grid.z, grid.wrapped(col), int(row), token, language, isCancelled);
            if (!tile.isNull())
                p.drawImage(QRectF(col * ts - grid.left - 0.5, row * ts - grid.top - 0.5, ts + 1, ts + 1), tile);
        }
    }
    return image;
}

void GPSPathRenderer::probeTileService(const GPSPathProjection &projection, MapProvider provider,
                                       const QString &token, const QString &language, TileCache &cache,
                                       const TileCache::CancelCheck &isCancelled,
                                       std::optional<std::chrono::steady_clock::time_point> answerBy)
{
    const double side = projection.size;
    if (!std::isfinite(side) || side < 1)
        return;
    const TileGrid grid(projection, provider);
    if (grid.row0 <= grid.row1)
        cache.tile(provider, grid.z, grid.wrapped(grid.col0), int(grid.row0), token, language, isCancelled, answerBy);
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
