#include "overlaybitmap.h"

#include <cmath>
#include <cstring>

namespace routereel {

std::optional<QSize> overlayBitmapSize(double width, double height)
{
    if (!std::isfinite(width) || !std::isfinite(height))
        return std::nullopt;
    const double w = std::ceil(width);
    const double h = std::ceil(height);
    if (w <= 0 || h <= 0 || w > maxOverlayBitmapSide || h > maxOverlayBitmapSide
        || w * h > double(maxOverlayBitmapPixels))
        return std::nullopt;
    return QSize(int(w), int(h));
}

QImage newOverlayBitmap(QSize size)
{
    if (size.width() <= 0 || size.height() <= 0 || size.width() > maxOverlayBitmapSide
        || size.height() > maxOverlayBitmapSide
        || qint64(size.width()) * size.height() > maxOverlayBitmapPixels)
        return {};
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return {};
    // memset, not QImage::fill: Qt hands large fills to its thread pool, which
    // costs more than it saves for widget-sized bitmaps and contends across export threads.
    std::memset(image.bits(), 0, size_t(image.sizeInBytes()));
    constexpr int dotsPerMeterAt72Dpi = 2835;
    image.setDotsPerMeterX(dotsPerMeterAt72Dpi);
    image.setDotsPerMeterY(dotsPerMeterAt72Dpi);
    return image;
}

} // namespace routereel
