#include "widgetborderring.h"

#include "overlaybitmap.h"
#include "widgetfonts.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace routereel {
namespace {

QPainterPath outline(const QRectF &rect, double cornerRadius, bool roundedRect)
{
    QPainterPath path;
    if (roundedRect)
        path.addRoundedRect(rect, cornerRadius, cornerRadius);
    else
        path.addEllipse(rect);
    return path;
}

} // namespace

QList<WidgetBorderLayer> scaledBorderLayers(MapBorderStyle style, double scale)
{
    QList<WidgetBorderLayer> layers = borderLayers(style);
    for (WidgetBorderLayer &layer : layers)
        layer.width *= scale;
    return layers;
}

std::optional<WidgetBorderRing> borderRingImage(double width, double height, double cornerRadius, bool roundedRect,
                                                const QList<WidgetBorderLayer> &layers)
{
    const double w = width;
    const double h = roundedRect ? height : width;
    QList<double> cumulative;
    double total = 0;
    for (const WidgetBorderLayer &layer : layers) {
        total += layer.width;
        cumulative.append(total);
    }
    if (!(total > 0) || !std::isfinite(total))
        return std::nullopt;
    const std::optional<QSize> size = overlayBitmapSize(w + 2 * total, h + 2 * total);
    if (!size)
        return std::nullopt;
    QImage image = newOverlayBitmap(*size);
    if (image.isNull())
        return std::nullopt;

    const QRectF content(total, total, w, h);
    const double radius = std::isfinite(cornerRadius) ? std::max(0.0, cornerRadius) : 0;
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    // Outermost first: each inner fill covers the previous one, leaving one band
    // per layer. The content outline is cut out of every fill (even-odd), which
    // leaves the inside transparent exactly as erasing it afterwards would, with
    // less to rasterise.
    const QPainterPath inside = outline(content, radius, roundedRect);
    for (qsizetype i = layers.size() - 1; i >= 0; --i) {
        const double c = cumulative[i];
        QPainterPath band = outline(content.adjusted(-c, -c, c, c), radius + c, roundedRect);
        band.addPath(inside);
        band.setFillRule(Qt::OddEvenFill);
        painter.setBrush(layers[i].color);
        painter.drawPath(band);
    }
    painter.end();
    return WidgetBorderRing{image, size->width(), size->height(), -total, -total};
}

std::optional<WidgetBorderRing> mapBorderRing(MapShape shape, int width, int height, MapBorderStyle style,
                                              double scale, double cornerRadius)
{
    const QList<WidgetBorderLayer> layers = scaledBorderLayers(style, scale);
    if (shape == MapShape::circle)
        return borderRingImage(width, 0, 0, false, layers);
    return borderRingImage(width, height, cornerRadius, true, layers);
}

std::optional<WidgetBorderRing> gpsPathBorderRing(MapBorderStyle style, double pixelSize, double referenceSize)
{
    const double reference = std::isfinite(referenceSize) ? std::max(1.0, referenceSize) : 1.0;
    return borderRingImage(pixelSize, 0, 0, false, scaledBorderLayers(style, pixelSize / reference));
}

std::optional<NorthBadge> northBadgeImage(double diameter, double scale)
{
    const std::optional<QSize> size = overlayBitmapSize(diameter, diameter);
    if (!size)
        return std::nullopt;
    QImage image = newOverlayBitmap(*size);
    if (image.isNull())
        return std::nullopt;
    const double d = diameter;
    const double rim = std::isfinite(scale) ? std::max(1.0, scale) : 1.0;
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor::fromRgbF(0.5f, 0.5f, 0.5f, 0.4f));
    painter.drawEllipse(QRectF(0, 0, d, d));
    if (d > 2 * rim) {
        painter.setBrush(Qt::black);
        painter.drawEllipse(QRectF(rim, rim, d - 2 * rim, d - 2 * rim));
    }

    const QFont font = widgetSansFont(0.55 * d);
    const QFontMetricsF metrics(font, &image);
    const QString letter = QStringLiteral("N");
    const double w = metrics.horizontalAdvance(letter);
    // Centred: the line box (ascent + descent) sits in the middle of the circle.
    const double baseline = (d - metrics.ascent() - metrics.descent()) / 2 + metrics.ascent();
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QPointF((d - w) / 2, baseline), letter);
    painter.end();
    return NorthBadge{image, size->width()};
}

} // namespace routereel
