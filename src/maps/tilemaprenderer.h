#pragma once

#include "tilecache.h"
#include "timeline/trackinterpolation.h"
#include "tracks/trackpoint.h"
#include "widgets/mapenums.h"

#include <QImage>
#include <QList>
#include <QMutex>
#include <QPoint>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QUuid>

#include <memory>
#include <optional>

class QPainterPath;

namespace routereel {

// Draws the map widget of an exported video from raster tiles: the map around
// a centre, turned by a bearing, the whole track faintly, the travelled part
// strongly and the position dot, clipped to a circle or rounded rectangle.
// renderFrame() may run on several threads at once.
class TileMapRenderer {
public:
    // `referenceSize`: the widget's size on the reference canvas (world pixels of the map
    // window); defaults to `size`, the output bitmap size in pixels.
    TileMapRenderer(std::optional<QSizeF> referenceSize, MapShape shape, MapProvider provider, const QString &token,
                    int mapZoomLevel, const QString &mapLanguage, QSizeF size, double cornerRadius,
                    TileCache &cache = TileCache::shared());

    // The widget for one frame in Format_ARGB32_Premultiplied, or a null image for invalid input.
    // A positive bearing (degrees) turns the map counter-clockwise; |bearing| <= 0.1 is north up.
    QImage renderFrame(const QList<TrackPoint> &points, int index, double centreLat, double centreLng,
                       double positionLat, double positionLng, double bearing);

    // Fetches every tile that frames along the track can need.
    void preload(const QList<TrackPoint> &points, const TileCache::CancelCheck &isCancelled = {});
    // Fetches every tile that frames centred on the given positions can show.
    void preloadAround(const QList<trackinterpolation::LatLng> &centres, const TileCache::CancelCheck &isCancelled = {});

    // Fetches the one tile under a position: whether the tile service answers (by `answerBy`,
    // when given) is then known (a service that cannot be reached is not waited for again by
    // later lookups).
    void probe(const trackinterpolation::LatLng &position, const TileCache::CancelCheck &isCancelled = {},
               std::optional<std::chrono::steady_clock::time_point> answerBy = std::nullopt);

    // The fetch-zoom tiles under a window of `width` x `height` world pixels centred on a position.
    QList<QPoint> tilesAround(double lat, double lng, double width, double height) const;

    static QImage makeDotSprite(double size, double radius, double blur, double lineWidth);

    int zoom() const { return m_zoom; }
    int fetchZoom() const { return m_fetchZoom; }
    // World pixels covered by one fetched tile (larger than the provider's tile when the
    // service's zoom is exceeded and tiles are scaled up).
    double fetchedTileWorldSize() const { return m_fetchedTileWorld; }
    // Bytes of the tiles kept scaled to their drawn size.
    qint64 scaledTileBytes() const { return m_scaledTiles.totalCost(); }

private:
    struct Geometry;
    std::shared_ptr<const Geometry> geometryFor(const QList<TrackPoint> &points);
    QImage scaledTile(int x, int y, int side);

    QSizeF m_size;
    QSizeF m_referenceSize;
    MapShape m_shape;
    double m_cornerRadius;
    MapProvider m_provider;
    QString m_token;
    QString m_mapLanguage;
    int m_zoom;
    double m_tws;
    double m_sc;
    int m_fetchZoom;
    double m_fetchedTileWorld;
    TileCache &m_cache;
    QImage m_dotSprite;
    double m_dotSpriteSize = 0;
    QImage m_mask;
    // Tiles already scaled to their drawn size, so a frame only blits (or turns) them;
    // enlarged tiles are not kept (drawn straight from the fetched tile instead).
    TileMemoryCache m_scaledTiles{qint64(64) << 20, 512};

    struct PathCacheKey {
        QUuid firstId;
        QUuid lastId;
        qsizetype count = 0;
        bool operator==(const PathCacheKey &) const = default;
    };
    QMutex m_buildLock;  // serialises geometry builds; m_pathLock is taken only briefly inside it
    QMutex m_pathLock;
    std::optional<PathCacheKey> m_cachedKey;
    std::shared_ptr<const Geometry> m_cachedGeometry;
};

} // namespace routereel
