#pragma once

#include "base/usablesize.h"

#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <optional>

namespace routereel {

// Widgets are placed in a reference canvas (the video scaled to a short side
// of 540, or to the short side of a stored layout); exports work in video pixels.
inline constexpr double referenceShortSide = 540;

// The video size (1920 x 1080 when unusable) scaled uniformly so that its short
// side is the layout's short side, or 540 without a usable layout size.
QSizeF referenceCanvasSize(const QSizeF &videoSize, const std::optional<QSizeF> &layoutSize = std::nullopt);

// Maps `point` from a space of `previewSize` into one of `videoSize` and keeps it
// at least `margin` (never more than half the frame) away from every edge.
// Returns the point unchanged when either size is unusable.
QPointF previewToVideoPoint(const QPointF &point, const QSizeF &previewSize, const QSizeF &videoSize,
                            const QSizeF &margin);

// Keeps a widget centre at least `margin` (capped at half the container) inside
// the container. With half the size of what a widget draws as the margin, the
// preview and the export keep the whole widget inside the frame.
QPointF clampedWidgetCenter(const QPointF &center, const QSizeF &container, const QSizeF &margin);

// The content scaled to fit the container and centred; empty when either size is unusable.
QRectF aspectFitRect(const QSizeF &content, const QSizeF &container);

} // namespace routereel
