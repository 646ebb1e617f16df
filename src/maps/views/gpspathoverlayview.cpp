#include "maps/views/gpspathoverlayview.h"

#include "maps/gpspathprojectioncache.h"
#include "maps/views/gpspathwebmapview.h"
#include "maps/views/webmapviewsupport.h"

#include <QPainter>
#include <QPainterPath>
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

void GPSPathOverlayView::paintEvent(QPaintEvent *)
{
    const double size = m_state.size;
    if (m_webMap || !(size > 0) || !std::isfinite(size))
        return;  // nothing behind the transparent page
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setOpacity(m_opacity);
    p.scale(width() / size, height() / size);
    QPainterPath round;
    round.addEllipse(QRectF(0, 0, size, size));
    p.setClipPath(round);
    p.fillRect(QRectF(0, 0, size, size), Qt::black);
    if (m_state.trackPoints.size() < 2)
        return;
    const auto cached = GPSPathProjectionCache::path(m_state.revision, m_state.trackPoints, m_state.breaks,
                                                     m_state.mapProvider, m_state.padding, size);
    QColor route = QColor::fromRgbF(0, 0.83f, 1);
    route.setAlphaF(0.9f);
    QPen pen(route, 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    pen.setMiterLimit(10);
    p.strokePath(cached.path, pen);
    const QPointF dot = cached.projection.point(m_state.currentLat, m_state.currentLng);
    const QRectF circle(dot.x() - 5, dot.y() - 5, 10, 10);
    p.setBrush(QColor::fromRgbF(1, 0.23f, 0.19f));
    QPen ring(Qt::white, 1.5, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    ring.setMiterLimit(10);
    p.setPen(ring);
    p.drawEllipse(circle);
}

} // namespace routereel
