#pragma once

#include "gpspathfitcamera.h"
#include "gpspathprojection.h"
#include "tilecache.h"
#include "widgets/mapenums.h"

#include <QImage>

#include <optional>

namespace routereel {

// Draws the GPS path widget into export frames: a base image (map background
// and the whole path, clipped to a disc) made once, then per frame the base
// with the position dot. Used by one thread at a time.
class GPSPathRenderer {
public:
    GPSPathRenderer(MapProvider provider, double pixelSize, double referenceSize, double opacity, double padding);

    // A background captured from a web map, with the camera it was captured with; the path is
    // then part of the background and is not drawn again.
    void setTileBackground(const QImage &image, bool crossesDateline, double lng, double lat, double zoom);
    // A background assembled from raster tiles; nothing is drawn over it until renderBase().
    void setTileBackground(const QImage &image) { m_tileBackground = image; }

    // The raster map under `projection` from the tile cache, or a null image.
    static QImage loadTileBackground(const GPSPathProjection &projection, MapProvider provider, const QString &token,
                                     const QString &language, double scale, TileCache &cache = TileCache::shared(),
                                     const TileCache::CancelCheck &isCancelled = {});

    // Fetches the first tile of that map: whether the tile service answers (by
    // `answerBy`, when given) is then known, and a silent one is not waited for again.
    static void probeTileService(const GPSPathProjection &projection, MapProvider provider, const QString &token,
                                 const QString &language, TileCache &cache, const TileCache::CancelCheck &isCancelled,
                                 std::optional<std::chrono::steady_clock::time_point> answerBy);

    // Makes the base image and the dot; false when the widget has no size.
    bool renderBase(const QList<TrackPoint> &points, const QList<int> &breaks);
    // The widget for a frame (pixelSize square, Format_ARGB32_Premultiplied), or a null image before renderBase().
    QImage renderFrame(const QList<TrackPoint> &points, double lat, double lng) const;

    double opacity() const { return m_opacity; }
    double pixelSize() const { return m_pixelSize; }
    const std::optional<GPSPathProjection> &projection() const { return m_projection; }
    const QImage &baseImage() const { return m_baseImage; }

    // Tile zoom for a projection: one level finer for the 256-pixel OSM tiles, at most 18.
    static int tileZoom(MapProvider provider, double zoomFloat);

private:
    double m_pixelSize;
    double m_referenceSize;
    double m_opacity;
    double m_padding;
    MapProvider m_provider;
    QImage m_tileBackground;
    std::optional<GPSPathFitCamera::Camera> m_webCamera;
    std::optional<GPSPathProjection> m_projection;
    QImage m_baseImage;
    QImage m_dotImage;
    QImage m_discMask;
};

} // namespace routereel
