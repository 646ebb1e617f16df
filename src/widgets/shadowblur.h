#pragma once

#include <QImage>

namespace routereel {

// The soft black shadow that `layer` (premultiplied ARGB) casts with no offset:
// its alpha blurred like a Gaussian of standard deviation blur / 2, scaled by
// `opacity`. Same size as the layer; nothing spreads past its edges, so
// callers leave a margin of 2 × blur around what they draw.
QImage shadowOf(const QImage &layer, double blur, double opacity);

} // namespace routereel
