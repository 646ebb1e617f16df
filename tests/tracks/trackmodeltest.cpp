#include "tracks/gpxtrack.h"
#include "tracks/maptrackdata.h"
#include "tracks/trackpoint.h"

#include "support/trackfixtures.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace routereel;
using testsupport::trackPoint;

namespace {

GPXTrack trackOf(int n, QList<int> starts = {})
{
    GPXTrack t;
    for (int i = 0; i < n; ++i)
        t.trackPoints.append(trackPoint(i, i, i, starts.contains(i)));
    return t;
}

} // namespace

TEST(TrackModel, SmoothingWindowStopsAtSegmentStarts)
{
    const GPXTrack t = trackOf(10, {0, 5});
    const QList<TrackPoint> out = TrackPoint::smoothed(t.trackPoints, 5);
    ASSERT_EQ(out.size(), 10);
    EXPECT_DOUBLE_EQ(out[4].lat, (2 + 3 + 4) / 3.0);  // points 2..4
    EXPECT_DOUBLE_EQ(out[5].lat, (5 + 6 + 7) / 3.0);  // points 5..7
    EXPECT_DOUBLE_EQ(out[2].lat, 2.0);                // 0..4, centred
    EXPECT_DOUBLE_EQ(out[0].lat, 1.0);                // 0..2: cut, not shifted
    for (int i = 0; i < 10; ++i) {
        EXPECT_NE(out[i].id, t.trackPoints[i].id);
        EXPECT_EQ(out[i].time, t.trackPoints[i].time);
        EXPECT_EQ(out[i].startsSegment, t.trackPoints[i].startsSegment);
    }

    // Fewer points than the window: the very same points come back.
    const GPXTrack shortTrack = trackOf(4);
    const QList<TrackPoint> kept = TrackPoint::smoothed(shortTrack.trackPoints, 5);
    ASSERT_EQ(kept.size(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(kept[i].id, shortTrack.trackPoints[i].id);
}

TEST(TrackModel, SmoothingAveragesAcrossTheDateLine)
{
    QList<TrackPoint> pts;
    for (int i = 0; i < 6; ++i)
        pts.append(trackPoint(0, i % 2 ? -179.9 : 179.9, i));
    const QList<TrackPoint> out = TrackPoint::smoothed(pts, 5);
    // Point 3 (-179.9) averages -179.9 three times and 179.9 (= -180.1) twice.
    EXPECT_NEAR(out[3].lng, -179.98, 1e-9);
    // Point 2 (179.9): 179.9 three times, -179.9 (= 180.1) twice -> 179.98.
    EXPECT_NEAR(out[2].lng, 179.98, 1e-9);
    for (const TrackPoint &p : out)
        EXPECT_GT(std::abs(p.lng), 179.0) << p.lng;

    const QList<TrackPoint> two = TrackPoint::smoothed({trackPoint(0, 179.9, 0), trackPoint(0, -179.9, 1)}, 2);
    EXPECT_DOUBLE_EQ(two[0].lng, -180.0);
}

TEST(TrackModel, SmoothingElevationUsesOnlyPointsThatHaveOne)
{
    QList<TrackPoint> pts;
    for (int i = 0; i < 6; ++i)
        pts.append(trackPoint(0, 0, i));
    pts[1].ele = 100;
    const QList<TrackPoint> out = TrackPoint::smoothed(pts, 5);
    EXPECT_EQ(out[0].ele, 100.0);
    EXPECT_EQ(out[3].ele, 100.0);
    EXPECT_FALSE(out[4].ele.has_value());  // window 2..5 holds no elevation
}

TEST(TrackModel, HaversineDistance)
{
    const TrackPoint a = trackPoint(0, 0, 0);
    EXPECT_EQ(haversineDistance(a, a), 0.0);
    EXPECT_NEAR(haversineDistance(a, trackPoint(0, 1, 0)), 111195, 1);
    EXPECT_NEAR(haversineDistance(trackPoint(0, 179.5, 0), trackPoint(0, -179.5, 0)), 111195, 1);
    EXPECT_EQ(haversineDistance(a, trackPoint(NAN, 0, 0)), 0.0);
}

TEST(TrackModel, MapTrackDataBreaks)
{
    GPXTrack third = trackOf(2, {1});
    const MapTrackData data = MapTrackData::build({trackOf(3), trackOf(0), third});
    EXPECT_EQ(data.points.size(), 5);
    EXPECT_EQ(data.breaks, (QList<int>{0, 3, 4}));
    EXPECT_TRUE(MapTrackData::build({}).points.isEmpty());
    EXPECT_NE(MapTrackData::build({}).revision, MapTrackData::build({}).revision);
}

TEST(TrackModel, PointEqualityIgnoresTheId)
{
    TrackPoint a = trackPoint(1, 2, 3, true);
    a.heartRate = 120;
    TrackPoint b = a;
    b.id = QUuid::createUuid();
    EXPECT_EQ(a, b);
    b.heartRate.reset();
    EXPECT_FALSE(a == b);
}

TEST(TrackModel, PaletteLookup)
{
    GPXTrack t;
    t.colorIndex = 9;
    EXPECT_EQ(trackColor({t}, t.id), GPXTrack::palette()[1]);
    EXPECT_EQ(trackColor({t}, QUuid::createUuid()), GPXTrack::palette()[0]);
}
