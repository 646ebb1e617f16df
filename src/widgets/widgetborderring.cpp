#include "widgetborderring.h"

#include "overlaybitmap.h"
#include "widgetfonts.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace routereel {
namespace {

// Signed distance (negative inside) from `p` to the outline of `content` grown
// by `grow` on every side: a circle of diameter content.width(), or a rounded
// rectangle whose corner radius grows with it.
double outlineDistance(const QPointF &p, const QRectF &content, double radius, bool roundedRect, double grow)
{
    const QPointF d = p - content.center();
    if (!roundedRect)
        return std::sqrt(d.x() * d.x() + d.y() * d.y()) - (content.width() / 2 + grow);
    const double hx = content.width() / 2 + grow;
    const double hy = content.height() / 2 + grow;
    const double r = std::clamp(radius + grow, 0.0, std::min(hx, hy));
    const double qx = std::abs(d.x()) - (hx - r);
    const double qy = std::abs(d.y()) - (hy - r);
    const double ox = std::max(qx, 0.0);
    const double oy = std::max(qy, 0.0);
    return std::sqrt(ox * ox + oy * oy) + std::min(std::max(qx, qy), 0.0) - r;
}

// Share of a pixel covered by the shape whose edge is `distance` away from its centre.
double coverage(double distance)
{
    return std::clamp(0.5 - distance, 0.0, 1.0);
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
    struct Fill {
        double grow;
        double r, g, b, a; // premultiplied
    };
    QList<Fill> fills;
    for (qsizetype i = layers.size() - 1; i >= 0; --i) {
        const QColor c = layers[i].color.toRgb();
        const double a = c.alphaF();
        fills.append({cumulative[i], c.redF() * a, c.greenF() * a, c.blueF() * a, a});
    }
    // Each layer fills the outline grown by its cumulative width, outermost
    // first, every inner fill painted over the outer ones; then the inside of
    // the outline is erased. Done per pixel from exact distances: the same
    // antialiased result as path fills at a fraction of their cost.
    for (int y = 0; y < size->height(); ++y) {
        QRgb *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size->width(); ++x) {
            const QPointF p(x + 0.5, y + 0.5);
            const double inside = outlineDistance(p, content, radius, roundedRect, 0);
            if (inside <= -0.5 || inside - total >= 0.5)
                continue; // fully inside the widget or beyond the outermost band
            double r = 0, g = 0, b = 0, a = 0;
            for (const Fill &f : fills) {
                // A grown circle is the circle's offset; a rounded rectangle's radius may be capped.
                const double edge = roundedRect ? outlineDistance(p, content, radius, true, f.grow) : inside - f.grow;
                const double cov = coverage(edge);
                if (cov <= 0)
                    continue;
                const double keep = 1 - f.a * cov;
                r = f.r * cov + r * keep;
                g = f.g * cov + g * keep;
                b = f.b * cov + b * keep;
                a = f.a * cov + a * keep;
            }
            const double erase = 1 - coverage(inside);
            const auto byte = [](double v) { return int(std::lround(std::clamp(v, 0.0, 1.0) * 255)); };
            line[x] = qRgba(byte(r * erase), byte(g * erase), byte(b * erase), byte(a * erase));
        }
    }
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
