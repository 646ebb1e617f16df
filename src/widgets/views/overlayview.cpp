#include "overlayview.h"

#include "paintedpixelratio.h"

#include "widgets/overlaybitmap.h"
#include "widgets/shadowblur.h"
#include "widgets/widgetfonts.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace routereel {

double boundedViewLength(double value, double fallback, double lower, double upper)
{
    if (!std::isfinite(value))
        return fallback;
    return std::clamp(value, lower, upper);
}

OverlayView::OverlayView(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
}

void OverlayView::setCanvasScale(double scale)
{
    scale_ = std::isfinite(scale) && scale > 0 ? std::min(scale, 16.0) : 0;
    contentChanged();
}

void OverlayView::setOpacity(double opacity)
{
    opacity_ = std::isfinite(opacity) ? std::clamp(opacity, 0.0, 1.0) : 1.0;
    update();
}

void OverlayView::setShadow(bool shadow)
{
    if (shadow_ == shadow)
        return;
    shadow_ = shadow;
    contentChanged();
}

QSize OverlayView::sizeHint() const
{
    const QSizeF content = contentSize();
    const double m = content.isEmpty() ? 0 : shadowMargin();
    const QSizeF s = (content + 2 * QSizeF(m, m)) * scale_;
    // A widget is never larger than the largest overlay bitmap: its backing store is one.
    const auto side = [](double v) {
        return std::isfinite(v) && v > 0 ? int(std::ceil(std::min(v, double(maxOverlayBitmapSide)))) : 0;
    };
    return {side(s.width()), side(s.height())};
}

void OverlayView::paintEvent(QPaintEvent *)
{
    const QSizeF content = contentSize();
    if (scale_ <= 0 || content.isEmpty() || opacity_ <= 0)
        return;
    // The content sits in the middle, whatever rounding gave the view's size.
    const QPointF origin((width() - content.width() * scale_) / 2, (height() - content.height() * scale_) / 2);
    const auto paintScaled = [&](QPainter &painter, QPointF at) {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.translate(at);
        painter.scale(scale_, scale_);
        paintContent(painter);
    };
    QPainter painter(this);
    painter.setOpacity(opacity_);
    if (!shadow_) {
        paintScaled(painter, origin);
        return;
    }
    // The layer has the pixels of the device it lands on (a screen at 150 % or 200 %,
    // or a grab), so it is never drawn at 1x and stretched.
    const double dpr = paintedPixelRatio(painter);
    QImage layer((QSizeF(size()) * dpr).toSize(), QImage::Format_ARGB32_Premultiplied);
    if (layer.isNull())
        return;
    layer.fill(Qt::transparent);
    // Fonts are sized for this widget's resolution: the layer gets the same.
    layer.setDotsPerMeterX(qRound(logicalDpiX() / 0.0254));
    layer.setDotsPerMeterY(qRound(logicalDpiY() / 0.0254));
    layer.setDevicePixelRatio(dpr);
    {
        QPainter lp(&layer);
        paintScaled(lp, origin);
    }
    QImage shadow = shadowOf(layer, shadowRadius * scale_ * dpr, 0.4);
    shadow.setDevicePixelRatio(dpr);
    const QRectF area(QPointF(0, 0), QSizeF(layer.size()) / dpr);
    painter.drawImage(area, shadow);
    painter.drawImage(area, layer);
}

void OverlayView::contentChanged()
{
    updateGeometry();
    update();
    emit contentSizeChanged();
}

QFont OverlayView::monoFont(double size) const
{
    // Reference units are pixels of an unscaled preview; fonts are set in points.
    return widgetMonoFont(size * 72.0 / std::max(1, logicalDpiY()));
}

QFont OverlayView::sansFont(double size) const
{
    return widgetSansFont(size * 72.0 / std::max(1, logicalDpiY()));
}

} // namespace routereel
