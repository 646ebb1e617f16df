#include "timeline/compositionmode.h"
#include "widgets/mapenums.h"
#include "widgets/speedunit.h"
#include "widgets/widgettextcolor.h"

#include <QLocale>
#include <QSet>
#include <gtest/gtest.h>

#include <clocale>

using namespace routereel;

TEST(SpeedUnit, FormatsWithOneDecimalAndTheUnit)
{
    const struct {
        double mps;
        SpeedUnit unit;
        const char *text;
    } cases[] = {
        {10, SpeedUnit::kmh, "36.0 km/h"}, {10, SpeedUnit::mph, "22.4 mph"}, {10, SpeedUnit::ms, "10.0 m/s"},
        {0, SpeedUnit::mph, "0.0 mph"},    {-1, SpeedUnit::kmh, "-3.6 km/h"}, {5.55, SpeedUnit::ms, "5.5 m/s"},
        {100, SpeedUnit::kmh, "360.0 km/h"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(formatSpeed(c.unit, c.mps), QString::fromUtf8(c.text)) << c.text;
}

TEST(SpeedUnit, IgnoresACommaDecimalLocale)
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const char *c = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    EXPECT_EQ(formatSpeed(SpeedUnit::kmh, 10), QStringLiteral("36.0 km/h"));
    EXPECT_EQ(formatSpeed(SpeedUnit::mph, 1), QStringLiteral("2.2 mph"));
    if (c)
        std::setlocale(LC_NUMERIC, "C");
    QLocale::setDefault(previous);
}

namespace {

// Every case has its own text and reads back from it.
template <typename E>
void expectDistinctTextsThatReadBack()
{
    QSet<QString> texts;
    for (E value : enumCases<E>()) {
        EXPECT_EQ(enumFromText<E>(enumText(value)), value) << qPrintable(enumText(value));
        texts.insert(enumText(value));
    }
    EXPECT_EQ(texts.size(), enumCases<E>().size());
    EXPECT_FALSE(texts.contains(QString()));
}

} // namespace

TEST(EnumerationTexts, EveryCaseReadsBackFromItsText)
{
    expectDistinctTextsThatReadBack<SpeedUnit>();
    expectDistinctTextsThatReadBack<WidgetTextColor>();
    expectDistinctTextsThatReadBack<MapShape>();
    expectDistinctTextsThatReadBack<MapOrientation>();
    expectDistinctTextsThatReadBack<MapBorderStyle>();
    expectDistinctTextsThatReadBack<MapProvider>();
    expectDistinctTextsThatReadBack<CompositionMode>();
}
