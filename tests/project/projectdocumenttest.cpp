#include "project/projectdocument.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace routereel;

namespace {

QByteArray projectFile(const char *name)
{
    QFile file(QStringLiteral(ROUTEREEL_TEST_DATA "/projects/") + QString::fromLatin1(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    return file.readAll();
}

ProjectDocument decodeOrFail(const QByteArray &json)
{
    ProjectCodingError error;
    auto document = ProjectDocument::decode(json, &error);
    EXPECT_TRUE(document.has_value()) << error.message().toStdString();
    return document.value_or(ProjectDocument());
}

// The minimal document with one root key replaced (or removed when `value` is undefined).
QByteArray minimalWith(const QString &key, const QJsonValue &value)
{
    QJsonObject root = QJsonDocument::fromJson(projectFile("minimal.rrl")).object();
    if (value.isUndefined())
        root.remove(key);
    else
        root.insert(key, value);
    return QJsonDocument(root).toJson();
}

QJsonObject minimalObject(const char *key)
{
    return QJsonDocument::fromJson(projectFile("minimal.rrl")).object().value(QLatin1String(key)).toObject();
}

} // namespace

TEST(ProjectDocumentReading, OnlyRequiredKeysReadWithEveryOptionalAbsentAndWriteBackNoOther)
{
    const ProjectDocument d = decodeOrFail(projectFile("minimal.rrl"));
    ASSERT_TRUE(d.gpxFiles.size() == 1 && d.segments.size() == 1);
    EXPECT_EQ(d.version, 5);
    EXPECT_FALSE(d.videoPath || d.videoBookmark || d.videoFiles || d.videoSegments);
    EXPECT_FALSE(d.gpsPathWidget || d.heartRateWidget || d.heartRateGraphWidget);
    EXPECT_FALSE(d.exportCompressionFactor || d.compositionMode || d.canvasOrigin || d.widgetLayoutSize);
    EXPECT_FALSE(d.map.enabled || d.map.mapboxToken || d.map.borderStyle || d.map.positionX || d.map.positionY);
    EXPECT_FALSE(d.timeWidget.positionX || d.speedWidget.positionY || d.gpxFiles[0].bookmark);
    EXPECT_EQ(d.gpxFiles[0].trackID, QStringLiteral("track-one"));
    EXPECT_EQ(d.segments[0].offset, 12.5);
    EXPECT_EQ(d.playheadTime, 42.25);

    const auto bytes = d.encode(ProjectDocument::Style::saved);
    ASSERT_TRUE(bytes);
    const QJsonObject root = QJsonDocument::fromJson(*bytes).object();
    EXPECT_EQ(root.keys().size(), 8);
    EXPECT_EQ(root.value(QStringLiteral("map")).toObject().keys().size(), 8);
    EXPECT_FALSE(bytes->contains("null"));
}

TEST(ProjectDocumentReading, FullDocumentReadsEveryField)
{
    const ProjectDocument d = decodeOrFail(projectFile("full.rrl"));
    EXPECT_EQ(d.videoPath, QStringLiteral("/home/rider/videos/ride.mp4"));  // "\/" read as "/"
    ASSERT_TRUE(d.videoFiles && d.videoFiles->size() == 2);
    EXPECT_EQ((*d.videoFiles)[1].id, QUuid::fromString(QStringLiteral("A1B2C3D4-E5F6-4711-8899-AABBCCDDEEFF")));
    EXPECT_FALSE((*d.videoFiles)[1].bookmark);
    ASSERT_TRUE(d.videoSegments && d.videoSegments->size() == 2);
    EXPECT_EQ((*d.videoSegments)[0].sourceStart, 1.5);
    EXPECT_EQ((*d.videoSegments)[1].sourceID, (*d.videoFiles)[1].id);
    EXPECT_EQ(d.segments[1].id, QStringLiteral("abc"));
    EXPECT_EQ(d.map.enabled, false);
    EXPECT_EQ(d.map.mapboxToken, QStringLiteral("pk.test-token"));
    EXPECT_EQ(d.map.zoomLevel, -3);
    EXPECT_EQ(d.speedWidget.positionX, 300);
    EXPECT_FALSE(d.speedWidget.positionY);
    ASSERT_TRUE(d.gpsPathWidget && d.heartRateWidget && d.heartRateGraphWidget);
    EXPECT_EQ(d.gpsPathWidget->padding, 1024);
    EXPECT_EQ(d.heartRateWidget->showMinMax, true);
    EXPECT_EQ(d.heartRateGraphWidget->width, 500);
    EXPECT_EQ(d.exportCompressionFactor, 0.85);
    EXPECT_EQ(d.compositionMode, QStringLiteral("Overlay"));
    EXPECT_EQ(d.canvasOrigin, QSizeF(3840, 2160));
    EXPECT_EQ(d.widgetLayoutSize, QSizeF(960, 540));
}

TEST(ProjectDocumentReading, StrictTypesAndNulls)
{
    using Kind = ProjectCodingError::Kind;
    struct Case {
        const char *what;
        QByteArray json;
        std::optional<Kind> kind;  // none: reads
        const char *path;
    };
    const QJsonValue absent(QJsonValue::Undefined);
    QJsonObject timeWithNullPosition = minimalObject("timeWidget");
    timeWithNullPosition.insert(QStringLiteral("positionX"), QJsonValue::Null);
    QJsonObject timeWithNullOpacity = minimalObject("timeWidget");
    timeWithNullOpacity.insert(QStringLiteral("opacity"), QJsonValue::Null);
    QJsonObject mapWithUnknownKey = minimalObject("map");
    mapWithUnknownKey.insert(QStringLiteral("pitch"), QStringLiteral("steep"));
    QJsonObject withoutBoth = QJsonDocument::fromJson(projectFile("minimal.rrl")).object();
    withoutBoth.remove(QStringLiteral("map"));
    withoutBoth.remove(QStringLiteral("version"));
    const QByteArray withoutVersionAndMap = QJsonDocument(withoutBoth).toJson();

    const Case cases[] = {
        {"version 6 reads", minimalWith("version", 6), std::nullopt, ""},
        {"version 5.0 is whole", minimalWith("version", 5.0), std::nullopt, ""},
        {"version true", minimalWith("version", true), Kind::typeMismatch, "version"},
        {"version null", minimalWith("version", QJsonValue::Null), Kind::valueNotFound, "version"},
        {"version missing", minimalWith("version", absent), Kind::keyNotFound, "version"},
        {"version beyond 64 bits",
         QString::fromUtf8(minimalWith("version", 1)).replace(QStringLiteral("\"version\": 1"),
                                                             QStringLiteral("\"version\": 9223372036854775808")).toUtf8(),
         Kind::typeMismatch, "version"},
        {"gpsPathWidget null is absent", minimalWith("gpsPathWidget", QJsonValue::Null), std::nullopt, ""},
        {"optional position null is absent", minimalWith("timeWidget", timeWithNullPosition), std::nullopt, ""},
        {"required opacity null", minimalWith("timeWidget", timeWithNullOpacity), Kind::valueNotFound,
         "timeWidget.opacity"},
        {"unknown key in map", minimalWith("map", mapWithUnknownKey), std::nullopt, ""},
        {"segments not a list", minimalWith("segments", QJsonObject()), Kind::typeMismatch, "segments"},
        {"segment element not an object", minimalWith("segments", QJsonArray{1}), Kind::typeMismatch, "segments[0]"},
        {"playhead as text", minimalWith("playheadTime", QStringLiteral("42")), Kind::typeMismatch, "playheadTime"},
        {"exportPreset as number", minimalWith("exportPreset", 1080), Kind::typeMismatch, "exportPreset"},
        {"canvas [1920, 1080]", minimalWith("canvasOrigin", QJsonArray{1920, 1080}), std::nullopt, ""},
        {"canvas with text", minimalWith("canvasOrigin", QJsonArray{1920, QStringLiteral("1080")}),
         Kind::typeMismatch, "canvasOrigin"},
        {"videoFiles empty list", minimalWith("videoFiles", QJsonArray()), std::nullopt, ""},
        {"video segment with a missing key",
         minimalWith("videoSegments", QJsonArray{QJsonObject{{"id", "11111111-2222-4333-8444-555555555555"},
                                                             {"sourceID", "11111111-2222-4333-8444-555555555555"},
                                                             {"sourceStart", 0},
                                                             {"offset", 0}}}),
         Kind::keyNotFound, "videoSegments[0].sourceEnd"},
        {"video id with braces",
         minimalWith("videoFiles", QJsonArray{QJsonObject{{"id", "{11111111-2222-4333-8444-555555555555}"},
                                                          {"path", "/v.mp4"}}}),
         Kind::invalidUUID, "videoFiles[0].id"},
        {"first fault in field order reported", withoutVersionAndMap, Kind::keyNotFound, "version"},
        {"a lone number", "5", Kind::typeMismatch, ""},
        {"empty file", "", Kind::notJSON, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ProjectCodingError error;
        const auto document = ProjectDocument::decode(c.json, &error);
        if (!c.kind) {
            EXPECT_TRUE(document) << error.message().toStdString();
            continue;
        }
        EXPECT_FALSE(document);
        EXPECT_EQ(error.kind, *c.kind);
        EXPECT_EQ(error.path, QLatin1String(c.path));
    }
}

TEST(ProjectDocumentWriting, BothFormsRoundTripEveryField)
{
    const ProjectDocument original = decodeOrFail(projectFile("full.rrl"));
    ProjectCodingError error;
    const auto saved = original.encode(ProjectDocument::Style::saved, &error);
    ASSERT_TRUE(saved) << error.message().toStdString();
    EXPECT_EQ(decodeOrFail(*saved), original);
    const auto compact = original.encode(ProjectDocument::Style::session);
    ASSERT_TRUE(compact);
    EXPECT_EQ(decodeOrFail(*compact), original);
    EXPECT_FALSE(compact->contains('\n'));
    EXPECT_TRUE(compact->startsWith("{\"version\":5,"));

    // Saved: top-level keys sorted, two-space indentation, no nulls, slashes escaped.
    QStringList topKeys;
    const QRegularExpression topKey(QStringLiteral("^  \"([A-Za-z]+)\" : "), QRegularExpression::MultilineOption);
    for (auto it = topKey.globalMatch(QString::fromUtf8(*saved)); it.hasNext();)
        topKeys << it.next().captured(1);
    QStringList sorted = topKeys;
    sorted.sort();
    EXPECT_EQ(topKeys, sorted);
    EXPECT_EQ(topKeys.size(), 19);
    EXPECT_FALSE(saved->contains("null"));
    EXPECT_TRUE(saved->contains(R"("videoPath" : "\/home\/rider\/videos\/ride.mp4")"));
    EXPECT_FALSE(saved->contains("writtenByNewerApp"));
}

TEST(ProjectDocumentWriting, NonFiniteNumbersFailWithTheirPath)
{
    const ProjectDocument full = decodeOrFail(projectFile("full.rrl"));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char *path;
        std::function<void(ProjectDocument &)> spoil;
    };
    const Case cases[] = {
        {"map.width", [&](ProjectDocument &d) { d.map.width = nan; }},
        {"playheadTime", [&](ProjectDocument &d) { d.playheadTime = inf; }},
        {"segments[1].offset", [&](ProjectDocument &d) { d.segments[1].offset = -inf; }},
        {"videoSegments[0].sourceEnd", [&](ProjectDocument &d) { (*d.videoSegments)[0].sourceEnd = nan; }},
        {"canvasOrigin[1]", [&](ProjectDocument &d) { d.canvasOrigin->setHeight(nan); }},
        {"heartRateGraphWidget.positionY", [&](ProjectDocument &d) { d.heartRateGraphWidget->positionY = nan; }},
    };
    for (const Case &c : cases) {
        for (auto style : {ProjectDocument::Style::saved, ProjectDocument::Style::session}) {
            SCOPED_TRACE(c.path);
            ProjectDocument d = full;
            c.spoil(d);
            ProjectCodingError error;
            EXPECT_FALSE(d.encode(style, &error));
            EXPECT_EQ(error.kind, ProjectCodingError::Kind::invalidValue);
            EXPECT_EQ(error.path, QLatin1String(c.path));
            EXPECT_TRUE(error.message().contains(QLatin1String(c.path)));
        }
    }
}

TEST(ProjectDocumentWriting, TextAndNumbersSurviveTheRoundTrip)
{
    ProjectDocument d = decodeOrFail(projectFile("minimal.rrl"));
    d.gpxFiles[0].path = QStringLiteral("/tmp/quote\" back\\slash /tab\t nl\n ctl\x01 ünï 🚴.gpx");
    d.gpxFiles[0].trackID = QStringLiteral("lone ") + QChar(0xD800) + QStringLiteral(" surrogate");
    d.playheadTime = 0.1 + 0.2;
    d.segments[0].gpxEnd = 1e-300;
    d.segments[0].offset = 123456789.123456789;
    d.map.zoomLevel = std::numeric_limits<qint64>::min();
    const auto bytes = d.encode(ProjectDocument::Style::saved);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(decodeOrFail(*bytes), d);
    EXPECT_TRUE(bytes->contains(R"(\/tmp\/quote\" back\\slash \/tab\t nl\n ctl\u0001)"));
}
