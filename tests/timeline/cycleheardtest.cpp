#include "timeline/cycleheard.h"

#include <gtest/gtest.h>

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
