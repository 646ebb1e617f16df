#include "mapenums.h"

namespace routereel {

QList<WidgetBorderLayer> borderLayers(MapBorderStyle style)
{
    switch (style) {
    case MapBorderStyle::defaultStyle:
        return {{0.8, QColor::fromRgbF(0.533333f, 0.533333f, 0.533333f, 0.8f)}};
    case MapBorderStyle::gta: {
        const QColor dark = QColor::fromRgbF(0, 0, 0, 0.9f);
        return {{2, dark}, {6, QColor::fromRgbF(0.933333f, 0.458824f, 1.0f, 0.9f)}, {2, dark}};
    }
    }
    return {};
}

double borderTotalWidth(MapBorderStyle style)
{
    double total = 0;
    for (const WidgetBorderLayer &layer : borderLayers(style))
        total += layer.width;
    return total;
}

} // namespace routereel
