#include "tracks/strictnumber.h"

#include <QString>
#include <gtest/gtest.h>

#include <cmath>

using namespace routereel;

TEST(StrictNumber, DoubleAcceptsOnlyTheWholeText)
{
    struct Case {
        const char16_t *text;
        std::optional<double> expected;
    };
    const Case cases[] = {
        {u"45.1", 45.1},       {u"-0.5", -0.5},     {u"+3", 3.0},       {u"1e3", 1000.0},
        {u".5", 0.5},          {u"0x10", 16.0},     {u" 45.1", {}},     {u"45.1 ", {}},
        {u"45.1x", {}},        {u"", {}},           {u"\t1", {}},       {u"1,5", {}},
        {u"4\u00b55", {}},     {u"-", {}},          {u"e5", {}},
    };
    for (const Case &c : cases) {
        const auto v = parseStrictDouble(QStringView(c.text));
        EXPECT_EQ(v, c.expected) << QString::fromUtf16(c.text).toStdString();
    }
    EXPECT_TRUE(std::isnan(*parseStrictDouble(u"nan")));
    EXPECT_TRUE(std::isinf(*parseStrictDouble(u"inf")));
    EXPECT_FALSE(parseStrictDouble(QStringView(u"1\0", 2)));
    const QString longNumber = QStringLiteral("0.") + QString(200, u'0') + QStringLiteral("1");
    EXPECT_NEAR(*parseStrictDouble(longNumber), 1e-201, 1e-210);
}

TEST(StrictNumber, Integer)
{
    struct Case {
        const char16_t *text;
        std::optional<qint64> expected;
    };
    const Case cases[] = {
        {u"120", 120},
        {u"+120", 120},
        {u"-7", -7},
        {u"007", 7},
        {u"9223372036854775807", std::numeric_limits<qint64>::max()},
        {u"-9223372036854775808", std::numeric_limits<qint64>::min()},
        {u"9223372036854775808", {}},
        {u"-9223372036854775809", {}},
        {u"99999999999999999999999", {}},
        {u"120.5", {}},
        {u" 1", {}},
        {u"1 ", {}},
        {u"+", {}},
        {u"", {}},
        {u"1e3", {}},
        {u"\u0661", {}}, // Arabic-Indic digit one
    };
    for (const Case &c : cases)
        EXPECT_EQ(parseStrictInteger(QStringView(c.text)), c.expected) << QString::fromUtf16(c.text).toStdString();
}
