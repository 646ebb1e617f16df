#include "timeline/playheadvalues.h"

#include "support/trackfixtures.h"

#include <gtest/gtest.h>

using namespace routereel;
using testsupport::segmentOf;
using testsupport::trackPoint;

namespace {

constexpr Instant base = 1'700'000'000;

// Fixes 0.001° of latitude apart (about 111 m) at the given seconds.
GPXTrack track(std::initializer_list<double> seconds)
{
    GPXTrack t;
    double lat = 0;
    for (double s : seconds) {
        t.trackPoints.append(trackPoint(lat, 0, base + s));
        lat += 0.001;
    }
    t.duration = t.trackPoints.last().time - t.trackPoints.first().time;
    return t;
}

} // namespace

TEST(PlayheadValues, SpeedTimeAndHeartRateOfTheFixAtThePlayhead)
{
    GPXTrack a = track({0, 1, 2, 4, 5, 5});  // the last two fixes share a time stamp
    a.trackPoints[3].startsSegment = true;
    for (int i : {0, 1, 3, 5})
        a.trackPoints[i].heartRate = 120 + i;
    const GPXTrack other = track({0, 1, 2});
    TimelineEngine engine;
    engine.setSegments({segmentOf(a, 0, 6, 10)});
    const double step = haversineDistance(a.trackPoints[0], a.trackPoints[1]);
    ASSERT_GT(step, 100);

    const struct {
        double t;
        int index;
        double speed;
        std::optional<int> heartRate;
    } cases[] = {
        {10, 0, 0, 120},       // first fix: nothing before it
        {10.4, 1, step, 121},  // between fixes: the later one, over the second before
        {11.5, 2, step, {}},   // no heart rate here, though both neighbours have one
        {12.5, 3, 0, 123},     // starts a new polyline
        {14.5, 4, step, {}},
        {15.5, 5, 0, 125},     // no time passed since the fix before
    };
    for (const auto &c : cases) {
        const PlayheadValues v = playheadValues(engine, {other, a}, c.t);
        ASSERT_TRUE(v.position) << c.t;
        EXPECT_EQ(v.position->index, c.index) << c.t;
        EXPECT_EQ(v.flattenedIndex, 3 + c.index) << c.t;
        EXPECT_NEAR(v.speed, c.speed, 1e-9) << c.t;
        EXPECT_EQ(v.time, a.trackPoints[c.index].time) << c.t;
        EXPECT_EQ(v.heartRate, c.heartRate) << c.t;
    }
}

TEST(PlayheadValues, NothingWithoutTracksOrSegments)
{
    const GPXTrack a = track({0, 1, 2});
    TimelineEngine engine;
    for (const auto &tracks : {QList<GPXTrack>{}, QList<GPXTrack>{a}}) {
        const PlayheadValues v = playheadValues(engine, tracks, 1);
        EXPECT_FALSE(v.position || v.heading || v.time || v.heartRate);
        EXPECT_EQ(v.speed, 0);
        EXPECT_EQ(v.flattenedIndex, 0);
        EXPECT_EQ(v.mapRotation(true), 0);
    }
    engine.setSegments({segmentOf(a, 0, 2, 0)});
    const PlayheadValues v = playheadValues(engine, {a}, 1.5);
    ASSERT_TRUE(v.heading);
    EXPECT_NEAR(v.mapRotation(true), 0, 1e-9);  // due north
    const PlayheadValues east = [&] {
        GPXTrack e = a;
        for (int i = 0; i < e.trackPoints.size(); ++i)
            e.trackPoints[i].lng = e.trackPoints[i].lat, e.trackPoints[i].lat = 0;
        engine.setSegments({segmentOf(e, 0, 2, 0)});
        return playheadValues(engine, {e}, 1.5);
    }();
    EXPECT_NEAR(east.mapRotation(true), 90, 1e-6);
    EXPECT_EQ(east.mapRotation(false), 0);
    EXPECT_EQ(flattenedPointIndex(TrackPosition{QUuid::createUuid(), 2}, {a}), 0);
}
