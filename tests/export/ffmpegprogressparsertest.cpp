#include "export/ffmpegprogressparser.h"

#include <gtest/gtest.h>

using namespace routereel;

TEST(FFmpegProgressParser, LineValues)
{
    struct Case {
        const char *line;
        double duration;
        double fraction;  // negative: no progress
    };
    for (const Case &c : {Case{"out_time_us=5000000", 10, 0.5}, Case{"out_time_us=-5000", 10, 0},
                          Case{"out_time_us=999999999999", 10, 1}, Case{"out_time_us=N/A", 10, -1},
                          Case{"out_time_us=5000000", 0, -1}, Case{"out_time_ms=5000000", 10, -1},
                          Case{"frame=12", 10, -1}, Case{"out_time_us=2500000\r", 10, 0.25}}) {
        EXPECT_DOUBLE_EQ(FFmpegProgressParser::fractionOfLine(c.line, c.duration), c.fraction) << c.line;
    }
}

TEST(FFmpegProgressParser, LinesSplitAcrossReadsAreParsedOnceWhenComplete)
{
    FFmpegProgressParser parser(10);
    EXPECT_TRUE(parser.feed("frame=3\nout_time_us=1").isEmpty());
    EXPECT_TRUE(parser.feed("00000").isEmpty());
    EXPECT_EQ(parser.feed("0\nspeed=1x\nout_time_us=2000000\nout_"), (QList<double>{0.1, 0.2}));
    EXPECT_EQ(parser.feed("time_us=3000000\n"), QList<double>{0.3});
    EXPECT_TRUE(parser.feed("\n\n").isEmpty());
}
