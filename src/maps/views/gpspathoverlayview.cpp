#include "maps/views/gpspathoverlayview.h"

#include "maps/gpspathprojectioncache.h"
#include "maps/views/gpspathwebmapview.h"
#include "maps/views/webmapviewsupport.h"
#include "widgets/views/paintedpixelratio.h"

#include <QPainter>
#include <QPainterPath>
#include <QStringList>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace routereel {

GPSPathOverlayView::GPSPathOverlayView(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
}

void GPSPathOverlayView::setState(const GPSPathOverlayState &state)
{
    m_state = state;
    if (!state.showMap) {
        if (m_webMap)
            delete m_webMap;
        m_webMapIdentity.clear();
        update();
        return;
    }
    GPSPathWebMapState web;
    web.revision = state.revision;
    web.trackPoints = state.trackPoints;
    web.breaks = state.breaks;
    web.currentLat = state.currentLat;
    web.currentLng = state.currentLng;
    web.size = state.size;
    web.padding = state.padding.value_or(state.size * 0.15);
    web.mapProvider = state.mapProvider;
    web.mapboxToken = state.mapboxToken;
    web.mapLanguage = state.mapLanguage;
    // A new provider or token needs a new page, so a new view and coordinator.
    const QString identity = enumText(state.mapProvider) + QLatin1Char(':') + state.mapboxToken;
    if (m_webMap && identity != m_webMapIdentity)
        delete m_webMap;
    if (!m_webMap) {
        m_webMap = new GPSPathWebMapView(web, this);
        layout()->addWidget(m_webMap);
        m_webMapIdentity = identity;
        styleWebMap();
        m_webMap->show();
    } else {
        m_webMap->setState(web);
    }
    update();
}

void GPSPathOverlayView::setOpacity(double opacity)
{
    m_opacity = std::isfinite(opacity) ? std::clamp(opacity, 0.0, 1.0) : 1.0;
    styleWebMap();
    update();
}

void GPSPathOverlayView::setCanvasScale(double scale)
{
    m_scale = scale;
    styleWebMap();
}

void GPSPathOverlayView::styleWebMap()
{
    if (!m_webMap)
        return;
    setPreviewMapStyle(m_webMap->webView(), m_opacity, QStringLiteral("circle(50%)"));
    setPreviewMapScale(m_webMap->webView(), m_scale);
}

namespace {

// The disc and the whole route, as the widget shows them under the dot, at
// `pixels` device pixels. Every point is stroked: a thinned route would
// blend its edges differently where a dense track overlaps itself.
QImage drawBase(const GPSPathProjection &projection, QSize pixels, double dpr, double opacity)
{
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return image;
    image.fill(Qt::transparent);
    image.setDevicePixelRatio(dpr);
    const double size = projection.size;
    const double scale = pixels.width() / dpr / size;
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setOpacity(opacity);
    p.scale(scale, pixels.height() / dpr / size);
    QPainterPath round;
    round.addEllipse(QRectF(0, 0, size, size));
    p.setClipPath(round);
    p.fillRect(QRectF(0, 0, size, size), Qt::black);
    if (projection.pts.size() < 2)
        return image;
    QColor route = QColor::fromRgbF(0, 0.83f, 1);
    route.setAlphaF(0.9f);
    QPen pen(route, 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    pen.setMiterLimit(10);
    p.strokePath(GPSPathProjectionCache::pathOf(projection), pen);
    return image;
}

} // namespace

void GPSPathOverlayView::paintEvent(QPaintEvent *)
{
    const double side = m_state.size;
    if (m_webMap || !(side > 0) || !std::isfinite(side) || width() <= 0 || height() <= 0)
        return;  // nothing behind the transparent page
    QPainter p(this);
    // The pixels of what is painted on: the screen, or a grab at another ratio.
    const double dpr = paintedPixelRatio(p);
    const QSize pixels = (QSizeF(size()) * dpr).toSize();
    QStringList breaks;
    for (int b : m_state.breaks)
        breaks << QString::number(b);
    const QString key = QStringList{m_state.revision.toString(), QString::number(m_state.trackPoints.size()),
                                    breaks.join(QLatin1Char(',')), QString::number(side, 'g', 17),
                                    enumText(m_state.mapProvider),
                                    m_state.padding ? QString::number(*m_state.padding, 'g', 17) : QString(),
                                    QString::number(pixels.width()), QString::number(pixels.height()),
                                    QString::number(dpr, 'g', 17), QString::number(m_opacity, 'g', 17)}
                            .join(QLatin1Char('|'));
    const bool heavy = m_state.trackPoints.size() > heavyTrackPoints;
    const Base *base = m_base.get(key, heavy, [points = m_state.trackPoints, breakList = m_state.breaks,
                                               padding = m_state.padding, side, pixels, dpr, opacity = m_opacity] {
        Base b;
        b.projection = GPSPathProjection::make(points, breakList, padding, side);
        b.image = drawBase(b.projection, pixels, dpr, opacity);
        b.projection.pts.clear();
        b.projection.breaks.clear();
        return b;
    });
    if (!base)
        return;  // the first picture of a long route is on its way
    p.setRenderHint(QPainter::Antialiasing);
    // An earlier picture stands in, stretched, while the new one is drawn.
    p.drawImage(QRectF(rect()), base->image);
    if (m_state.trackPoints.size() < 2 || base->projection.size != side)
        return;
    p.setOpacity(m_opacity);
    p.scale(width() / side, height() / side);
    QPainterPath round;
    round.addEllipse(QRectF(0, 0, side, side));
    p.setClipPath(round);
    const QPointF dot = base->projection.point(m_state.currentLat, m_state.currentLng);
    const QRectF circle(dot.x() - 5, dot.y() - 5, 10, 10);
    p.setBrush(QColor::fromRgbF(1, 0.23f, 0.19f));
    QPen ring(Qt::white, 1.5, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    ring.setMiterLimit(10);
    p.setPen(ring);
    p.drawEllipse(circle);
}

} // namespace routereel
