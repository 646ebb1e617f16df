#include "canvasgeometry.h"

#include <algorithm>
#include <cmath>

namespace routereel {

namespace {

const QSizeF defaultCanvas(1920, 1080);

double clampAxis(double value, double extent, double margin)
{
    const double m = std::min(std::max(extent / 2, 0.0), std::max(margin, 0.0));
    return std::min(extent - m, std::max(value, m));
}

} // namespace

QSizeF referenceCanvasSize(const QSizeF &videoSize, const std::optional<QSizeF> &layoutSize)
{
    const QSizeF v = isUsableSize(videoSize) ? videoSize : defaultCanvas;
    const double target = layoutSize && isUsableSize(*layoutSize)
        ? std::min(layoutSize->width(), layoutSize->height())
        : referenceShortSide;
    const double k = target / std::min(v.width(), v.height());
    return {v.width() * k, v.height() * k};
}

QPointF previewToVideoPoint(const QPointF &point, const QSizeF &previewSize, const QSizeF &videoSize,
                            const QSizeF &margin)
{
    if (!isUsableSize(previewSize) || !isUsableSize(videoSize))
        return point;
    const double qx = point.x() / previewSize.width() * videoSize.width();
    const double qy = point.y() / previewSize.height() * videoSize.height();
    return {clampAxis(qx, videoSize.width(), margin.width()), clampAxis(qy, videoSize.height(), margin.height())};
}

QPointF clampedWidgetCenter(const QPointF &center, const QSizeF &container, const QSizeF &margin)
{
    return {clampAxis(center.x(), container.width(), margin.width()),
            clampAxis(center.y(), container.height(), margin.height())};
}

QRectF aspectFitRect(const QSizeF &content, const QSizeF &container)
{
    if (!isUsableSize(content) || !isUsableSize(container))
        return {};
    const double k = std::min(container.width() / content.width(), container.height() / content.height());
    const double w = content.width() * k;
    const double h = content.height() * k;
    return {(container.width() - w) / 2, (container.height() - h) / 2, w, h};
}

} // namespace routereel
