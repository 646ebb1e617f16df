#include "export/compositionmode.h"
#include "widgets/mapenums.h"

#include <gtest/gtest.h>

using namespace routereel;

TEST(TextEnum, RoundTripsAndRejectsInexactText)
{
    EXPECT_EQ(enumText(MapShape::roundedRect), QStringLiteral("Rect"));
    EXPECT_EQ(enumFromText<MapProvider>(QStringLiteral("Mapbox")), MapProvider::mapbox);
    EXPECT_EQ(enumFromText<CompositionMode>(QStringLiteral("Overlay")), CompositionMode::overlay);
    for (const char *bad : {"osm", "OSM ", "", "openStreetMap"})
        EXPECT_FALSE(enumFromText<MapProvider>(QString::fromUtf8(bad)).has_value()) << bad;
    EXPECT_EQ(enumCases<MapBorderStyle>(), (QList{MapBorderStyle::defaultStyle, MapBorderStyle::gta}));
    for (MapOrientation o : enumCases<MapOrientation>())
        EXPECT_EQ(enumFromText<MapOrientation>(enumText(o)), o);
}
