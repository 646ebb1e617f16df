#pragma once

#include <QImage>
#include <QSize>

#include <optional>

namespace routereel {

// Limits of any overlay bitmap allocated from a size that a user or a stored
// setting chose: a widget never needs more than a 4K video frame.
inline constexpr int maxOverlayBitmapSide = 4096;
inline constexpr qint64 maxOverlayBitmapPixels = qint64(4096) * 2304;

// The whole-pixel size (each side rounded up) of a bitmap for a drawing of
// `width` × `height` pixels; none when a side is not finite, not positive, or
// beyond the limits above.
std::optional<QSize> overlayBitmapSize(double width, double height);

// A transparent premultiplied BGRA bitmap (ARGB32_Premultiplied) at 72 dpi,
// so that font points are pixels; a null image when `size` is outside the limits.
QImage newOverlayBitmap(QSize size);

} // namespace routereel
