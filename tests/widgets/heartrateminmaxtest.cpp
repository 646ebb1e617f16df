#include "hrtracks.h"
#include "widgets/heartrateminmaxreducer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace routereel;

TEST(HeartRateMinMax, ReducesEveryStoredHeartRate)
{
    const struct {
        const char *name;
        QList<GPXTrack> tracks;
        std::optional<HeartRateMinMax> expected;
    } cases[] = {
        {"no tracks", {}, std::nullopt},
        {"no rates", {hrTrack({{0, 0}, {1, 0}})}, std::nullopt},
        {"one sample", {hrTrack({{0, 120}})}, HeartRateMinMax{120, 120}},
        {"across tracks", {hrTrack({{0, 130}, {1, 0}, {2, 95}}), hrTrack({{0, 178}, {1, 140}})}, HeartRateMinMax{95, 178}},
        {"no plausibility filter", {hrTrack({{0, 1000}, {1, 1}})}, HeartRateMinMax{1, 1000}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(HeartRateMinMaxReducer::minMax(c.tracks), c.expected) << c.name;
    // Asked again for no tracks, the stored absence comes back.
    EXPECT_EQ(HeartRateMinMaxReducer::minMax({}), std::nullopt);
}

TEST(HeartRateMinMax, SeesChangedCountRevisionAndOrder)
{
    QList<GPXTrack> tracks{hrTrack({{0, 120}, {1, 130}}), hrTrack({{0, 100}})};
    ASSERT_EQ(HeartRateMinMaxReducer::minMax(tracks), (HeartRateMinMax{100, 130}));
    tracks[0].trackPoints[0].heartRate = 80; // same revision and count: the memo answers
    EXPECT_EQ(HeartRateMinMaxReducer::minMax(tracks), (HeartRateMinMax{100, 130}));
    std::swap(tracks[0], tracks[1]); // another order is another key
    EXPECT_EQ(HeartRateMinMaxReducer::minMax(tracks), (HeartRateMinMax{80, 130}));
    tracks[1].trackPoints[0].heartRate = 200;
    tracks[1].revision = QUuid::createUuid();
    EXPECT_EQ(HeartRateMinMaxReducer::minMax(tracks), (HeartRateMinMax{100, 200}));
    tracks[1].trackPoints.removeLast();
    EXPECT_EQ(HeartRateMinMaxReducer::minMax(tracks), (HeartRateMinMax{100, 200}));
    tracks[1].trackPoints.removeLast();
    EXPECT_EQ(HeartRateMinMaxReducer::minMax(tracks), (HeartRateMinMax{100, 100}));
}

TEST(HeartRateMinMax, AgreesUnderManyThreads)
{
    const QList<GPXTrack> a{hrTrack({{0, 120}, {1, 130}})};
    const QList<GPXTrack> b{hrTrack({{0, 60}, {1, 0}, {2, 190}})};
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 16; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 500; ++i) {
                const bool useA = (i + t) % 3 == 0;
                if (HeartRateMinMaxReducer::minMax(useA ? a : b)
                    != (useA ? HeartRateMinMax{120, 130} : HeartRateMinMax{60, 190}))
                    ++wrong;
            }
        });
    }
    for (auto &th : threads)
        th.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST(HeartRateMinMax, Texts)
{
    EXPECT_EQ(HeartRateMinMax::bpmText(142, true), QStringLiteral("\u2665 142 bpm"));
    EXPECT_EQ(HeartRateMinMax::bpmText(142, false), QStringLiteral("142 bpm"));
    EXPECT_EQ(HeartRateMinMax::bpmText(std::nullopt, true), std::nullopt);
    EXPECT_EQ(HeartRateMinMax::bpmText(std::nullopt, false), std::nullopt);
    EXPECT_EQ(HeartRateMinMax::rangeText(HeartRateMinMax{95, 178}), QStringLiteral(" Min: 95 / Max: 178 "));
    EXPECT_EQ(HeartRateMinMax::rangeText(HeartRateMinMax{120, 120}), QStringLiteral(" Min: 120 / Max: 120 "));
    EXPECT_EQ(HeartRateMinMax::rangeText(std::nullopt), std::nullopt);
}
