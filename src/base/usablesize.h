#pragma once

#include <QSizeF>

#include <cmath>

namespace routereel {

// Both sides finite and at least 1: a size that can be drawn at and scaled from.
inline bool isUsableSize(const QSizeF &size)
{
    return std::isfinite(size.width()) && std::isfinite(size.height()) && size.width() >= 1 && size.height() >= 1;
}

} // namespace routereel
