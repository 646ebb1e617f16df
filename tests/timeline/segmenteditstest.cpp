#include "support/timelinefixtures.h"

#include "timeline/segmentrules.h"
#include "timeline/timelineengine.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace routereel;
using testsupport::gpx;

namespace {

template <typename Segment>
QList<double> offsets(const QList<Segment> &lane)
{
    QList<double> out;
    for (const Segment &s : lane)
        out.append(s.offset);
    return out;
}

void expectOffsets(const QList<double> &got, const QList<double> &want)
{
    ASSERT_EQ(got.size(), want.size());
    for (qsizetype i = 0; i < got.size(); ++i)
        EXPECT_NEAR(got[i], want[i], 1e-9) << "segment " << i;
}

} // namespace

TEST(SegmentEdits, ImportPlacesAfterTheSegmentThatEndsLast)
{
    TimelineEngine e;
    e.setSegments({gpx(30, 5), gpx(0, 10)});
    GPXTrack t;
    t.duration = 12;
    e.importGPX(t);
    ASSERT_EQ(e.segments().size(), 3);
    const GPXSegment added = e.segments().last();
    EXPECT_EQ(added.offset, 35);
    EXPECT_EQ(added.trackID, t.id);
    EXPECT_EQ(added.gpxStart, 0);
    EXPECT_EQ(added.gpxEnd, 12);

    VideoSource a = testsupport::source(10);
    VideoSource b = testsupport::source(4);
    e.setVideoSegments({testsupport::cut(a, 0, 10, 20), testsupport::cut(a, 0, 5, 0)});
    e.importVideo(b);
    EXPECT_EQ(e.videoSegments().last().offset, 30);
    EXPECT_EQ(e.videoSegments().last().sourceEnd, 4);
    EXPECT_EQ(e.videoSources().last(), b);
}

TEST(SegmentEdits, MoveClampsAtZero)
{
    TimelineEngine e;
    e.setSegments({gpx(5, 10), gpx(20, 3)});
    const QUuid id = e.segments()[0].id;
    struct Case {
        double to;
        double expected;
    };
    for (const Case &c : QList<Case>{{-4, 0}, {21, 21}, {std::nan(""), 0}, {7.5, 7.5}}) {
        e.moveSegment(id, c.to);
        EXPECT_EQ(e.segments()[0].offset, c.expected) << c.to;
        EXPECT_EQ(e.segments()[1].offset, 20);  // overlaps are allowed, nothing else moves
    }

    VideoSource a = testsupport::source(10);
    e.setVideoSegments({testsupport::cut(a, 0, 5, 4)});
    const QUuid v = e.videoSegments()[0].id;
    const int steps = e.undoStack()->count();
    e.moveVideoSegment(v, -3);
    EXPECT_EQ(e.videoSegments()[0].offset, 0);
    EXPECT_EQ(e.undoStack()->count(), steps + 1);
    EXPECT_EQ(e.undoStack()->undoText(), "Move");
}

TEST(SegmentEdits, SnapClosesTheGapToThePredecessorAndRipples)
{
    struct Case {
        const char *name;
        QList<GPXSegment> lane;
        int snapped;
        QList<double> expected;  // offsets afterwards; empty: nothing changes, no step
    };
    const QList<Case> cases = {
        {"gap", {gpx(0, 10), gpx(12.3, 5), gpx(20, 2), gpx(12.29, 1), gpx(1, 2)}, 1, {0, 10, 17.7, 9.99, 1}},
        {"abutting within tolerance", {gpx(0, 12.295), gpx(12.3, 5)}, 1, {}},
        {"earliest goes to zero", {gpx(4, 2), gpx(7, 1), gpx(9, 3)}, 0, {0, 3, 5}},
        {"overlap pushes right", {gpx(2, 6), gpx(5, 1), gpx(9, 1)}, 1, {2, 8, 12}},
        {"never onto a longer earlier segment", {gpx(0, 10), gpx(2, 3), gpx(12.3, 1)}, 2, {0, 2, 10}},
        {"ripple clamps at zero", {gpx(0, 1), gpx(5, 1), gpx(4.995, 1)}, 1, {0, 1, 0.995}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TimelineEngine e;
        e.setSegments(c.lane);
        e.snapSegment(c.lane[c.snapped].id);
        if (c.expected.isEmpty()) {
            EXPECT_EQ(e.segments(), c.lane);
            EXPECT_EQ(e.undoStack()->count(), 0);
        } else {
            expectOffsets(offsets(e.segments()), c.expected);
            EXPECT_EQ(e.undoStack()->undoText(), "Snap");
        }

        // The video lane follows the same rule, and neither lane moves the other.
        VideoSource src = testsupport::source(1000);
        QList<VideoSegment> video;
        for (const GPXSegment &s : c.lane)
            video.append(testsupport::cut(src, 10, 10 + s.gpxEnd - s.gpxStart, s.offset));
        TimelineEngine v;
        v.setVideoSegments(video);
        v.setSegments(c.lane);
        v.snapVideoSegment(video[c.snapped].id);
        expectOffsets(offsets(v.videoSegments()), c.expected.isEmpty() ? offsets(c.lane) : c.expected);
        EXPECT_EQ(v.segments(), c.lane);
        e.setVideoSegments(video);
        e.snapSegment(e.segments()[c.snapped].id);
        EXPECT_EQ(e.videoSegments(), video);
    }
}

TEST(SegmentEdits, TrimRules)
{
    using namespace segmentrules;
    struct Start {
        double start, offset, end, duration;
        std::optional<std::pair<double, double>> expected;
    };
    const QList<Start> starts = {
        {-20, -10, 60, 60, std::pair{0.0, 10.0}},  // drag left from (0, 10): stops at the track start
        {70, 80, 60, 60, std::pair{59.0, 69.0}},   // drag right: 1 s remains
        {10, -15, 60, 60, std::pair{25.0, 0.0}},   // from (30, 5) by -20: stops where the offset reaches 0
        {0, 0, 0.5, 0.5, std::pair{0.0, 0.0}},     // a track shorter than 1 s stays whole
        {0, 0, 60, 50, std::nullopt},              // end beyond the duration
        {0, 0, 60, 0, std::nullopt},
        {NAN, 0, 60, 60, std::nullopt},
    };
    for (const Start &c : starts) {
        const auto got = clampedTrimStart(c.start, c.offset, c.end, c.duration);
        ASSERT_EQ(got.has_value(), c.expected.has_value()) << c.start;
        if (got) {
            EXPECT_DOUBLE_EQ(got->start, c.expected->first);
            EXPECT_DOUBLE_EQ(got->offset, c.expected->second);
        }
    }
    struct End {
        double end, start, duration;
        std::optional<double> expected;
    };
    const QList<End> ends = {
        {5, 10, 60, 11}, {80, 10, 60, 60}, {30, 10, 60, 30}, {0.1, 0, 0.5, 0.5},
        {5, -1, 60, std::nullopt}, {5, 59.5, 60, std::nullopt}, {5, 0, 0, std::nullopt},
    };
    for (const End &c : ends)
        EXPECT_EQ(clampedTrimEnd(c.end, c.start, c.duration), c.expected) << c.end << " " << c.start;
}

TEST(SegmentEdits, VideoTrimsClampToTheSource)
{
    TimelineEngine e;
    VideoSource src = testsupport::source(10);
    e.setVideoSources({src});
    e.setVideoSegments({testsupport::cut(src, 2, 8, 3)});
    const QUuid v = e.videoSegments()[0].id;
    e.trimVideoSegmentStart(v, 9.5, 10.5);
    EXPECT_EQ(e.videoSegments()[0].sourceStart, 7);
    EXPECT_EQ(e.videoSegments()[0].offset, 8);
    e.trimVideoSegmentEnd(v, 14);
    EXPECT_EQ(e.videoSegments()[0].sourceEnd, 10);
    e.trimVideoSegmentEnd(v, 0);
    EXPECT_EQ(e.videoSegments()[0].sourceEnd, 8);

    const int steps = e.undoStack()->count();
    e.setVideoSources({});  // a segment whose source is gone cannot be trimmed
    e.trimVideoSegmentEnd(v, 9);
    e.trimVideoSegmentStart(v, 7.5, 8.5);
    EXPECT_EQ(e.videoSegments()[0].sourceEnd, 8);
    EXPECT_EQ(e.undoStack()->count(), steps);
}

TEST(SegmentEdits, SplitAtThePlayhead)
{
    using segmentrules::splitPoint;
    struct Case {
        double t, offset, start, end;
        std::optional<double> cut;
    };
    const QList<Case> cases = {
        {1, 0, 0, 1.9, std::nullopt}, {1, 0, 0, 2, 1.0},    {0.99, 0, 0, 2, std::nullopt},
        {6, 5, 0, 30, 1.0},           {34, 5, 0, 30, 29.0}, {34.01, 5, 0, 30, std::nullopt},
        {20, 5, 10, 40, 25.0},        {20, -1, 0, 30, std::nullopt}, {NAN, 0, 0, 30, std::nullopt},
    };
    for (const Case &c : cases)
        EXPECT_EQ(splitPoint(c.t, c.offset, c.start, c.end), c.cut) << c.t << " " << c.offset;

    TimelineEngine e;
    VideoSource src = testsupport::source(30);
    e.setVideoSources({src});
    e.setVideoSegments({testsupport::cut(src, 0, 2, 40), testsupport::cut(src, 0, 30, 5)});
    const VideoSegment old = e.videoSegments()[1];
    e.setSegments({gpx(0, 10)});
    e.setSelectedVideoId(old.id);
    EXPECT_TRUE(e.canSplit(20));
    EXPECT_FALSE(e.canSplit(34.5));
    e.splitAtPlayhead(20);
    ASSERT_EQ(e.videoSegments().size(), 3);
    const VideoSegment left = e.videoSegments()[1];
    const VideoSegment right = e.videoSegments()[2];
    EXPECT_EQ(std::tuple(left.sourceStart, left.sourceEnd, left.offset), std::tuple(0.0, 15.0, 5.0));
    EXPECT_EQ(std::tuple(right.sourceStart, right.sourceEnd, right.offset), std::tuple(15.0, 30.0, 20.0));
    EXPECT_NE(left.id, old.id);
    EXPECT_NE(right.id, old.id);
    EXPECT_EQ(e.selectedVideoId(), right.id);
    EXPECT_TRUE(e.selectedId().isNull());
    EXPECT_EQ(e.segments().size(), 1);

    const GPXSegment g = e.segments()[0];
    e.setSelectedId(g.id);
    EXPECT_FALSE(e.canSplit(9.5));
    e.splitAtPlayhead(9.5);
    EXPECT_EQ(e.segments().size(), 1);
    e.splitAtPlayhead(4);
    ASSERT_EQ(e.segments().size(), 2);
    EXPECT_EQ(e.segments()[0].gpxEnd, 4);
    EXPECT_EQ(e.segments()[1].gpxStart, 4);
    EXPECT_EQ(e.segments()[1].offset, 4);
    EXPECT_EQ(e.selectedId(), e.segments()[1].id);
    EXPECT_NE(e.segments()[0].id, g.id);
    EXPECT_EQ(e.videoSegments().size(), 3);

    e.setSelectedId({});
    EXPECT_FALSE(e.canSplit(4));
}

TEST(SegmentEdits, DeleteAndAlign)
{
    TimelineEngine e;
    VideoSource src = testsupport::source(30);
    e.setVideoSources({src});
    e.setVideoSegments({testsupport::cut(src, 0, 5, 3), testsupport::cut(src, 5, 9, 8)});
    e.setSegments({gpx(0, 10), gpx(12, 3)});
    EXPECT_TRUE(e.canAlignToZero());
    e.alignToZero();
    expectOffsets(offsets(e.videoSegments()), {0, 5});
    expectOffsets(offsets(e.segments()), {0, 12});
    EXPECT_EQ(e.undoStack()->undoText(), "Align Tracks to Zero");
    EXPECT_FALSE(e.canAlignToZero());

    e.setSegments({gpx(2, 10), gpx(12, 3)});
    e.alignToZero();
    expectOffsets(offsets(e.segments()), {0, 10});
    expectOffsets(offsets(e.videoSegments()), {0, 5});

    e.setSelectedVideoId(e.videoSegments()[0].id);
    e.deleteSelected();
    EXPECT_EQ(e.videoSegments().size(), 1);
    EXPECT_EQ(e.videoSources().size(), 1);  // the file stays imported
    EXPECT_TRUE(e.selectedVideoId().isNull());
    EXPECT_EQ(e.undoStack()->undoText(), "Delete");

    const QUuid other = e.segments()[1].id;
    e.setSelectedId(e.segments()[0].id);
    e.deleteSegment(other);
    EXPECT_FALSE(e.selectedId().isNull());
    e.deleteSelected();
    EXPECT_TRUE(e.segments().isEmpty());
    EXPECT_TRUE(e.selectedId().isNull());
    e.undoStack()->undo();
    EXPECT_EQ(e.segments().size(), 1);
    EXPECT_FALSE(e.selectedId().isNull());
}
