#include "widgetborderoverlay.h"

#include "widgets/overlaybitmap.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace routereel {
namespace {

QPainterPath outline(const QRectF &frame, std::optional<double> cornerRadius, double grow)
{
    const QRectF r = frame.adjusted(-grow, -grow, grow, grow);
    QPainterPath path;
    if (cornerRadius) {
        path.addRoundedRect(r, *cornerRadius + grow, *cornerRadius + grow);
    } else {
        const double d = std::min(r.width(), r.height());
        path.addEllipse(QRectF(r.center().x() - d / 2, r.center().y() - d / 2, d, d));
    }
    return path;
}

double layersWidth(const QList<WidgetBorderLayer> &layers)
{
    double total = 0;
    for (const WidgetBorderLayer &layer : layers)
        total += layer.width;
    return total;
}

} // namespace

WidgetBorderOverlay::WidgetBorderOverlay(QWidget *parent)
    : OverlayView(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void WidgetBorderOverlay::setLayers(const QList<WidgetBorderLayer> &layers)
{
    layers_ = layers;
    contentChanged();
}

void WidgetBorderOverlay::setCornerRadius(std::optional<double> radius)
{
    if (radius && !std::isfinite(*radius))
        radius = 0.0;
    cornerRadius_ = radius ? std::optional(std::max(0.0, *radius)) : std::nullopt;
    update();
}

void WidgetBorderOverlay::setWidgetSize(const QSizeF &size)
{
    widgetSize_ = QSizeF(boundedViewLength(size.width(), 0, 0, maxOverlayBitmapSide),
                         boundedViewLength(size.height(), 0, 0, maxOverlayBitmapSide));
    contentChanged();
}

double WidgetBorderOverlay::totalWidth() const
{
    const double total = layersWidth(layers_);
    return std::isfinite(total) ? std::max(0.0, total) : 0;
}

QSizeF WidgetBorderOverlay::contentSize() const
{
    const double t = totalWidth();
    if (t <= 0 || widgetSize_.isEmpty())
        return {};
    return widgetSize_ + QSizeF(2 * t, 2 * t);
}

void WidgetBorderOverlay::paintBorder(QPainter &painter, const QRectF &frame, const QList<WidgetBorderLayer> &layers,
                                      std::optional<double> cornerRadius)
{
    const double total = layersWidth(layers);
    if (layers.isEmpty() || !(total > 0) || !std::isfinite(total))
        return;
    painter.save();
    // Only the band between the outline and the outer edge is ever painted.
    QPainterPath band = outline(frame, cornerRadius, total);
    band.addPath(outline(frame, cornerRadius, 0));
    band.setFillRule(Qt::OddEvenFill);
    painter.setClipPath(band, Qt::IntersectClip);
    painter.setPen(Qt::NoPen);
    QList<double> offsets;
    double o = 0;
    for (const WidgetBorderLayer &layer : layers)
        offsets.append(o += layer.width);
    // Outer rings first, so that the inner ones lie on top.
    for (qsizetype i = layers.size() - 1; i >= 0; --i) {
        painter.setBrush(layers[i].color);
        painter.drawPath(outline(frame, cornerRadius, offsets[i]));
    }
    painter.restore();
}

void WidgetBorderOverlay::paintContent(QPainter &painter)
{
    const double t = totalWidth();
    paintBorder(painter, QRectF(QPointF(t, t), widgetSize_), layers_, cornerRadius_);
}

} // namespace routereel
