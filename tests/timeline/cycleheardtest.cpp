#include "timeline/cycleheard.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

using routereel::CycleHeard;

// A service whose read position steps a cycle at a time, the sound of each step heard
// two cycles on, answered just after each step and again mid-cycle. Then it stands
// for a cycle (too starved to run) and its sink plays that cycle without this
// stream: every sound after it is heard a cycle later. Back, it first answers what
// was asked meanwhile; what is told heard follows at the first step after.
TEST(CycleHeard, AfterACycleTheSinkLostNothingIsToldAheadOfWhatIsHeard)
{
    constexpr qint64 cycle = 42'666, answer = 700; // a reply made this long after a step
    CycleHeard heard;
    qint64 lost = 0;
    qint64 stamp = 0;
    const auto reply = [&](qint64 read, qint64 at) { heard.place(read, 0, ++stamp, at); };
    qint64 worstAhead = 0, worstBehind = 0;
    for (int k = 1; k <= 80; ++k) {
        const qint64 read = k * cycle;
        if (k == 40) {
            lost = cycle;
            reply(read - cycle, k * cycle + lost - 4'000);
        }
        const qint64 stepAt = k * cycle + lost;
        reply(read, stepAt + answer);
        reply(read, stepAt + cycle / 2);
        for (const qint64 at : {stepAt + answer + 100, stepAt + cycle / 2 + 100, stepAt + cycle - 100}) {
            const auto told = heard.heardUsec(at);
            ASSERT_TRUE(told);
            const qint64 truth = at - 2 * cycle - lost;
            worstAhead = std::max(worstAhead, *told - truth);
            worstBehind = std::max(worstBehind, truth - *told);
        }
    }
    EXPECT_LE(worstAhead, 0) << "told ahead of what the sink played, microseconds";
    EXPECT_LE(worstBehind, answer) << "the best reply no longer places what is heard";
}

// The graph's cycle grows and shrinks while playing, as when another program asks for
// another: 2048 frames, then 8192, 1024 and 4096. At each cycle the sink plays what the
// service handed at the cycle before, as much of it as the cycle holds (on PipeWire's
// service no more of a longer one is heard, as the sink's monitor shows), silence after
// a shorter one. Replies come just after each move and every tick between. Nothing is
// told ahead of what the sink played, and two cycles after each change what is told is
// again within the reply's lateness of it.
TEST(CycleHeard, FollowsTheGraphsCycleAsItGrowsAndShrinks)
{
    constexpr qint64 answer = 700, tick = 20'000;
    const auto usec = [](qint64 frames) { return frames * 1'000'000 / 48'000; };
    std::vector<qint64> cycles;
    for (const auto &[frames, count] : {std::pair{2048, 30}, {8192, 12}, {1024, 60}, {4096, 15}, {2048, 30}})
        cycles.insert(cycles.end(), count, usec(frames));
    CycleHeard heard;
    qint64 stamp = 0, read = 0, at = 0;
    qint64 handedFrom = 0, handed = 0; // at the cycle before: from where, how much
    qint64 worstAhead = 0, worstBehind = 0;
    for (std::size_t k = 0; k < cycles.size(); ++k) {
        const qint64 cycle = cycles[k];
        const qint64 playingFrom = handedFrom, playing = handed;
        handedFrom = read;
        handed = cycle;
        read += cycle;
        const bool settled = k >= 2 && cycles[k - 1] == cycle && cycles[k - 2] == cycle;
        for (qint64 reply = at + answer; reply < at + cycle; reply += tick) {
            heard.place(read, 0, ++stamp, reply);
            const qint64 look = reply + 100;
            const auto told = heard.heardUsec(look);
            const qint64 truth = playingFrom + std::min(playing, look - at);
            if (settled)
                ASSERT_TRUE(told) << "cycle " << k;
            if (!told || k == 0)
                continue;
            worstAhead = std::max(worstAhead, *told - truth);
            if (settled)
                worstBehind = std::max(worstBehind, truth - *told);
        }
        at += cycle;
    }
    EXPECT_LE(worstAhead, 0) << "told ahead of what the sink played, microseconds";
    EXPECT_LE(worstBehind, answer) << "told behind what the sink played two cycles after a change, microseconds";
}
