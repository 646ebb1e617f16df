#include "widgets/gpspathwidgetsettings.h"
#include "widgets/heartrategraphwidgetsettings.h"
#include "widgets/heartratewidgetsettings.h"
#include "widgets/mapsettings.h"
#include "widgets/speedwidgetsettings.h"
#include "widgets/timewidgetsettings.h"

#include <QSettings>
#include <gtest/gtest.h>

#include <functional>
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

TEST_F(WidgetSettings, ConstructionWritesNothing)
{
    MapSettings map;
    GPSPathWidgetSettings path;
    HeartRateGraphWidgetSettings graph;
    HeartRateWidgetSettings hr;
    SpeedWidgetSettings speed;
    TimeWidgetSettings time;
    EXPECT_TRUE(QSettings().allKeys().isEmpty()) << qPrintable(QSettings().allKeys().join(u','));
}

TEST_F(WidgetSettings, StoredWidgetSizesAreBoundedWhenRead)
{
    const struct {
        QVariant stored;
        double expected;
    } cases[] = {{50, 100},  {100, 100},  {150, 150},         {200, 200}, {250, 200},
                 {inf, 200}, {-inf, 200}, {notANumber, 200}, {-5, 100},  {QStringLiteral("wide"), 100}};
    for (const auto &c : cases) {
        store("gpsPathWidth", c.stored);
        store("mapWidth", c.stored);
        store("mapHeight", c.stored);
        EXPECT_EQ(GPSPathWidgetSettings().width(), c.expected) << qPrintable(c.stored.toString());
        MapSettings map;
        EXPECT_EQ(map.width(), c.expected) << qPrintable(c.stored.toString());
        EXPECT_EQ(map.height(), c.expected) << qPrintable(c.stored.toString());
    }
    // The bounded value is not written back.
    store("gpsPathWidth", 50.0);
    GPSPathWidgetSettings path;
    EXPECT_EQ(stored("gpsPathWidth").toDouble(), 50);
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

TEST_F(WidgetSettings, OtherValuesAreTakenAsStored)
{
    const struct {
        const char *key;
        QVariant stored;
        std::function<QVariant()> read;
    } cases[] = {
        {"hrGraphWidth", 1000.0, [] { return QVariant(HeartRateGraphWidgetSettings().width()); }},
        {"hrGraphHeight", 0.0, [] { return QVariant(HeartRateGraphWidgetSettings().height()); }},
        {"gpsPathPadding", -3.5, [] { return QVariant(GPSPathWidgetSettings().padding()); }},
        {"speedWidgetFontSize", 400.0, [] { return QVariant(SpeedWidgetSettings().fontSize()); }},
        {"mapCornerRadius", 90.0, [] { return QVariant(MapSettings().cornerRadius()); }},
        {"heartRateWidgetShowIcon", false, [] { return QVariant(HeartRateWidgetSettings().showIcon()); }},
        {"heartRateWidgetShowMinMax", true, [] { return QVariant(HeartRateWidgetSettings().showMinMax()); }},
        {"mapEnabled", false, [] { return QVariant(MapSettings().enabled()); }},
        {"speedWidgetEnabled", true, [] { return QVariant(SpeedWidgetSettings().enabled()); }},
    };
    for (const auto &c : cases) {
        store(c.key, c.stored);
        EXPECT_EQ(c.read(), c.stored) << c.key;
    }
}

TEST_F(WidgetSettings, EachTextWidgetKeepsItsOwnKeys)
{
    const struct {
        const char *prefix;
        std::function<std::unique_ptr<TextWidgetSettings>()> make;
    } widgets[] = {
        {"timeWidget", [] { return std::make_unique<TimeWidgetSettings>(); }},
        {"speedWidget", [] { return std::make_unique<SpeedWidgetSettings>(); }},
        {"heartRateWidget", [] { return std::make_unique<HeartRateWidgetSettings>(); }},
    };
    for (const auto &w : widgets) {
        const QString prefix = QString::fromUtf8(w.prefix);
        QSettings().clear();
        QSettings().setValue(prefix + "Opacity", 0.25);
        QSettings().setValue(prefix + "Enabled", true);
        const auto settings = w.make();
        EXPECT_EQ(settings->opacity(), 0.25) << w.prefix;
        EXPECT_TRUE(settings->enabled()) << w.prefix;
        settings->setFontSize(31);
        settings->setTextColor(WidgetTextColor::white);
        EXPECT_EQ(QSettings().value(prefix + "FontSize").toDouble(), 31) << w.prefix;
        EXPECT_EQ(QSettings().value(prefix + "TextColor").toString(), QStringLiteral("White")) << w.prefix;
        EXPECT_EQ(QSettings().allKeys().size(), 4) << w.prefix;  // nothing under another widget's keys
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
    store("mapOrientation", QStringLiteral("Follow"));
    EXPECT_EQ(GPSPathWidgetSettings().borderStyle(), MapBorderStyle::gta);
    EXPECT_EQ(MapSettings().borderStyle(), MapBorderStyle::gta);
    EXPECT_EQ(MapSettings().orientation(), MapOrientation::follow);
    store("gpsPathBorderStyle", QStringLiteral("gta"));
    EXPECT_EQ(GPSPathWidgetSettings().borderStyle(), MapBorderStyle::defaultStyle);
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
