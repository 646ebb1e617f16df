#include "support/timelinefixtures.h"

#include "timeline/videotimelinesnapshot.h"

#include <QJsonArray>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace routereel;
using testsupport::cut;
using testsupport::source;

namespace {

struct Expected {
    double offset;
    double duration;
    int segment;        // index into the snapshot's segments, -1 for a gap
    double sourceStart;
};

void expectSlices(const VideoTimelineSnapshot &snap, const QList<VideoTimelineSnapshot::Slice> &got,
                  const QList<Expected> &want)
{
    ASSERT_EQ(got.size(), want.size());
    for (qsizetype i = 0; i < want.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(got[i].offset, want[i].offset, 1e-12);
        EXPECT_NEAR(got[i].duration, want[i].duration, 1e-12);
        if (want[i].segment < 0) {
            EXPECT_TRUE(got[i].isGap());
            EXPECT_TRUE(got[i].segmentID.isNull());
            EXPECT_EQ(got[i].sourceStart, 0);
        } else {
            const VideoSegment &seg = snap.segments[want[i].segment];
            EXPECT_EQ(got[i].segmentID, seg.id);
            ASSERT_TRUE(got[i].source);
            EXPECT_EQ(got[i].source->id, seg.sourceID);
            EXPECT_NEAR(got[i].sourceStart, want[i].sourceStart, 1e-12);
        }
    }
}

} // namespace

TEST(VideoTimelineSnapshot, SlicesFillGapsAndLetTheLaterSegmentWin)
{
    const VideoSource a = source(20);
    const VideoSource b = source(20);
    struct Case {
        const char *name;
        QList<VideoSegment> segments;
        QList<Expected> slices;
    };
    const QList<Case> cases = {
        {"empty", {}, {}},
        {"gap between two pieces", {cut(a, 0, 5, 0), cut(a, 10, 12, 8)},
         {{0, 5, 0, 0}, {5, 3, -1, 0}, {8, 2, 1, 10}}},
        {"starts late", {cut(a, 1, 3, 4)}, {{4, 2, 0, 1}}},
        {"B over A", {cut(a, 2, 12, 0), cut(b, 0, 3, 5)},
         {{0, 5, 0, 2}, {5, 3, 1, 0}, {8, 2, 0, 10}}},
        {"A over B", {cut(b, 0, 3, 5), cut(a, 2, 12, 0)}, {{0, 10, 1, 2}}},
        {"abutting cuts of one file stay apart", {cut(a, 0, 2, 0), cut(a, 2, 4, 2)},
         {{0, 2, 0, 0}, {2, 2, 1, 2}}},
        {"invalid segments become gaps",
         {cut(a, 0, 2, 0), cut(a, 3, 3, 2), cut(a, 0, 1, -1), cut(source(9), 0, 2, 2), cut(a, 0, 20.00001, 2),
          cut(a, 0, 1, 5)},
         {{0, 2, 0, 0}, {2, 3, -1, 0}, {5, 1, 5, 0}}},
        {"tolerance on the source duration", {cut(a, 0, 20.0000005, 0)}, {{0, 20.0000005, 0, 0}}},
        {"non-finite values are ignored",
         {cut(a, 0, 1, std::nan("")), cut(a, 0, 1, std::numeric_limits<double>::infinity()),
          cut(a, std::nan(""), 1, 0), cut(a, 0, 2, 1)},
         {{1, 2, 3, 0}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        VideoTimelineSnapshot snap{{a, b}, c.segments, std::nullopt};
        expectSlices(snap, snap.slices(), c.slices);
    }
}

TEST(VideoTimelineSnapshot, CanvasSizeRule)
{
    const VideoSource hd = source(10, 1280, 720);
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        QList<VideoSource> sources;
        std::optional<QSizeF> canvas;
        QSizeF expected;
    };
    const QList<Case> cases = {
        {{}, std::nullopt, {1920, 1080}},
        {{hd}, std::nullopt, {1280, 720}},
        {{hd}, QSizeF(800, 600), {800, 600}},
        {{hd}, QSizeF(0.5, 1080), {1280, 720}},
        {{hd}, QSizeF(inf, 1080), {1280, 720}},
        {{}, QSizeF(1920, std::nan("")), {1920, 1080}},
        {{}, QSizeF(1, 1), {1, 1}},
    };
    for (const Case &c : cases) {
        VideoTimelineSnapshot snap{c.sources, {}, c.canvas};
        EXPECT_EQ(snap.canvasSize(), c.expected);
    }
}

TEST(VideoTimelineSnapshot, ShiftedToZeroMovesTheEarliestShownSegment)
{
    const VideoSource a = source(20);
    VideoTimelineSnapshot snap{{a}, {cut(a, 0, 2, 7), cut(a, 5, 6, 4)}, QSizeF(640, 480)};
    const VideoTimelineSnapshot shifted = snap.shiftedToZero();
    EXPECT_EQ(shifted.segments[0].offset, 3);
    EXPECT_EQ(shifted.segments[1].offset, 0);
    EXPECT_EQ(shifted.segments[0].id, snap.segments[0].id);
    EXPECT_EQ(shifted.canvasOrigin, snap.canvasOrigin);
    EXPECT_EQ(shifted.slices().first().offset, 0);
    EXPECT_EQ(shifted.shiftedToZero(), shifted);

    EXPECT_EQ(VideoTimelineSnapshot{}.shiftedToZero(), VideoTimelineSnapshot{});
    // A segment that is never shown (NaN, negative, unknown source) does not hold the shift back.
    for (double bad : {std::nan(""), -3.0}) {
        VideoTimelineSnapshot withBad{{a}, {cut(a, 0, 2, bad), cut(a, 0, 2, 4)}, std::nullopt};
        EXPECT_EQ(withBad.shiftedToZero().segments[1].offset, 0) << bad;
    }
    VideoTimelineSnapshot orphan{{a}, {cut(source(5), 0, 2, 1), cut(a, 0, 2, 4)}, std::nullopt};
    EXPECT_EQ(orphan.shiftedToZero().segments[1].offset, 0);
    EXPECT_EQ(orphan.shiftedToZero().timelineEnd(), 2);
}

TEST(VideoTimelineSnapshot, SingleFullSource)
{
    const VideoSource a = source(10, 1280, 720);
    struct Case {
        const char *name;
        QList<VideoSegment> segments;
        std::optional<QSizeF> canvas;
        bool expected;
    };
    const QList<Case> cases = {
        {"whole clip", {cut(a, 0, 10, 0)}, std::nullopt, true},
        {"explicit canvas of the clip's size", {cut(a, 0, 10, 0)}, QSizeF(1280, 720), true},
        {"other canvas", {cut(a, 0, 10, 0)}, QSizeF(1920, 1080), false},
        {"no segment", {}, std::nullopt, false},
        {"two segments", {cut(a, 0, 5, 0), cut(a, 5, 10, 5)}, std::nullopt, false},
        {"late", {cut(a, 0, 10, 1)}, std::nullopt, false},
        {"trimmed start", {cut(a, 1, 10, 0)}, std::nullopt, false},
        {"end within tolerance", {cut(a, 0, 10 - 0.0000005, 0)}, std::nullopt, true},
        {"end short", {cut(a, 0, 10 - 0.00001, 0)}, std::nullopt, false},
        {"unknown source", {cut(source(10, 1280, 720), 0, 10, 0)}, std::nullopt, false},
    };
    for (const Case &c : cases) {
        VideoTimelineSnapshot snap{{a}, c.segments, c.canvas};
        EXPECT_EQ(snap.singleFullSource(), c.expected) << c.name;
    }
    // The canvas follows the first source even when another one is used.
    const VideoSource b = source(10, 1920, 1080);
    EXPECT_FALSE((VideoTimelineSnapshot{{a, b}, {cut(b, 0, 10, 0)}, std::nullopt}.singleFullSource()));
}

TEST(VideoSegment, JsonRoundTripAndStrictKeys)
{
    const VideoSegment s = cut(source(10), 1.5, 7.25, 3);
    const QJsonObject json = s.toJson();
    EXPECT_EQ(json.keys(), (QStringList{"id", "offset", "sourceEnd", "sourceID", "sourceStart"}));
    EXPECT_EQ(json.value("id").toString().size(), 36);
    EXPECT_EQ(VideoSegment::fromJson(json), s);

    QJsonObject extra = json;
    extra.insert("note", "ignored");
    EXPECT_EQ(VideoSegment::fromJson(extra), s);

    const QList<std::pair<QString, QJsonValue>> broken = {
        {"offset", QJsonValue(QJsonValue::Undefined)}, {"offset", QJsonValue()},
        {"sourceEnd", QJsonValue("7")},                {"id", QJsonValue("not-a-uuid")},
        {"sourceID", QJsonValue(5)},                   {"sourceStart", QJsonValue(true)},
    };
    for (const auto &[key, value] : broken) {
        QJsonObject o = json;
        if (value.isUndefined())
            o.remove(key);
        else
            o.insert(key, value);
        QString error;
        EXPECT_FALSE(VideoSegment::fromJson(o, &error)) << key.toStdString();
        EXPECT_TRUE(error.contains(key)) << error.toStdString();
    }
    EXPECT_FALSE(VideoSegment::fromJson(QJsonValue(QJsonArray{})));
}
