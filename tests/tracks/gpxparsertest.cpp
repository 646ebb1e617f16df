#include "readertesthelpers.h"

#include "tracks/gpxparser.h"
#include "tracks/iso8601.h"

#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

using namespace routereel;
using namespace routereel::test;

namespace {

QByteArray gpx(const QString &body)
{
    return (QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                           "<gpx version=\"1.1\" xmlns=\"http://www.topografix.com/GPX/1/1\" "
                           "xmlns:gpxtpx=\"http://www.garmin.com/xmlschemas/TrackPointExtension/v1\">")
            + body + QStringLiteral("</gpx>"))
        .toUtf8();
}

QString trkpt(const QString &attributes, const QString &children = {})
{
    return QStringLiteral("<trkpt %1>%2</trkpt>").arg(attributes, children);
}

// A point at (1, 1) with the given children.
QString pointWith(const QString &children = {})
{
    return trkpt(QStringLiteral(R"(lat="1" lon="1")"), children);
}

QString timed(int second)
{
    return QStringLiteral("<time>2023-05-01T08:15:%1Z</time>").arg(second, 2, 10, QLatin1Char('0'));
}

auto parse(const QByteArray &xml)
{
    return parseXml<GPXParser>(xml);
}

} // namespace

TEST(GPXParser, SegmentsStartPolylines)
{
    QString seg;
    for (int i = 0; i < 3; ++i)
        seg += trkpt(QStringLiteral("lat=\"%1\" lon=\"8\"").arg(47 + i * 0.001));
    const auto two = parse(gpx(QStringLiteral("<trk><trkseg>%1</trkseg><trkseg>%1</trkseg></trk>").arg(seg)));
    ASSERT_TRUE(two.ok());
    ASSERT_EQ(two.value().size(), 6);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(two.value()[i].startsSegment, i == 0 || i == 3) << i;
    EXPECT_DOUBLE_EQ(two.value()[4].lat, 47.001);

    const auto noSegment = parse(gpx(QStringLiteral("<trk>%1</trk>").arg(seg)));
    ASSERT_EQ(noSegment.value().size(), 3);
    EXPECT_TRUE(noSegment.value()[0].startsSegment);
    EXPECT_FALSE(noSegment.value()[1].startsSegment);

    // An empty trkseg between two full ones still starts the next piece once.
    const auto withEmpty = parse(gpx(QStringLiteral("<trk><trkseg>%1</trkseg><trkseg/><trkseg>%1</trkseg></trk>").arg(seg)));
    ASSERT_EQ(withEmpty.value().size(), 6);
    EXPECT_TRUE(withEmpty.value()[3].startsSegment);
    EXPECT_FALSE(withEmpty.value()[4].startsSegment);
}

TEST(GPXParser, WaypointsRoutesAndMetadataGiveNoPoints)
{
    const auto r = parse(gpx(QStringLiteral(
        "<metadata><time>2023-05-01T08:00:00Z</time></metadata>"
        "<wpt lat=\"47\" lon=\"8\"><ele>400</ele><time>2023-05-01T08:00:00Z</time></wpt>"
        "<rte><rtept lat=\"47\" lon=\"8\"/><rtept lat=\"95\" lon=\"8\"/></rte>")));
    ASSERT_TRUE(r.ok());
    EXPECT_TRUE(r.value().isEmpty());
}

TEST(GPXParser, CoordinatesMustBeWholeFiniteNumbersInRange)
{
    struct Case {
        const char *attributes;
        bool valid;
    };
    const Case cases[] = {
        {R"(lat="45.1" lon="8")", true},
        {R"(lat="-90" lon="-180")", true},
        {R"(lat="90" lon="180")", true},
        {R"(lon="8" lat="45.1")", true},
        {R"(lat="4.5e1" lon="+8")", true},
        {R"(lat="91" lon="8")", false},
        {R"(lat="45" lon="180.0001")", false},
        {R"(lat="45.1")", false},
        {R"(lon="8")", false},
        {"", false},
        {R"(lat=" 45.1" lon="8")", false},
        {R"(lat="45.1x" lon="8")", false},
        {R"(lat="45,1" lon="8")", false},
        {R"(lat="nan" lon="8")", false},
        {R"(lat="45" lon="inf")", false},
        {R"(lat="" lon="8")", false},
        {R"(x:lat="45" lon="8")", false},
    };
    for (const Case &c : cases) {
        const auto r = parse(gpx(QStringLiteral("<trk><trkseg>%1%2</trkseg></trk>")
                                     .arg(pointWith(), trkpt(QString::fromLatin1(c.attributes)))));
        if (c.valid) {
            ASSERT_TRUE(r.ok()) << c.attributes;
            EXPECT_EQ(r.value().size(), 2) << c.attributes;
        } else {
            EXPECT_EQ(parserError(r), GPXParserError::invalidCoordinates) << c.attributes;
            EXPECT_EQ(r.ok() ? QString() : r.error().message(),
                      QStringLiteral("The track contains invalid coordinates."));
        }
    }
}

TEST(GPXParser, FirstProblemWins)
{
    // A bad point stops the run before a later XML fault is seen...
    const QByteArray badPointThenBrokenXml =
        gpx(trkpt(QStringLiteral(R"(lat="95" lon="8")"))).replace("</gpx>", "<oops></gpx>");
    EXPECT_EQ(parserError(parse(badPointThenBrokenXml)), GPXParserError::invalidCoordinates);
    // ...and an XML fault before any bad point is the XML parser's error.
    const QByteArray brokenXmlThenBadPoint =
        gpx(QStringLiteral("<a></b>") + trkpt(QStringLiteral(R"(lat="95" lon="8")")));
    const auto r = parse(brokenXmlThenBadPoint);
    ASSERT_FALSE(r.ok());
    EXPECT_FALSE(parserError(r));
    EXPECT_EQ(r.error().message(), xmlReaderError(brokenXmlThenBadPoint));
}

TEST(GPXParser, Times)
{
    const Instant t = *Iso8601::parseAny(u"2023-05-01T08:15:30Z");
    const auto both = parse(gpx(QStringLiteral("<trk><trkseg>%1%2</trkseg></trk>")
                                     .arg(pointWith(QStringLiteral("<time>2023-05-01T08:15:30.250Z</time>")),
                                          pointWith(QStringLiteral("<time>\n  2023-05-01T08:15:31Z\n</time>")))));
    ASSERT_TRUE(both.ok());
    EXPECT_DOUBLE_EQ(both.value()[0].time, t + 0.25);
    EXPECT_DOUBLE_EQ(both.value()[1].time, t + 1);

    // Zone-less times name no instant: all of them untimed means the fallback clock.
    QString zoneless;
    for (int i = 0; i < 3; ++i)
        zoneless += pointWith(QStringLiteral("<time>2023-05-01T08:15:3%1</time>").arg(i));
    const auto fallback = parse(gpx(zoneless));
    ASSERT_TRUE(fallback.ok());
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(fallback.value()[i].time, fallbackStart + i);

    // One untimed point among timed ones fails the whole file, wherever it is.
    const QString good = pointWith(timed(1));
    const QString bad = pointWith(QStringLiteral("<time>2023-05-01T08:15:30</time>"));
    const QString none = pointWith();
    for (const QString &body : {good + bad, bad + good, good + none, none + good}) {
        const auto r = parse(gpx(body));
        EXPECT_EQ(parserError(r), GPXParserError::incompleteTimestamps) << body.toStdString();
        EXPECT_EQ(r.ok() ? QString() : r.error().message(),
                  QStringLiteral("Some track points have missing or invalid timestamps. Use a track "
                                 "with complete timestamps, or no timestamps."));
    }
    // A time outside any point (metadata) must not be given to the point that follows.
    const auto metadataTime = parse(gpx(QStringLiteral("<metadata>%1</metadata>").arg(timed(5)) + none + good));
    EXPECT_EQ(parserError(metadataTime), GPXParserError::incompleteTimestamps);
}

TEST(GPXParser, HeartRate)
{
    struct Case {
        QString children;
        std::optional<int> expected;
    };
    const QString ext = QStringLiteral("<extensions><gpxtpx:TrackPointExtension>%1</gpxtpx:TrackPointExtension></extensions>");
    const Case cases[] = {
        {ext.arg(QStringLiteral("<gpxtpx:hr>95</gpxtpx:hr>")), 95},
        {ext.arg(QStringLiteral("<ns3:hr> 140\n</ns3:hr>")), 140},
        {QStringLiteral("<extensions><hr>120</hr></extensions>"), 120},
        {ext.arg(QStringLiteral("<gpxtpx:hr>+120</gpxtpx:hr>")), 120},
        {ext.arg(QStringLiteral("<gpxtpx:hr>1</gpxtpx:hr>")), 1},
        {ext.arg(QStringLiteral("<gpxtpx:hr>1000</gpxtpx:hr>")), 1000},
        {ext.arg(QStringLiteral("<gpxtpx:hr>0</gpxtpx:hr>")), {}},
        {ext.arg(QStringLiteral("<gpxtpx:hr>1001</gpxtpx:hr>")), {}},
        {ext.arg(QStringLiteral("<gpxtpx:hr>120.5</gpxtpx:hr>")), {}},
        {ext.arg(QStringLiteral("<gpxtpx:hr></gpxtpx:hr>")), {}},
        {ext.arg(QStringLiteral("<gpxtpx:hrx>120</gpxtpx:hrx><thr>120</thr><HR>120</HR>")), {}},
        {{}, {}},
    };
    for (const Case &c : cases) {
        // The point before carries a heart rate that must not leak into this one.
        const auto r =
            parse(gpx(pointWith(ext.arg(QStringLiteral("<gpxtpx:hr>77</gpxtpx:hr>"))) + pointWith(c.children)));
        ASSERT_TRUE(r.ok()) << c.children.toStdString();
        EXPECT_EQ(r.value()[0].heartRate, 77);
        EXPECT_EQ(r.value()[1].heartRate, c.expected) << c.children.toStdString();
    }
}

TEST(GPXParser, Elevation)
{
    struct Case {
        const char *children;
        std::optional<double> expected;
    };
    const Case cases[] = {
        {"<ele>12.5</ele>", 12.5},
        {"<ele>\n   12.5  \n</ele>", 12.5},
        {"<ele>-3</ele>", -3.0},
        {"<ele>NaN</ele>", {}},
        {"<ele>inf</ele>", {}},
        {"<ele>12 m</ele>", {}},
        {"<ele></ele>", {}},
        {"", {}},
    };
    for (const Case &c : cases) {
        const auto r =
            parse(gpx(pointWith(QStringLiteral("<ele>400</ele>")) + pointWith(QString::fromLatin1(c.children))));
        ASSERT_TRUE(r.ok()) << c.children;
        EXPECT_EQ(r.value()[1].ele, c.expected) << c.children;
    }
}

TEST(GPXParser, MalformedInputGivesTheXmlParsersOwnError)
{
    const QByteArray full = gpx(QStringLiteral("<trk><trkseg>%1</trkseg></trk>").arg(pointWith(timed(1))));
    QByteArray binary(4096, '\0');
    for (int i = 0; i < binary.size(); ++i)
        binary[i] = char((i * 7919) & 0xff);
    const QByteArray inputs[] = {full.left(full.size() / 2), full.left(full.indexOf("</trkpt>")),
                                 QByteArray(), binary, QByteArray("not xml at all"),
                                 full + "<extra/>"};
    for (const QByteArray &input : inputs) {
        const auto r = parse(input);
        ASSERT_FALSE(r.ok()) << input.left(60).toStdString();
        EXPECT_FALSE(parserError(r)) << input.left(60).toStdString();
        EXPECT_EQ(r.error().message(), xmlReaderError(input));
        EXPECT_FALSE(r.error().message().isEmpty());
    }
}

TEST(GPXParser, UnreadableFileIsNotFound)
{
    QTemporaryDir dir;
    for (const QUrl &url : {QUrl::fromLocalFile(dir.filePath(QStringLiteral("missing.gpx"))),
                            QUrl::fromLocalFile(dir.path()), QUrl(QStringLiteral("https://example.org/a.gpx"))}) {
        EXPECT_EQ(parserError(GPXParser().parse(url)), GPXParserError::fileNotFound) << url.toString().toStdString();
    }
    EXPECT_EQ(errorMessage(GPXParserError::fileNotFound), QStringLiteral("GPX file not found"));
    EXPECT_EQ(errorMessage(GPXParserError::parseError), QStringLiteral("Failed to parse GPX file"));
}

TEST(GPXParser, ReadsTheSampleFile)
{
    const auto r = GPXParser().parse(QUrl::fromLocalFile(QStringLiteral(ROUTEREEL_TEST_DATA "/tracks/ride.gpx")));
    ASSERT_TRUE(r.ok()) << r.error().message().toStdString();
    ASSERT_EQ(r.value().size(), 6);
    EXPECT_EQ(r.value()[0].heartRate, 92);
    EXPECT_EQ(r.value()[0].ele, 408.2);
    EXPECT_TRUE(r.value()[3].startsSegment);
    EXPECT_EQ(Iso8601::formatWithMilliseconds(r.value()[5].time), QStringLiteral("2023-05-01T06:00:05.500Z"));
}

TEST(GPXParser, HostileStructureIsRefusedQuickly)
{
    const QString point = pointWith();
    auto nested = [&](int levels) {
        // <gpx> itself is one level.
        return gpx(QStringLiteral("<x>").repeated(levels - 2) + point + QStringLiteral("</x>").repeated(levels - 2));
    };
    EXPECT_TRUE(parse(nested(1000)).ok());
    const auto deep = parse(nested(1001));
    ASSERT_FALSE(deep.ok());
    EXPECT_EQ(deep.error().message(), QStringLiteral("The file nests its elements too deeply to be a track."));

    // Attributes of one point besides lat and lon, each with `value`.
    auto attributes = [&](int count, const QString &value = QStringLiteral("1")) {
        QString a;
        for (int i = 0; i < count; ++i)
            a += QStringLiteral(" a%1=\"%2\"").arg(i).arg(value);
        return gpx(QStringLiteral("<trk><trkseg><trkpt lat=\"1\" lon=\"2\"%1/></trkseg></trk>").arg(a));
    };
    const QString manyEquals(9'000, u'=');
    const QString tooMany = QStringLiteral("The file has an element with too many attributes to be a track.");
    const QString ownDefinitions
        = QStringLiteral("The file defines its own XML entities or attributes, which no track file does.");
    const auto withDoctype = [&](const QString &doctype) {
        return QStringLiteral("<?xml version=\"1.0\"?>%1<gpx version=\"1.1\">%2</gpx>").arg(doctype, point).toUtf8();
    };
    struct Case {
        const char *name;
        QByteArray xml;
        QString refusal;  // empty: the file loads
    };
    const Case cases[] = {
        {"64 attributes", attributes(62), {}},
        {"65 attributes", attributes(63), tooMany},
        {"'=' in values", attributes(60, QStringLiteral("a=b=c")), {}},
        {"'>' in values", attributes(63, QStringLiteral(">")), tooMany},
        {"'=' in text", gpx(QStringLiteral("<desc>%1</desc>").arg(manyEquals) + point), {}},
        {"'=' in a comment", gpx(QStringLiteral("<!-- <a %1> -->").arg(manyEquals) + point), {}},
        {"'=' in CDATA", gpx(QStringLiteral("<desc><![CDATA[<a %1>]]></desc>").arg(manyEquals) + point), {}},
        {"'=' in an instruction", gpx(QStringLiteral("<?note %1?>").arg(manyEquals) + point), {}},
        {"external document type", withDoctype(QStringLiteral("<!DOCTYPE gpx SYSTEM \"gpx[1].dtd\">")), {}},
        {"attribute defaults", withDoctype(QStringLiteral("<!DOCTYPE gpx [<!ATTLIST trkpt a CDATA \"x\">]>")),
         ownDefinitions},
        {"entities", withDoctype(QStringLiteral("<!DOCTYPE gpx [<!ENTITY e \"xxxx\">]>")), ownDefinitions},
    };
    for (const Case &c : cases) {
        const auto r = parse(c.xml);
        EXPECT_EQ(r.ok(), c.refusal.isEmpty()) << c.name;
        if (!r.ok())
            EXPECT_EQ(r.error().message(), c.refusal) << c.name;
    }
}
