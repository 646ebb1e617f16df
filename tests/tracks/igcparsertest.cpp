#include "tracks/igcparser.h"
#include "tracks/iso8601.h"

#include <gtest/gtest.h>

using namespace routereel;

namespace {

const QString fix = QStringLiteral("B1015304730123N00812345EA0012300145");

Instant utc(const char *text)
{
    return *Iso8601::parseAny(QString::fromLatin1(text));
}

QString withTime(const QString &record, const char *hhmmss)
{
    QString r = record;
    r.replace(1, 6, QString::fromLatin1(hhmmss));
    return r;
}

} // namespace

TEST(IGCParser, FixFields)
{
    struct Case {
        QString record;
        std::optional<std::pair<double, double>> position;
        std::optional<double> ele = 145.0;
    };
    const double lat = 47 + 30.123 / 60, lng = 8 + 12.345 / 60;
    auto edit = [](int pos, const char *text) {
        QString r = fix;
        r.replace(pos, int(qstrlen(text)), QString::fromLatin1(text));
        return r;
    };
    const Case cases[] = {
        {fix, std::pair{lat, lng}},
        {edit(14, "S").replace(23, 1, u'W'), std::pair{-lat, -lng}},
        {edit(24, "V"), {}},
        {edit(14, "X"), {}},
        {edit(23, "X"), {}},
        {edit(9, "60000"), {}},
        {edit(9, "59999"), std::pair{47 + 59.999 / 60, lng}},
        {edit(7, "9"), {}}, // 97 degrees
        {edit(7, "90").replace(9, 5, QStringLiteral("00000")), std::pair{90.0, lng}},
        {edit(15, "180"), {}},
        {edit(7, "4x"), {}},
        {edit(18, " 1234"), {}},
        {edit(1, "24"), {}},
        {edit(3, "60"), {}},
        {edit(5, "60"), {}},
        {edit(30, "00000"), std::pair{lat, lng}, 0.0},
        {edit(30, "-0012"), std::pair{lat, lng}, -12.0},
        {edit(30, "0012x"), std::pair{lat, lng}, std::nullopt},
        {edit(30, "1e999"), std::pair{lat, lng}, std::nullopt},
        {fix + QStringLiteral("extra data"), std::pair{lat, lng}},
        {fix.left(34), {}},
    };
    for (const Case &c : cases) {
        const auto p = IGCParser::parseFix(c.record, 0);
        ASSERT_EQ(p.has_value(), c.position.has_value()) << c.record.toStdString();
        if (!p)
            continue;
        EXPECT_NEAR(p->lat, c.position->first, 1e-12) << c.record.toStdString();
        EXPECT_NEAR(p->lng, c.position->second, 1e-12) << c.record.toStdString();
        EXPECT_EQ(p->ele, c.ele) << c.record.toStdString();
        // The same line inside a file gives the same point.
        const auto inFile = IGCParser::parse(QStringLiteral("HFDTE010170\n") + c.record);
        ASSERT_EQ(inFile.size(), 1);
        EXPECT_EQ(inFile[0], *p);
    }
}

TEST(IGCParser, DateHeaders)
{
    struct Case {
        const char *header;
        std::optional<Instant> date;
    };
    const Case cases[] = {
        {"HFDTE150623", utc("2023-06-15T00:00:00Z")},
        {"HFDTEDATE:150623,01", utc("2023-06-15T00:00:00Z")},
        {"HFDTE150685", utc("1985-06-15T00:00:00Z")},
        {"HFDTE010169", utc("2069-01-01T00:00:00Z")},
        {"HFDTE010170", utc("1970-01-01T00:00:00Z")},
        {"HFDTE290224", utc("2024-02-29T00:00:00Z")},
        {"HFDTE290223", {}},
        {"HFDTE320523", {}},
        {"HFDTE151323", {}},
        {"HFDTE000123", {}},
        {"HFDTE15062", {}},
        {"HFDTE15 623", {}},
        {"HFDTEDATE:1506", {}},
    };
    for (const Case &c : cases) {
        const auto pts = IGCParser::parse(QString::fromLatin1(c.header) + u'\n' + fix);
        if (!c.date) {
            EXPECT_TRUE(pts.isEmpty()) << c.header;
            continue;
        }
        ASSERT_EQ(pts.size(), 1) << c.header;
        EXPECT_EQ(pts[0].time, *c.date + 10 * 3600 + 15 * 60 + 30) << c.header;
    }
    // A fix before any date is skipped; a bad header keeps the date already set.
    const auto kept =
        IGCParser::parse(withTime(fix, "101000") + QStringLiteral("\nHFDTE150623\nHFDTE991399\n") + fix);
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(kept[0].time, utc("2023-06-15T10:15:30Z"));
}

TEST(IGCParser, MidnightRolloverOnlyForLargeStepsBack)
{
    struct Case {
        std::vector<const char *> clocks;
        std::vector<const char *> expected;
    };
    const Case cases[] = {
        {{"235959", "000001", "000002"}, {"2023-06-15T23:59:59Z", "2023-06-16T00:00:01Z", "2023-06-16T00:00:02Z"}},
        // A clock that steps back a little is a fault of the log, not a new day.
        {{"101530", "101529", "101531"}, {"2023-06-15T10:15:30Z", "2023-06-15T10:15:29Z", "2023-06-15T10:15:31Z"}},
        {{"120000", "000000"}, {"2023-06-15T12:00:00Z", "2023-06-15T00:00:00Z"}},
        {{"120001", "000000"}, {"2023-06-15T12:00:01Z", "2023-06-16T00:00:00Z"}},
        // Twice past midnight in one log: two days on.
        {{"230000", "010000", "230000", "010000"},
         {"2023-06-15T23:00:00Z", "2023-06-16T01:00:00Z", "2023-06-16T23:00:00Z", "2023-06-17T01:00:00Z"}},
    };
    for (const Case &c : cases) {
        QString text = QStringLiteral("HFDTE150623\n");
        for (const char *clock : c.clocks)
            text += withTime(fix, clock) + u'\n';
        const auto pts = IGCParser::parse(text);
        ASSERT_EQ(pts.size(), qsizetype(c.expected.size())) << c.clocks.front();
        for (size_t i = 0; i < c.expected.size(); ++i)
            EXPECT_EQ(Iso8601::formatWithMilliseconds(pts[i].time),
                      Iso8601::formatWithMilliseconds(utc(c.expected[i]))) << c.clocks.front() << " #" << i;
    }

    // The clock of an invalid fix still counts; a new date header forgets it.
    const auto afterInvalid = IGCParser::parse(QStringLiteral("HFDTE150623\n") + withTime(fix, "235959").replace(24, 1, u'V')
                                               + u'\n' + withTime(fix, "000001"));
    ASSERT_EQ(afterInvalid.size(), 1);
    EXPECT_EQ(afterInvalid[0].time, utc("2023-06-16T00:00:01Z"));
    const auto newDate = IGCParser::parse(QStringLiteral("HFDTE150623\n") + withTime(fix, "235959")
                                          + QStringLiteral("\nHFDTE160623\n") + withTime(fix, "000001"));
    ASSERT_EQ(newDate.size(), 2);
    EXPECT_EQ(newDate[1].time, utc("2023-06-16T00:00:01Z"));
}

TEST(IGCParser, LineEnds)
{
    // Records other than B and HFDTE are passed over.
    const QString lines[] = {QStringLiteral("AXXX001"), QStringLiteral("HFDTE150623"), withTime(fix, "101530"),
                             QString(), QStringLiteral("LXXXcomment"), withTime(fix, "101531")};
    QList<TrackPoint> expected;
    for (const QString &sep : {QStringLiteral("\r\n"), QStringLiteral("\n"), QStringLiteral("\r"), QStringLiteral("\n\r")}) {
        const QList<TrackPoint> pts = IGCParser::parse(QStringList(std::begin(lines), std::end(lines)).join(sep) + sep);
        ASSERT_EQ(pts.size(), 2) << sep.size();
        if (expected.isEmpty())
            expected = pts;
        EXPECT_EQ(pts, expected);
    }
    EXPECT_TRUE(IGCParser::parse(QString()).isEmpty());
    EXPECT_TRUE(IGCParser::parse(QStringLiteral("\r\n\r\n")).isEmpty());
}
