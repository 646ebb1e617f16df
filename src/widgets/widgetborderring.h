#pragma once

#include "mapenums.h"

#include <QImage>

#include <optional>

namespace routereel {

// A widget's border drawn once per export: bands around the widget's outline,
// transparent inside it. Stamped with its top-left corner at the widget's
// top-left corner moved by (offsetX, offsetY).
struct WidgetBorderRing {
    QImage image;
    int width = 0;
    int height = 0;
    double offsetX = 0;
    double offsetY = 0;
};

// The style's layers with their widths multiplied by `scale` (pixels per reference unit).
QList<WidgetBorderLayer> scaledBorderLayers(MapBorderStyle style, double scale);

// Bands laid outside a circle of diameter `width` (height and corner radius
// unused), or outside a `width` × `height` rounded rectangle. None when the
// layers have no width or the size allows no bitmap.
std::optional<WidgetBorderRing> borderRingImage(double width, double height, double cornerRadius, bool roundedRect,
                                                const QList<WidgetBorderLayer> &layers);

// The map widget's ring; `cornerRadius` is in pixels and used by the rounded rectangle only.
std::optional<WidgetBorderRing> mapBorderRing(MapShape shape, int width, int height, MapBorderStyle style,
                                              double scale, double cornerRadius);

// The GPS path widget's ring around its circle of `pixelSize`; its scale is
// pixelSize / max(1, referenceSize).
std::optional<WidgetBorderRing> gpsPathBorderRing(MapBorderStyle style, double pixelSize, double referenceSize);

// The round "N" badge set on the border where north lies.
struct NorthBadge {
    QImage image;
    int side = 0;
};

// A badge of diameter `diameter` pixels with a grey rim `scale` pixels wide
// (scale at least 1); none for a diameter that allows no bitmap.
std::optional<NorthBadge> northBadgeImage(double diameter, double scale);

} // namespace routereel
