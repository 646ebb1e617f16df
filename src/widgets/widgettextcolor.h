#pragma once

#include "base/textenum.h"

#include <QColor>

namespace routereel {

// Colour of the text widgets and of the heart-rate graph's line.
enum class WidgetTextColor { white };

template <>
struct TextEnum<WidgetTextColor> {
    static constexpr std::array cases{std::pair{WidgetTextColor::white, "White"}};
};

inline QColor widgetColor(WidgetTextColor color)
{
    switch (color) {
    case WidgetTextColor::white:
        break;
    }
    return QColor(255, 255, 255);
}

} // namespace routereel
