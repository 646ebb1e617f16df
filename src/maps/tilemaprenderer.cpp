#include "tilemaprenderer.h"

#include "webmercator.h"
#include "widgets/overlaybitmap.h"
#include "widgets/shadowblur.h"

#include <QPainter>
#include <QPainterPath>
#include <QSet>

#include <algorithm>
#include <cmath>

namespace routereel {

namespace {

constexpr int blockSize = 64;
constexpr double enlargedWindow = 1.42;
constexpr double rotationThreshold = 0.1;

// The map window of a turned widget: 1.42 times its size, and for a long rectangle at least
// its diagonal both ways, so that no turn leaves a corner of the widget uncovered.
QSizeF turnedWindow(QSizeF reference)
{
    const double diagonal = std::hypot(reference.width(), reference.height());
    return {std::max(reference.width() * enlargedWindow, diagonal), std::max(reference.height() * enlargedWindow, diagonal)};
}

bool validLatLng(double lat, double lng)
{
    return std::isfinite(lat) && std::isfinite(lng) && lat >= -90 && lat <= 90 && lng >= -180 && lng <= 180;
}

} // namespace

struct TileMapRenderer::Geometry {
    QList<QPointF> world;        // track points in world pixels, unwrapped across the date line
    QList<QRectF> blockBounds;   // bounds of points [b * blockSize, (b + 1) * blockSize]
    bool hasPath = false;
};

TileMapRenderer::TileMapRenderer(std::optional<QSizeF> referenceSize, MapShape shape, MapProvider provider,
                                 const QString &token, int mapZoomLevel, const QString &mapLanguage, QSizeF size,
                                 double cornerRadius, TileCache &cache)
    : m_size(size)
    , m_referenceSize(referenceSize.value_or(size))
    , m_shape(shape)
    , m_cornerRadius(cornerRadius)
    , m_provider(provider)
    , m_token(token)
    , m_mapLanguage(mapLanguage)
    , m_zoom(provider == MapProvider::openStreetMap ? mapZoomLevel + 1 : mapZoomLevel)
    , m_tws(TileCache::worldTileSize(provider))
    , m_sc(size.width() / std::max(1.0, m_referenceSize.width()))
    , m_cache(cache)
{
    // Beyond the service's deepest zoom, draw its deepest tiles enlarged rather than nothing.
    m_fetchZoom = std::min(m_zoom, TileCache::maxTileZoom(provider));
    m_fetchedTileWorld = m_tws * std::exp2(std::max(0, m_zoom - m_fetchZoom));

    const double r = 7 * m_sc;
    const double b = 8 * m_sc;
    const double w = 2 * m_sc;
    const double m = std::ceil(2 * b + w + 2);
    m_dotSpriteSize = std::ceil(2 * r + 2 * m);
    m_dotSprite = makeDotSprite(m_dotSpriteSize, r, b, w);

    const int W = std::isfinite(m_size.width()) ? int(m_size.width()) : 0;
    const int H = std::isfinite(m_size.height()) ? int(m_size.height()) : 0;
    m_mask = newOverlayBitmap(QSize(W, H));
    if (!m_mask.isNull()) {
        QPainter p(&m_mask);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        if (m_shape == MapShape::circle)
            p.drawEllipse(QRectF(0, 0, W, H));
        else
            p.drawRoundedRect(QRectF(0, 0, W, H), m_cornerRadius, m_cornerRadius);
    }
}

QImage TileMapRenderer::makeDotSprite(double size, double radius, double blurRadius, double lineWidth)
{
    const int n = int(std::ceil(size));
    if (n < 1)
        return {};
    const QColor red = QColor::fromRgbF(1.0f, 0.23f, 0.19f);
    const QRectF circle(n / 2.0 - radius, n / 2.0 - radius, 2 * radius, 2 * radius);
    QImage disc = newOverlayBitmap(QSize(n, n));
    if (disc.isNull())
        return {};
    {
        QPainter p(&disc);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(red);
        p.drawEllipse(circle);
    }
    // The red glow: the disc's soft shadow, recoloured.
    QImage sprite = shadowOf(disc, blurRadius, 0.6);
    if (sprite.isNull())
        return {};
    QPainter p(&sprite);
    p.setCompositionMode(QPainter::CompositionMode_SourceIn);
    p.fillRect(sprite.rect(), red);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(red);
    p.drawEllipse(circle);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, lineWidth));
    p.drawEllipse(circle);
    return sprite;
}

std::shared_ptr<const TileMapRenderer::Geometry> TileMapRenderer::geometryFor(const QList<TrackPoint> &points)
{
    if (points.isEmpty())
        return std::make_shared<Geometry>();
    const PathCacheKey key{points.first().id, points.last().id, points.size()};
    {
        QMutexLocker lock(&m_pathLock);
        if (m_cachedKey == key)
            return m_cachedGeometry;
    }
    // One thread builds, the others wait for it: every frame thread of an
    // export asks at once, and a long track takes a while.
    QMutexLocker building(&m_buildLock);
    {
        QMutexLocker lock(&m_pathLock);
        if (m_cachedKey == key)
            return m_cachedGeometry;
    }
    auto geometry = std::make_shared<Geometry>();
    const double worldWidth = std::exp2(m_zoom) * m_tws;
    geometry->world.reserve(points.size());
    for (qsizetype i = 0; i < points.size(); ++i) {
        double x = TileCache::pixelX(m_zoom, points[i].lng, m_tws);
        if (i > 0)
            x = webmercator::unwrapNear(x, geometry->world.last().x(), worldWidth);
        geometry->world.append(QPointF(x, TileCache::pixelY(m_zoom, points[i].lat, m_tws)));
    }
    for (qsizetype first = 0; first < points.size(); first += blockSize) {
        const qsizetype last = std::min(first + blockSize, points.size() - 1);
        double x0 = geometry->world[first].x(), x1 = x0, y0 = geometry->world[first].y(), y1 = y0;
        for (qsizetype j = first + 1; j <= last; ++j) {
            x0 = std::min(x0, geometry->world[j].x());
            x1 = std::max(x1, geometry->world[j].x());
            y0 = std::min(y0, geometry->world[j].y());
            y1 = std::max(y1, geometry->world[j].y());
        }
        geometry->blockBounds.append(QRectF(QPointF(x0, y0), QPointF(x1, y1)));
    }
    geometry->hasPath = points.size() >= 2;

    QMutexLocker lock(&m_pathLock);
    if (m_cachedKey != key) {
        m_cachedKey = key;
        m_cachedGeometry = geometry;
    }
    return m_cachedGeometry;
}

namespace {

// Adds to `path` the track's lines between points [0, limit) that can show inside `window`
// (world pixels, wide enough for the line's width), mapped by `map`; returns the index of the
// last point added, or -2. A line wholly outside is left out and the path starts afresh after
// it: where it is cut, both ends lie outside the window, so nothing drawn inside changes.
template <typename Map>
qsizetype addVisible(QPainterPath &path, const QList<QPointF> &world, const QList<QRectF> &blocks,
                     const QList<TrackPoint> &points, qsizetype limit, const QRectF &window, const Map &map)
{
    qsizetype lastAdded = -2;
    const auto outside = [&window](double left, double right, double top, double bottom) {
        return right < window.left() || left > window.right() || bottom < window.top() || top > window.bottom();
    };
    for (qsizetype b = 0; b < blocks.size(); ++b) {
        const qsizetype first = b * blockSize;
        if (first + 1 >= limit)
            break;
        const QRectF &bounds = blocks[b];
        // Bounds of a straight run may have no width or height; compare edges, not areas.
        if (outside(bounds.left(), bounds.right(), bounds.top(), bounds.bottom()))
            continue;
        // The lines from point j to j + 1 of this block.
        const qsizetype last = std::min(first + blockSize, limit - 1);
        for (qsizetype j = first; j < last; ++j) {
            if (points[j + 1].startsSegment)
                continue;
            const QPointF &a = world[j];
            const QPointF &c = world[j + 1];
            if (outside(std::min(a.x(), c.x()), std::max(a.x(), c.x()), std::min(a.y(), c.y()),
                        std::max(a.y(), c.y())))
                continue;
            if (lastAdded != j)
                path.moveTo(map(a));
            path.lineTo(map(c));
            lastAdded = j + 1;
        }
    }
    return lastAdded;
}

} // namespace

QImage TileMapRenderer::renderFrame(const QList<TrackPoint> &points, int index, double centreLat, double centreLng,
                                    double positionLat, double positionLng, double bearing)
{
    if (points.isEmpty() || !std::isfinite(bearing) || !validLatLng(centreLat, centreLng)
        || !validLatLng(positionLat, positionLng))
        return {};
    index = std::clamp(index, 0, int(points.size()) - 1);
    const std::shared_ptr<const Geometry> geometry = geometryFor(points);

    const bool rotated = std::fabs(bearing) > rotationThreshold;
    const QSizeF ext = rotated ? turnedWindow(m_referenceSize) : m_referenceSize;
    const int W = int(m_size.width());
    const int H = int(m_size.height());
    QImage image = newOverlayBitmap(QSize(W, H));
    if (image.isNull() || m_mask.isNull())
        return {};

    const double worldWidth = std::exp2(m_zoom) * m_tws;
    const double anchorX = geometry->world[index].x();
    const double cx = webmercator::unwrapNear(TileCache::pixelX(m_zoom, centreLng, m_tws), anchorX, worldWidth);
    const double cy = TileCache::pixelY(m_zoom, centreLat, m_tws);
    const double ox = cx - ext.width() / 2;
    const double oy = cy - ext.height() / 2;
    const QPointF dot(webmercator::unwrapNear(TileCache::pixelX(m_zoom, positionLng, m_tws), anchorX, worldWidth),
                      TileCache::pixelY(m_zoom, positionLat, m_tws));
    const double sc = m_sc;
    const auto map = [ox, oy, sc](const QPointF &w) { return QPointF((w.x() - ox) * sc, (w.y() - oy) * sc); };

    QPainter p(&image);
    if (rotated) {
        p.translate(W / 2.0, H / 2.0);
        p.rotate(-bearing);  // the painter turns clockwise; the map turns counter-clockwise
        p.translate(-ext.width() * sc / 2, -ext.height() * sc / 2);
    }
    p.fillRect(QRectF(0, 0, ext.width() * sc, ext.height() * sc), QColor::fromRgbF(0.93f, 0.93f, 0.93f));
    p.setRenderHint(QPainter::SmoothPixmapTransform);

    // Tiles; the unwrapped column places a tile, the wrapped one names it.
    const double tileWorld = m_fetchedTileWorld;
    const bool enlarged = tileWorld > m_tws;
    const double k = 1 / tileWorld;
    const qint64 n = qint64(1) << std::clamp(m_fetchZoom, 0, 62);
    if (m_fetchZoom >= 0 && m_fetchZoom <= 22) {
        const qint64 col0 = qint64(std::floor(ox * k)), col1 = qint64(std::floor((ox + ext.width()) * k));
        const qint64 row0 = qint64(std::floor(oy * k)), row1 = qint64(std::floor((oy + ext.height()) * k));
        for (qint64 row = std::max<qint64>(row0, 0); row <= std::min(row1, n - 1); ++row) {
            for (qint64 col = col0; col <= col1; ++col) {
                const int x = int(((col % n) + n) % n);
                const QRectF target((col * tileWorld - ox) * sc - 0.5, (row * tileWorld - oy) * sc - 0.5,
                                    tileWorld * sc + 1, tileWorld * sc + 1);
                if (enlarged) {
                    // Enlarged past the service's deepest zoom: drawn straight from the fetched
                    // tile, so only the part inside the widget is ever scaled up.
                    const QImage tile = m_cache.tile(m_provider, m_fetchZoom, x, int(row), m_token, m_mapLanguage);
                    if (!tile.isNull())
                        p.drawImage(target, tile);
                    continue;
                }
                const QImage tile = scaledTile(x, int(row), int(std::ceil(target.width())));
                if (!tile.isNull())
                    p.drawImage(target, tile);
            }
        }
    }

    p.setRenderHint(QPainter::Antialiasing);
    const double margin = 3 + 3 / std::max(sc, 1e-9);
    const QRectF window(ox - margin, oy - margin, ext.width() + 2 * margin, ext.height() + 2 * margin);
    if (geometry->hasPath) {
        QPainterPath full;
        addVisible(full, geometry->world, geometry->blockBounds, points, points.size(), window, map);
        p.setPen(QPen(QColor::fromRgbF(0.29f, 0.56f, 0.85f, 0.3f), 1.5 * sc, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(full);
    }
    if (index > 0 && index < geometry->world.size()) {
        QPainterPath travelled;
        const qsizetype last = addVisible(travelled, geometry->world, geometry->blockBounds, points, index, window, map);
        if (last != index - 1)
            travelled.moveTo(map(geometry->world[index - 1]));
        if (points[index].startsSegment)
            travelled.moveTo(map(dot));
        else
            travelled.lineTo(map(dot));
        p.setPen(QPen(QColor::fromRgbF(0.0f, 0.83f, 1.0f, 0.9f), 2.25 * sc, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(travelled);
    }
    if (!m_dotSprite.isNull()) {
        const QPointF c = map(dot);
        p.drawImage(QRectF(c.x() - m_dotSpriteSize / 2, c.y() - m_dotSpriteSize / 2, m_dotSpriteSize, m_dotSpriteSize),
                    m_dotSprite);
    }

    // Clip to the widget's outline in the unrotated bitmap.
    p.resetTransform();
    p.setCompositionMode(QPainter::CompositionMode_DestinationIn);
    p.drawImage(0, 0, m_mask);
    return image;
}

QImage TileMapRenderer::scaledTile(int x, int y, int side)
{
    const QString key = TileCache::tileKey(m_provider, m_fetchZoom, x, y, m_mapLanguage);
    if (QImage scaled = m_scaledTiles.find(key); !scaled.isNull())
        return scaled;
    const QImage tile = m_cache.tile(m_provider, m_fetchZoom, x, y, m_token, m_mapLanguage);
    if (tile.isNull() || side <= 0)
        return {};
    QImage scaled = tile.width() == side && tile.height() == side
                        ? tile
                        : tile.scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                              .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    m_scaledTiles.insert(key, scaled);
    return scaled;
}

QList<QPoint> TileMapRenderer::tilesAround(double lat, double lng, double width, double height) const
{
    if (!validLatLng(lat, lng) || m_fetchZoom < 0 || m_fetchZoom > 22)
        return {};
    const double x = TileCache::pixelX(m_zoom, lng, m_tws);
    const double y = TileCache::pixelY(m_zoom, lat, m_tws);
    const double k = 1 / m_fetchedTileWorld;
    const qint64 col0 = qint64(std::floor((x - width / 2) * k)), col1 = qint64(std::floor((x - width / 2 + width) * k));
    const qint64 row0 = qint64(std::floor((y - height / 2) * k)), row1 = qint64(std::floor((y - height / 2 + height) * k));
    const qint64 n = qint64(1) << m_fetchZoom;
    QList<QPoint> out;
    for (qint64 row = std::max<qint64>(row0, 0); row <= std::min(row1, n - 1); ++row) {
        for (qint64 col = col0; col <= col1; ++col)
            out.append(QPoint(int(((col % n) + n) % n), int(row)));
    }
    return out;
}

void TileMapRenderer::preload(const QList<TrackPoint> &points, const TileCache::CancelCheck &isCancelled)
{
    QList<trackinterpolation::LatLng> centres;
    centres.reserve(points.size());
    for (const TrackPoint &tp : points)
        centres.append({tp.lat, tp.lng});
    preloadAround(centres, isCancelled);
}

void TileMapRenderer::probe(const trackinterpolation::LatLng &position, const TileCache::CancelCheck &isCancelled,
                            std::optional<std::chrono::steady_clock::time_point> answerBy)
{
    const QList<QPoint> tiles = tilesAround(position.lat, position.lng, 1, 1);
    if (!tiles.isEmpty())
        m_cache.tile(m_provider, m_fetchZoom, tiles.first().x(), tiles.first().y(), m_token, m_mapLanguage, isCancelled,
                     answerBy);
}

void TileMapRenderer::preloadAround(const QList<trackinterpolation::LatLng> &centres,
                                    const TileCache::CancelCheck &isCancelled)
{
    if (centres.isEmpty())
        return;
    const QSizeF window = turnedWindow(m_referenceSize);
    QSet<quint64> seen;
    QList<QPoint> tiles;
    for (const trackinterpolation::LatLng &c : centres) {
        for (const QPoint &t : tilesAround(c.lat, c.lng, window.width(), window.height())) {
            const quint64 id = (quint64(quint32(t.x())) << 32) | quint32(t.y());
            if (!seen.contains(id)) {
                seen.insert(id);
                tiles.append(t);
            }
        }
    }
    qInfo("[TileMapRenderer] preload %lld tiles, provider=%s, zoom=%d", qlonglong(tiles.size()),
          m_provider == MapProvider::openStreetMap ? "openStreetMap" : "mapbox", m_fetchZoom);
    m_cache.preload(m_provider, m_fetchZoom, tiles, m_token, m_mapLanguage, isCancelled);
}

} // namespace routereel
