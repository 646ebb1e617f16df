#include "readertesthelpers.h"

#include "tracks/iso8601.h"
#include "tracks/tcxparser.h"

#include <gtest/gtest.h>

using namespace routereel;
using namespace routereel::test;

namespace {

QByteArray tcx(const QString &tracks)
{
    return (QStringLiteral("<?xml version=\"1.0\"?>\n<TrainingCenterDatabase "
                           "xmlns=\"http://www.garmin.com/xmlschemas/TrainingCenterDatabase/v2\" "
                           "xmlns:ns3=\"http://www.garmin.com/xmlschemas/ActivityExtension/v2\">"
                           "<Activities><Activity Sport=\"Biking\"><Id>2023-05-01T06:00:00Z</Id>"
                           "<Lap StartTime=\"2023-05-01T06:00:00Z\"><TotalTimeSeconds>10</TotalTimeSeconds>"
                           "<AverageHeartRateBpm><Value>130</Value></AverageHeartRateBpm>")
            + tracks + QStringLiteral("</Lap></Activity></Activities></TrainingCenterDatabase>"))
        .toUtf8();
}

QString position(const QString &lat, const QString &lon)
{
    return QStringLiteral("<Position><LatitudeDegrees>%1</LatitudeDegrees><LongitudeDegrees>%2</LongitudeDegrees></Position>")
        .arg(lat, lon);
}

QString point(int second, const QString &inner)
{
    return QStringLiteral("<Trackpoint><Time>2023-05-01T06:00:%1Z</Time>%2</Trackpoint>")
        .arg(second, 2, 10, QLatin1Char('0'))
        .arg(inner);
}

QString at(int second)
{
    return point(second, position(QStringLiteral("47.1"), QStringLiteral("8.2")));
}

auto parse(const QByteArray &xml)
{
    return parseXml<TCXParser>(xml);
}

} // namespace

TEST(TCXParser, TracksStartPolylines)
{
    const auto r = parse(tcx(QStringLiteral("<Track>%1%2</Track><Track>%3%4</Track>").arg(at(0), at(1), at(2), at(3))));
    ASSERT_TRUE(r.ok());
    ASSERT_EQ(r.value().size(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(r.value()[i].startsSegment, i == 0 || i == 2) << i;
    EXPECT_EQ(r.value()[3].time, *Iso8601::parseAny(u"2023-05-01T06:00:03Z"));
    EXPECT_DOUBLE_EQ(r.value()[0].lat, 47.1);
    EXPECT_DOUBLE_EQ(r.value()[0].lng, 8.2);
}

TEST(TCXParser, PointsWithoutAPositionAreSkipped)
{
    const QString noPosition = point(1, QStringLiteral("<HeartRateBpm><Value>120</Value></HeartRateBpm>"));
    const QString badText = point(2, position(QStringLiteral("abc"), QStringLiteral("8")));
    const QString onlyLat = point(3, QStringLiteral("<Position><LatitudeDegrees>47</LatitudeDegrees></Position>"));
    const auto r = parse(tcx(QStringLiteral("<Track>%1%2%3%4%5</Track>").arg(at(0), noPosition, badText, onlyLat, at(4))));
    ASSERT_TRUE(r.ok());
    ASSERT_EQ(r.value().size(), 2);
    EXPECT_FALSE(r.value()[1].heartRate); // the skipped point's heart rate stays with it
    EXPECT_FALSE(r.value()[1].startsSegment);
}

TEST(TCXParser, OutOfRangePositionFailsTheRead)
{
    struct Case {
        const char *lat;
        const char *lon;
    };
    for (const Case &c : {Case{"95.0", "8"}, Case{"47", "-180.5"}, Case{"nan", "8"}, Case{"47", "inf"}}) {
        const auto r = parse(tcx(QStringLiteral("<Track>%1%2</Track>")
                                     .arg(at(0), point(1, position(QString::fromLatin1(c.lat), QString::fromLatin1(c.lon))))));
        EXPECT_EQ(parserError(r), GPXParserError::invalidCoordinates) << c.lat << " " << c.lon;
    }
}

TEST(TCXParser, HeartRateOnlyFromHeartRateBpmValue)
{
    struct Case {
        const char *inner;
        std::optional<int> expected;
    };
    const Case cases[] = {
        {"<HeartRateBpm><Value>120</Value></HeartRateBpm>", 120},
        {"<HeartRateBpm>\n <Value> 88 </Value>\n</HeartRateBpm>", 88},
        {"<HeartRateBpm><Value>1001</Value></HeartRateBpm>", {}},
        {"<Extensions><ns3:TPX><Value>140</Value></ns3:TPX></Extensions>", {}},
        {"<HeartRateBpm></HeartRateBpm><Value>140</Value>", {}},
    };
    for (const Case &c : cases) {
        const QString inner = position(QStringLiteral("1"), QStringLiteral("2")) + QString::fromLatin1(c.inner);
        const auto r = parse(tcx(QStringLiteral("<Track>%1%2</Track>")
                                     .arg(point(0, position(QStringLiteral("1"), QStringLiteral("2"))
                                                       + QStringLiteral("<HeartRateBpm><Value>77</Value></HeartRateBpm>")),
                                          point(1, inner))));
        ASSERT_TRUE(r.ok()) << c.inner;
        EXPECT_EQ(r.value()[0].heartRate, 77);
        EXPECT_EQ(r.value()[1].heartRate, c.expected) << c.inner;
    }
}

TEST(TCXParser, TimeCarriesOverAndFallsBack)
{
    const QString timeless = QStringLiteral("<Trackpoint>%1<AltitudeMeters>12.5</AltitudeMeters></Trackpoint>")
                                 .arg(position(QStringLiteral("1"), QStringLiteral("2")));
    const auto carried = parse(tcx(QStringLiteral("<Track>%1%2</Track>").arg(at(7), timeless)));
    ASSERT_TRUE(carried.ok());
    ASSERT_EQ(carried.value().size(), 2);
    EXPECT_EQ(carried.value()[1].time, carried.value()[0].time);
    EXPECT_EQ(carried.value()[1].ele, 12.5);

    const auto untimed = parse(tcx(QStringLiteral("<Track>%1%1%1</Track>").arg(timeless)));
    ASSERT_TRUE(untimed.ok());
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(untimed.value()[i].time, fallbackStart + i);

    const QString badTime = QStringLiteral("<Trackpoint><Time>2023-05-01T06:00:09</Time>%1</Trackpoint>")
                                .arg(position(QStringLiteral("1"), QStringLiteral("2")));
    EXPECT_EQ(parserError(parse(tcx(QStringLiteral("<Track>%1%2</Track>").arg(at(1), badTime)))),
              GPXParserError::incompleteTimestamps);
}
