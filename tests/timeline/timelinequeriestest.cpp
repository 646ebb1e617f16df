#include "timeline/timelineengine.h"
#include "timeline/trackinterpolation.h"

#include "support/trackfixtures.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace routereel;
using namespace routereel::trackinterpolation;
using testsupport::segmentOf;

namespace {

constexpr Instant base = 1'700'000'000;

TrackPoint fix(double seconds, double lat, double lng, bool starts = false)
{
    return testsupport::trackPoint(lat, lng, base + seconds, starts);
}

// Fixes every second from 0 to n - 1 s, latitude = the second, longitude 0.
GPXTrack straightTrack(int n)
{
    GPXTrack t;
    for (int i = 0; i < n; ++i)
        t.trackPoints.append(fix(i, i, 0));
    t.duration = n - 1;
    return t;
}

} // namespace

TEST(TimelineQueries, PositionThroughSegmentsGapsAndHolds)
{
    const GPXTrack a = straightTrack(100);  // index i at local time i
    const GPXTrack b = straightTrack(50);
    GPXTrack empty;
    struct Case {
        const char *name;
        QList<GPXSegment> segments;
        double t;
        std::optional<TrackPosition> expected;
    };
    const QList<Case> cases = {
        {"start of a segment", {segmentOf(a, 10, 20, 5)}, 5, TrackPosition{a.id, 10}},
        {"inside, between fixes: the later fix", {segmentOf(a, 10, 20, 5)}, 7.2, TrackPosition{a.id, 13}},
        {"end is held", {segmentOf(a, 10, 20, 5)}, 15, TrackPosition{a.id, 20}},
        {"after the end", {segmentOf(a, 10, 20, 5)}, 500, TrackPosition{a.id, 20}},
        {"before every segment: the first track", {segmentOf(b, 0, 10, 5)}, 1, TrackPosition{a.id, 0}},
        {"abutting: the later segment", {segmentOf(a, 0, 10, 0), segmentOf(b, 30, 40, 10)}, 10,
         TrackPosition{b.id, 30}},
        {"overlap: first stored wins", {segmentOf(b, 0, 10, 5), segmentOf(a, 0, 30, 0)}, 7,
         TrackPosition{b.id, 2}},
        {"gap: latest end at or before t", {segmentOf(a, 0, 10, 0), segmentOf(b, 0, 3, 4), segmentOf(a, 50, 60, 30)},
         20, TrackPosition{a.id, 10}},
        {"equal ends: first stored", {segmentOf(b, 0, 5, 5), segmentOf(a, 0, 10, 0)}, 12, TrackPosition{b.id, 5}},
        {"missing track is passed over", {segmentOf(GPXTrack(), 0, 10, 0), segmentOf(b, 0, 10, 0)}, 3,
         TrackPosition{b.id, 3}},
        {"held segment without a track falls back", {segmentOf(b, 0, 10, 0), segmentOf(GPXTrack(), 0, 10, 5)},
         20, TrackPosition{a.id, 0}},
        {"no segments", {}, 3, std::nullopt},
    };
    for (const Case &c : cases) {
        TimelineEngine e;
        e.setSegments(c.segments);
        EXPECT_EQ(e.trackPosition({a, b, empty}, c.t), c.expected) << c.name;
    }
    TimelineEngine e;
    e.setSegments({segmentOf(a, 0, 10, 0)});
    EXPECT_EQ(e.trackPosition({}, 3), std::nullopt);
    EXPECT_EQ(e.trackPosition({empty}, 3), (TrackPosition{empty.id, 0}));
    EXPECT_EQ(e.coordinate({empty}, 3), std::nullopt);
}

TEST(TimelineQueries, CoordinateInterpolation)
{
    struct Case {
        const char *name;
        QList<TrackPoint> points;
        double s;
        LatLng expected;
    };
    const QList<Case> cases = {
        {"20 % between fixes", {fix(0, 0, 0), fix(10, 1, 1), fix(11, 2, 11)}, 10.2, {1.2, 3}},
        {"before the first fix", {fix(0, 5, 6), fix(1, 7, 8)}, -3, {5, 6}},
        {"after the last fix", {fix(0, 5, 6), fix(1, 7, 8)}, 9, {7, 8}},
        {"equal last times give the second to last", {fix(0, 5, 6), fix(1, 7, 8), fix(1, 9, 9)}, 9, {7, 8}},
        {"single fix", {fix(0, 5, 6)}, 9, {5, 6}},
        {"held before a break", {fix(0, 0, 0), fix(10, 1, 1), fix(20, 5, 5, true)}, 15, {1, 1}},
        {"resumes at the break", {fix(0, 0, 0), fix(10, 1, 1), fix(20, 5, 5, true), fix(30, 6, 6)}, 25,
         {5.5, 5.5}},
        {"date line halfway", {fix(0, 0, 179), fix(4, 0, -179)}, 2, {0, -180}},
        {"date line quarter", {fix(0, 0, 179), fix(4, 0, -179)}, 1, {0, 179.5}},
        {"date line westward", {fix(0, 0, -179), fix(4, 0, 179)}, 3, {0, 179.5}},
    };
    for (const Case &c : cases) {
        // Instants near 1.7e9 s carry about 2e-7 s of resolution.
        const LatLng got = interpolateCoordinate(c.points, base, c.s);
        EXPECT_NEAR(got.lat, c.expected.lat, 1e-6) << c.name;
        EXPECT_NEAR(got.lng, c.expected.lng, 1e-6) << c.name;
    }
    EXPECT_EQ(wrapDegrees(NAN), 0);
    EXPECT_EQ(wrapDegrees(180), -180);
    EXPECT_EQ(wrapDegrees(-540), -180);
}

TEST(TimelineQueries, HeadingOverOnePointFiveSeconds)
{
    GPXTrack east;
    for (int i = 0; i <= 20; ++i)
        east.trackPoints.append(fix(i, 0, i * 0.001));
    GPXTrack north = straightTrack(20);
    GPXTrack still;
    still.trackPoints = {fix(0, 3, 3), fix(10, 3, 3)};
    struct Case {
        const GPXTrack *track;
        double t;
        double heading;
    };
    for (const Case &c : QList<Case>{{&east, 5, 90}, {&north, 5, 0}, {&still, 5, 0}, {&east, 0.2, 90}}) {
        TimelineEngine e;
        e.setSegments({segmentOf(*c.track, 0, 10, 0)});
        const auto h = e.heading({*c.track}, c.t);
        ASSERT_TRUE(h);
        EXPECT_NEAR(h->degrees, c.heading, 1e-6);
        EXPECT_EQ(LatLng(h->lat, h->lng), *e.coordinate({*c.track}, c.t));
    }
    EXPECT_NEAR(initialBearing(0, 0, -1, 0), 180, 1e-9);
    EXPECT_NEAR(initialBearing(0, 0, 0, -1), 270, 1e-9);
    EXPECT_EQ(initialBearing(10, 10, 10, 10), 0);
    TimelineEngine none;
    EXPECT_FALSE(none.heading({north}, 3));
}

TEST(TimelineQueries, EffectiveTracksAndPoints)
{
    GPXTrack a = straightTrack(30);
    a.trackPoints[15].startsSegment = true;
    a.fileName = "ride.gpx";
    a.colorIndex = 3;
    GPXTrack b;
    b.trackPoints = {fix(0, 0, 0), fix(5, 1, 1), fix(5, 2, 2), fix(5, 3, 3), fix(9, 4, 4)};
    TimelineEngine e;
    e.setSegments({
        segmentOf(a, 20, 25, 100),   // third in offset order
        segmentOf(a, 2, 18, 0),      // first, with the polyline break at 15
        segmentOf(b, 1, 5, 50),      // only the first of the three fixes at 5 s
        segmentOf(a, 10.2, 10.8, 60), // no fix inside: skipped
        segmentOf(GPXTrack(), 0, 10, 70),
    });
    const QList<GPXTrack> tracks = e.effectiveTracks({a, b});
    ASSERT_EQ(tracks.size(), 3);
    EXPECT_EQ(tracks[0].id, a.id);
    EXPECT_EQ(tracks[1].id, b.id);
    EXPECT_EQ(tracks[2].id, a.id);
    EXPECT_NE(tracks[0].revision, tracks[2].revision);
    EXPECT_EQ(tracks[0].fileName, "ride.gpx");
    EXPECT_EQ(tracks[0].colorIndex, 3);
    EXPECT_EQ(tracks[0].trackPoints.size(), 17);
    EXPECT_EQ(tracks[0].startTime, base + 2);
    EXPECT_EQ(tracks[0].endTime, base + 18);
    EXPECT_EQ(tracks[0].duration, 16);
    ASSERT_EQ(tracks[1].trackPoints.size(), 1);
    EXPECT_EQ(tracks[1].trackPoints[0].lat, 1);
    EXPECT_EQ(tracks[2].trackPoints.size(), 6);

    const auto points = e.effectiveTrackPoints({a, b});
    EXPECT_EQ(points.points.size(), 17 + 1 + 6);
    EXPECT_EQ(points.breaks, (QList<int>{0, 13, 17, 18}));
    EXPECT_EQ(points.points[13].lat, 15);

    // Cached until the segments or a track's revision or size change.
    EXPECT_EQ(e.effectiveTrackPoints({a, b}).revision, points.revision);
    EXPECT_EQ(e.effectiveTracks({a, b})[0].revision, tracks[0].revision);
    GPXTrack reloaded = a;
    reloaded.revision = QUuid::createUuid();
    EXPECT_NE(e.effectiveTrackPoints({reloaded, b}).revision, points.revision);
    const QUuid again = e.effectiveTrackPoints({a, b}).revision;
    EXPECT_NE(again, points.revision);
    QList<GPXSegment> moved = e.segments();
    moved[2].gpxEnd = 4;
    e.setSegments(moved);
    const auto after = e.effectiveTrackPoints({a, b});
    EXPECT_NE(after.revision, again);
    EXPECT_EQ(after.points.size(), 17 + 6);
    EXPECT_TRUE(e.effectiveTracks({}).isEmpty());
}
