#include "widgets/gpspathwidgetsettings.h"
#include "widgets/heartrategraphwidgetsettings.h"
#include "widgets/heartratewidgetsettings.h"
#include "widgets/mapsettings.h"
#include "widgets/speedwidgetsettings.h"
#include "widgets/timewidgetsettings.h"

#include <QSettings>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace routereel;

namespace {

class WidgetSettings : public ::testing::Test {
protected:
    void SetUp() override { QSettings().clear(); }
    void TearDown() override { QSettings().clear(); }

    static void store(const char *key, const QVariant &value) { QSettings().setValue(QString::fromUtf8(key), value); }
    static QVariant stored(const char *key) { return QSettings().value(QString::fromUtf8(key)); }
};

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();

} // namespace

TEST_F(WidgetSettings, EmptyStoreGivesDefaultsAndConstructionWritesNothing)
{
    MapSettings map;
    GPSPathWidgetSettings path;
    HeartRateGraphWidgetSettings graph;
    HeartRateWidgetSettings hr;
    SpeedWidgetSettings speed;
    TimeWidgetSettings time;
    EXPECT_TRUE(QSettings().allKeys().isEmpty()) << qPrintable(QSettings().allKeys().join(u','));

    EXPECT_TRUE(map.enabled());
    EXPECT_EQ(map.shape(), MapShape::circle);
    EXPECT_EQ(map.width(), 200);
    EXPECT_EQ(map.height(), 200);
    EXPECT_EQ(map.cornerRadius(), 12);
    EXPECT_EQ(map.orientation(), MapOrientation::north);
    EXPECT_EQ(map.zoomLevel(), 15);
    EXPECT_EQ(map.opacity(), 0.8);
    EXPECT_EQ(map.borderStyle(), MapBorderStyle::defaultStyle);

    EXPECT_FALSE(path.enabled());
    EXPECT_EQ(path.width(), 180);
    EXPECT_EQ(path.opacity(), 0.75);
    EXPECT_FALSE(path.showMap());
    EXPECT_EQ(path.padding(), 27);
    EXPECT_EQ(path.borderStyle(), MapBorderStyle::defaultStyle);

    EXPECT_FALSE(graph.enabled());
    EXPECT_EQ(graph.width(), 220);
    EXPECT_EQ(graph.height(), 70);
    EXPECT_EQ(graph.opacity(), 0.85);
    EXPECT_EQ(graph.lineColor(), WidgetTextColor::white);

    EXPECT_FALSE(hr.enabled());
    EXPECT_EQ(hr.fontSize(), 18);
    EXPECT_EQ(hr.opacity(), 1);
    EXPECT_TRUE(hr.showIcon());
    EXPECT_FALSE(hr.showMinMax());

    EXPECT_FALSE(speed.enabled());
    EXPECT_EQ(speed.fontSize(), 18);
    EXPECT_EQ(speed.unit(), SpeedUnit::kmh);
    EXPECT_FALSE(time.enabled());
    EXPECT_EQ(time.fontSize(), 18);
    EXPECT_EQ(time.opacity(), 1);
}

TEST_F(WidgetSettings, StoredWidgetSizesAreBoundedWhenRead)
{
    const struct {
        double stored;
        double expected;
    } cases[] = {{50, 100}, {100, 100}, {150, 150}, {200, 200}, {250, 200}, {inf, 200}, {-inf, 200}, {notANumber, 200}, {-5, 100}};
    for (const auto &c : cases) {
        store("gpsPathWidth", c.stored);
        store("mapWidth", c.stored);
        store("mapHeight", c.stored);
        EXPECT_EQ(GPSPathWidgetSettings().width(), c.expected) << c.stored;
        MapSettings map;
        EXPECT_EQ(map.width(), c.expected) << c.stored;
        EXPECT_EQ(map.height(), c.expected) << c.stored;
    }
    // A text that is no number reads as 0, raised to the lower bound.
    store("gpsPathWidth", QStringLiteral("wide"));
    EXPECT_EQ(GPSPathWidgetSettings().width(), 100);
}

TEST_F(WidgetSettings, OtherSizesAreTakenAsStored)
{
    store("hrGraphWidth", 1000.0);
    store("hrGraphHeight", 0.0);
    store("gpsPathPadding", -3.5);
    store("speedWidgetFontSize", 400.0);
    store("mapCornerRadius", 90.0);
    HeartRateGraphWidgetSettings graph;
    EXPECT_EQ(graph.width(), 1000);
    EXPECT_EQ(graph.height(), 0);
    EXPECT_EQ(GPSPathWidgetSettings().padding(), -3.5);
    EXPECT_EQ(SpeedWidgetSettings().fontSize(), 400);
    EXPECT_EQ(MapSettings().cornerRadius(), 90);
}

TEST_F(WidgetSettings, ZoomLevelIsClampedWhenRead)
{
    const struct {
        QVariant stored;
        int expected;
    } cases[] = {{0, 1}, {-4, 1}, {30, 22}, {12, 12}, {1e300, 22}, {notANumber, 1}, {QStringLiteral("x"), 1}};
    for (const auto &c : cases) {
        store("mapZoomLevel", c.stored);
        EXPECT_EQ(MapSettings().zoomLevel(), c.expected) << qPrintable(c.stored.toString());
    }
}

TEST_F(WidgetSettings, EnumerationsNeedTheExactStoredText)
{
    const struct {
        const char *text;
        SpeedUnit expected;
    } units[] = {{"mph", SpeedUnit::mph}, {"m/s", SpeedUnit::ms}, {"MPH", SpeedUnit::kmh},
                 {"km/h ", SpeedUnit::kmh}, {"kmh", SpeedUnit::kmh}, {"", SpeedUnit::kmh}};
    for (const auto &c : units) {
        store("speedWidgetUnit", QString::fromUtf8(c.text));
        EXPECT_EQ(SpeedWidgetSettings().unit(), c.expected) << c.text;
    }
    store("gpsPathBorderStyle", QStringLiteral("GTA"));
    store("mapBorderStyle", QStringLiteral("GTA"));
    store("mapOrientation", QStringLiteral("north"));
    EXPECT_EQ(GPSPathWidgetSettings().borderStyle(), MapBorderStyle::gta);
    EXPECT_EQ(MapSettings().borderStyle(), MapBorderStyle::gta);
    store("gpsPathBorderStyle", QStringLiteral("gta"));
    store("mapOrientation", QStringLiteral("Follow"));
    EXPECT_EQ(GPSPathWidgetSettings().borderStyle(), MapBorderStyle::defaultStyle);
    EXPECT_EQ(MapSettings().orientation(), MapOrientation::follow);
    store("timeWidgetTextColor", QStringLiteral("white"));
    EXPECT_EQ(TimeWidgetSettings().textColor(), WidgetTextColor::white);
}

TEST_F(WidgetSettings, BooleansReadBack)
{
    EXPECT_TRUE(HeartRateWidgetSettings().showIcon());
    store("heartRateWidgetShowIcon", false);
    store("heartRateWidgetShowMinMax", true);
    store("mapEnabled", false);
    store("speedWidgetEnabled", true);
    HeartRateWidgetSettings hr;
    EXPECT_FALSE(hr.showIcon());
    EXPECT_TRUE(hr.showMinMax());
    EXPECT_FALSE(MapSettings().enabled());
    EXPECT_TRUE(SpeedWidgetSettings().enabled());
}

TEST_F(WidgetSettings, EveryAssignmentIsWrittenAsAssigned)
{
    SpeedWidgetSettings speed;
    QList<SpeedUnit> emitted;
    int anyChange = 0;
    QObject::connect(&speed, &SpeedWidgetSettings::unitChanged, [&](SpeedUnit u) { emitted.append(u); });
    QObject::connect(&speed, &SpeedWidgetSettings::changed, [&] { ++anyChange; });
    speed.setUnit(SpeedUnit::ms);
    EXPECT_EQ(stored("speedWidgetUnit").toString(), QStringLiteral("m/s"));
    EXPECT_EQ(emitted, QList{SpeedUnit::ms});
    EXPECT_EQ(anyChange, 1);

    GPSPathWidgetSettings path;
    path.setWidth(300);
    EXPECT_EQ(stored("gpsPathWidth").toDouble(), 300);
    EXPECT_EQ(path.width(), 300);
    EXPECT_EQ(GPSPathWidgetSettings().width(), 200);
    path.setBorderStyle(MapBorderStyle::gta);
    EXPECT_EQ(stored("gpsPathBorderStyle").toString(), QStringLiteral("GTA"));

    // An unchanged value is written again: remove the key behind the object's back.
    TimeWidgetSettings time;
    time.setFontSize(18);
    QSettings().remove(QStringLiteral("timeWidgetFontSize"));
    time.setFontSize(18);
    EXPECT_EQ(stored("timeWidgetFontSize").toDouble(), 18);

    MapSettings map;
    map.setShape(MapShape::roundedRect);
    map.setZoomLevel(30);
    EXPECT_EQ(stored("mapShape").toString(), QStringLiteral("Rect"));
    EXPECT_EQ(stored("mapZoomLevel").toInt(), 30);
    MapSettings reread;
    EXPECT_EQ(reread.shape(), MapShape::circle);
    EXPECT_EQ(reread.zoomLevel(), 22);

    HeartRateGraphWidgetSettings graph;
    graph.setEnabled(true);
    graph.setHeight(90);
    HeartRateWidgetSettings hr;
    hr.setShowIcon(false);
    EXPECT_EQ(stored("hrGraphEnabled").toBool(), true);
    EXPECT_EQ(HeartRateGraphWidgetSettings().height(), 90);
    EXPECT_FALSE(HeartRateWidgetSettings().showIcon());
}

TEST_F(WidgetSettings, ValuesReadAtConstructionAreNotWrittenBack)
{
    store("gpsPathWidth", 50.0);
    GPSPathWidgetSettings path;
    EXPECT_EQ(path.width(), 100);
    EXPECT_EQ(stored("gpsPathWidth").toDouble(), 50);
}

TEST_F(WidgetSettings, MapGeometry)
{
    MapSettings map;
    map.setWidth(150);
    map.setHeight(120);
    EXPECT_EQ(map.effectiveHeight(), 150);
    const QRectF frame(0, 0, 150, 120);
    EXPECT_FALSE(map.clipShape(frame).contains(QPointF(2, 2)));
    EXPECT_TRUE(map.clipShape(frame).contains(QPointF(75, 60)));
    map.setShape(MapShape::roundedRect);
    EXPECT_EQ(map.effectiveHeight(), 120);
    EXPECT_TRUE(map.clipShape(frame).contains(QPointF(20, 6)));
    EXPECT_FALSE(map.clipShape(frame).contains(QPointF(0.5, 0.5)));
}

TEST(BorderLayers, RecipesOfEachStyle)
{
    EXPECT_DOUBLE_EQ(borderTotalWidth(MapBorderStyle::defaultStyle), 0.8);
    EXPECT_DOUBLE_EQ(borderTotalWidth(MapBorderStyle::gta), 10);
    const auto gta = borderLayers(MapBorderStyle::gta);
    ASSERT_EQ(gta.size(), 3);
    EXPECT_EQ(gta[0].width, 2);
    EXPECT_EQ(gta[1].width, 6);
    EXPECT_EQ(gta[1].color.rgba(), qRgba(238, 117, 255, 230));
    EXPECT_EQ(gta[0].color, gta[2].color);
    EXPECT_EQ(borderLayers(MapBorderStyle::defaultStyle).first().color.rgba(), qRgba(136, 136, 136, 204));
}
