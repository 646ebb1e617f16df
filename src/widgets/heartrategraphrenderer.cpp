#include "heartrategraphrenderer.h"

#include "heartrategraphaxisreducer.h"
#include "overlaybitmap.h"
#include "shadowblur.h"
#include "widgetfonts.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace routereel {

namespace L = HeartRateGraphLayout;

HeartRateGraphRenderer::HeartRateGraphRenderer(const QColor &lineColor, double pixelWidth, double pixelHeight,
                                               double referenceWidth, double opacity)
    : pixelWidth_(pixelWidth)
    , pixelHeight_(pixelHeight)
    , referenceWidth_(std::isfinite(referenceWidth) ? std::max(1.0, referenceWidth) : 1.0)
    , opacity_(opacity)
    , lineColor_(lineColor)
{
    // Sizes may come from stored settings: no integer conversion of a non-finite or huge value.
    const double margin = std::ceil(2 * L::shadowBlur * scale());
    margin_ = std::isfinite(margin) && margin >= 0 && margin <= maxOverlayBitmapSide ? int(margin) : -1;
}

QPainterPath HeartRateGraphRenderer::panelPath() const
{
    const double s = scale();
    QPainterPath panel;
    panel.addRoundedRect(QRectF(0, 0, pixelWidth_, pixelHeight_), L::cornerRadius * s, L::cornerRadius * s);
    return panel;
}

void HeartRateGraphRenderer::buildCurvePath(const QList<GPXTrack> &tracks)
{
    const std::optional<HeartRateGraphAxis> axis = HeartRateGraphAxisReducer::reduce(tracks);
    if (!axis) {
        hasData_ = false;
        curvePath_ = {};
        baseImage_ = {};
        return;
    }
    axis_ = *axis;
    hasData_ = true;
    const double s = scale();
    curvePath_ = heartRateGraphCurve(tracks, axis_, pixelWidth_, pixelHeight_, L::insetX * s, L::insetY * s);
    baseImage_ = renderBaseImage();
}

QImage HeartRateGraphRenderer::renderBaseImage() const
{
    const double s = scale();
    if (margin_ < 0)
        return {};
    const std::optional<QSize> size = overlayBitmapSize(pixelWidth_ + 2 * margin_, pixelHeight_ + 2 * margin_);
    if (!size)
        return {};
    const int p = margin_;
    QImage image = newOverlayBitmap(*size);
    QImage layer = newOverlayBitmap(*size);
    if (image.isNull() || layer.isNull())
        return {};
    const QPainterPath panel = panelPath();
    const double blur = L::shadowBlur * s;

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    {
        QPainter lp(&layer);
        lp.setRenderHint(QPainter::Antialiasing);
        lp.translate(p, p);
        lp.fillPath(panel, QColor(0, 0, 0, 128));
    }
    painter.drawImage(0, 0, shadowOf(layer, blur, 0.5));
    painter.drawImage(0, 0, layer);

    painter.save();
    painter.translate(p, p);
    painter.setClipPath(panel);
    QPen pen(lineColor_, L::lineWidth * s, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.strokePath(curvePath_, pen);
    painter.restore();

    // The heart sign casts a shadow too; its glyph box starts labelTop below the top edge.
    layer = newOverlayBitmap(layer.size());
    {
        QPainter lp(&layer);
        const QFont font = widgetMonoFont(L::labelFontSize * s);
        const QFontMetricsF metrics(font, &layer);
        lp.setFont(font);
        lp.setPen(lineColor_);
        lp.drawText(QPointF(p + L::labelLeft * s, p + L::labelTop * s + metrics.ascent()), QStringLiteral("\u2665"));
    }
    painter.drawImage(0, 0, shadowOf(layer, blur, 0.5));
    painter.drawImage(0, 0, layer);
    painter.end();
    return image;
}

QImage HeartRateGraphRenderer::renderFrame(std::optional<double> time, std::optional<int> heartRate) const
{
    if (!hasData_ || baseImage_.isNull())
        return {};
    if (!time || !heartRate || *time < axis_.minTime || *time > axis_.maxTime || !(axis_.maxTime > axis_.minTime))
        return baseImage_;

    const double s = scale();
    const int bpmSpan = axis_.maxBpm - axis_.minBpm;
    const double bpmRange = bpmSpan < 2 ? 1 : bpmSpan;
    const double x = (*time - axis_.minTime) / (axis_.maxTime - axis_.minTime) * (pixelWidth_ - 2 * L::insetX * s)
        + L::insetX * s;
    const double y = pixelHeight_
        - ((*heartRate - axis_.minBpm) / bpmRange * (pixelHeight_ - 2 * L::insetY * s) + L::insetY * s);
    const double r = L::dotRadius * s;
    const QRectF dot(x - r, y - r, 2 * r, 2 * r);
    const QRectF panelRect(0, 0, pixelWidth_, pixelHeight_);
    // A heart rate far off the axis puts the dot outside the panel, where the clip would hide it.
    if (!dot.intersects(panelRect))
        return baseImage_;

    QImage frame = baseImage_.copy();
    if (frame.isNull())
        return {}; // never the previous frame: that would show a stale dot
    const int p = margin_;
    QPainter painter(&frame);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(p, p);
    const double cr = L::cornerRadius * s;
    if (!panelRect.adjusted(0, cr, 0, -cr).contains(dot) && !panelRect.adjusted(cr, 0, -cr, 0).contains(dot))
        painter.setClipPath(panelPath());
    painter.setPen(Qt::NoPen);
    painter.setBrush(lineColor_);
    painter.drawEllipse(dot);
    return frame;
}

} // namespace routereel
