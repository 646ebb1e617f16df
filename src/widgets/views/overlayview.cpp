#include "overlayview.h"

#include "widgets/overlaybitmap.h"
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

QSize OverlayView::sizeHint() const
{
    const QSizeF s = contentSize() * scale_;
    // A widget is never larger than the largest overlay bitmap: its backing store is one.
    const auto side = [](double v) {
        return std::isfinite(v) && v > 0 ? int(std::ceil(std::min(v, double(maxOverlayBitmapSide)))) : 0;
    };
    return {side(s.width()), side(s.height())};
}

void OverlayView::paintEvent(QPaintEvent *)
{
    if (scale_ <= 0 || contentSize().isEmpty())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.scale(scale_, scale_);
    paintContent(painter);
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
