#pragma once

#include "base/textenum.h"

namespace routereel {

enum class MapShape { circle, roundedRect };
enum class MapOrientation { north, follow };
enum class MapBorderStyle { defaultStyle, gta };
enum class MapProvider { openStreetMap, mapbox };

template <>
struct TextEnum<MapShape> {
    static constexpr std::array cases{std::pair{MapShape::circle, "Circle"},
                                      std::pair{MapShape::roundedRect, "Rect"}};
};
template <>
struct TextEnum<MapOrientation> {
    static constexpr std::array cases{std::pair{MapOrientation::north, "North"},
                                      std::pair{MapOrientation::follow, "Follow"}};
};
template <>
struct TextEnum<MapBorderStyle> {
    static constexpr std::array cases{std::pair{MapBorderStyle::defaultStyle, "Default"},
                                      std::pair{MapBorderStyle::gta, "GTA"}};
};
template <>
struct TextEnum<MapProvider> {
    static constexpr std::array cases{std::pair{MapProvider::openStreetMap, "OSM"},
                                      std::pair{MapProvider::mapbox, "Mapbox"}};
};

// Bounds of the widget sizes read back from storage (GPS path width, map width and height).
struct WidgetSizeRange {
    double lower = 100;
    double upper = 200;
};
inline constexpr WidgetSizeRange widgetSizeRange{};

} // namespace routereel
