#include "textwidgetrenderer.h"

#include "overlaybitmap.h"
#include "shadowblur.h"
#include "widgetfonts.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace routereel {
namespace {

struct Line {
    QString text;
    QFont font;
    double width = 0;
    double ascent = 0;
    double descent = 0;
    double height() const { return ascent + descent; }
};

// Metrics at the bitmaps' 72 dpi, where a point is a pixel.
const QPaintDevice *metricsDevice()
{
    thread_local const QImage device = newOverlayBitmap(QSize(1, 1));
    return &device;
}

Line measure(const QString &text, double pixelSize)
{
    Line line{text, widgetMonoFont(pixelSize)};
    const QFontMetricsF metrics(line.font, metricsDevice());
    line.width = metrics.horizontalAdvance(text);
    line.ascent = metrics.ascent();
    line.descent = metrics.descent();
    return line;
}

} // namespace

QImage TextWidgetRenderer::render(const QString &text, const QColor &color, const std::optional<QString> &subText,
                                  double fontSize, double scale)
{
    const double f = fontSize * scale;
    // A glyph taller than any bitmap cannot fit; also keeps NaN and huge
    // sizes from stored settings away from the font engine.
    if (!std::isfinite(f) || !std::isfinite(scale) || f <= 0 || scale <= 0 || f > maxOverlayBitmapSide)
        return {};
    const double pad = padding * scale;
    const double blur = shadowBlur * scale;
    const double margin = std::ceil(2 * blur);
    const double radius = cornerRadius * scale;

    const Line main = measure(text, f);
    const bool twoLines = subText && !subText->isEmpty();
    const Line sub = twoLines ? measure(*subText, subTextFactor * f) : Line{};
    const double gap = twoLines ? std::ceil(lineGapFactor * f) : 0;
    const double contentWidth = std::max(main.width, sub.width);
    const double boxWidth = contentWidth + 2 * pad;
    const double boxHeight = main.height() + (twoLines ? gap + sub.height() : 0) + 2 * pad;
    const std::optional<QSize> size = overlayBitmapSize(boxWidth + 2 * margin, boxHeight + 2 * margin);
    if (!size)
        return {};
    QImage layer = newOverlayBitmap(*size);
    if (layer.isNull())
        return {};
    const double h = size->height();

    // Box and text are drawn as one layer that casts one shadow: the box is
    // black, so the text's shadow shows through it as if cast onto it.
    {
        QPainter lp(&layer);
        lp.setRenderHint(QPainter::Antialiasing);
        lp.setPen(Qt::NoPen);
        lp.setBrush(QColor(0, 0, 0, 128));
        lp.drawRoundedRect(QRectF(margin, h - margin - boxHeight, boxWidth, boxHeight), radius, radius);
        lp.setPen(color);
        const auto draw = [&](const Line &line, double baselineFromBottom) {
            const double x = margin + pad + (contentWidth - line.width) / 2;
            lp.setFont(line.font);
            lp.drawText(QPointF(x, h - baselineFromBottom), line.text);
        };
        if (twoLines) {
            draw(sub, margin + pad + sub.descent);
            draw(main, margin + pad + sub.height() + gap + main.descent);
        } else {
            draw(main, margin + pad + main.descent);
        }
    }
    QImage image = shadowOf(layer, blur, 0.5);
    if (image.isNull())
        return {};
    QPainter painter(&image);
    painter.drawImage(0, 0, layer);
    painter.end();
    image.setOffset(QPoint(int(margin), int(margin)));
    return image;
}

QSizeF TextWidgetRenderer::boxSize(const QImage &image)
{
    const QPoint margin = image.offset();
    return QSizeF(std::max(0, image.width() - 2 * margin.x()), std::max(0, image.height() - 2 * margin.y()));
}

} // namespace routereel
