#pragma once

#include <QImage>
#include <QList>
#include <QPointF>
#include <QSizeF>

namespace routereel {

// The map widget page's track layers (the whole track, the travelled part and
// the position dot) drawn by the program over a capture of the map alone, the
// way MapLibre's line and circle shaders draw them, so that one capture of the
// map can serve many frames.
class WebMapTrackOverlay {
public:
    struct View {
        double mapLng = 0, mapLat = 0, bearing = 0;
        int zoom = 0;
        QSizeF size;  // CSS pixels
        double pixelRatio = 1;
    };

    // The page's updateTrack: longitudes unwrapped, polylines split at the breaks.
    void setTrack(const QList<QPointF> &coords, const QList<int> &breaks);
    bool isEmpty() const { return m_points.isEmpty(); }

    // Draws onto `image` (ARGB32 premultiplied, the view's drawn size): the
    // whole track, the travelled part up to `idx` ending at the position, and
    // the position dot, as the page's tickFrame would.
    void draw(QImage &image, const View &view, int idx, double curLng, double curLat) const;

    // Web Mercator of a 1-px world: x from 0 to 1 eastwards, y from 0 to 1 southwards.
    static QPointF mercator(double lng, double lat);

private:
    QList<QPointF> m_lngLat;  // unwrapped
    QList<QPointF> m_points;  // mercator of m_lngLat
    QList<int> m_starts;
};

} // namespace routereel
