#include "paintedpixelratio.h"

#include <QPaintDevice>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace routereel {

double paintedPixelRatio(const QPainter &painter)
{
    const QTransform t = painter.deviceTransform();
    if (!t.isRotating() && t.type() != QTransform::TxProject) {
        const double ratio = std::max(std::fabs(t.m11()), std::fabs(t.m22()));
        if (std::isfinite(ratio) && ratio > 0)
            return std::min(ratio, 16.0);
    }
    return painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
}

} // namespace routereel
