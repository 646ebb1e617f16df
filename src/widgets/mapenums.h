#pragma once

#include "base/textenum.h"

#include <QColor>
#include <QList>

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

// One ring of a widget border; a border lists its rings from the widget outline outwards.
struct WidgetBorderLayer {
    double width = 0; // in the units of the widget's size
    QColor color;
};

// The rings of a border style (a new list on each call); safe on any thread.
QList<WidgetBorderLayer> borderLayers(MapBorderStyle style);

// Thickness of the whole border around the widget's content.
double borderTotalWidth(MapBorderStyle style);

} // namespace routereel
