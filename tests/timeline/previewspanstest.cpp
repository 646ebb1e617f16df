#include "support/timelinefixtures.h"

#include "timeline/previewcomposition.h"
#include "timeline/previewspans.h"

#include <gtest/gtest.h>

using namespace routereel;

namespace {

ClipTracks tracksOf(const QUrl &)
{
    ClipTracks t;
    t.hasVideo = true;
    t.naturalSize = QSizeF(1920, 1080);
    return t;
}

} // namespace

// Pieces whose cut times were summed from others meet a hair apart: the export has no
// frame instant in such a gap, so the preview shows no black there either, but the
// picture before; a gap that holds a frame instant stays black. Each piece shows its
// own source range and rests on its last picture past it.
TEST(PreviewSpans, AGapWithoutAFrameInstantShowsThePictureBeforeIt)
{
    const VideoSource a = testsupport::source(10);
    const VideoSource b = testsupport::source(10, 1920, 1080, true, QStringLiteral("/clips/b.mov"));
    struct Case {
        const char *what;
        QList<VideoSegment> segments;
        int spans;           // spans the plan becomes
        bool black;          // one of them is black
    } cases[] = {
        {"the issue's hair, 0.3 µs",
         {testsupport::cut(a, 0.384215, 3.185451618828113, 0),
          testsupport::cut(a, 2.2749845982686403, 3.723900659721859, 2.8012369358096914)},
         2, false},
        {"under a frame, over an instant", {testsupport::cut(a, 0, 0.99, 0), testsupport::cut(b, 0, 1, 1.02)}, 3, true},
        {"under a frame, ending a hair before an instant",
         {testsupport::cut(a, 0, 0.99, 0), testsupport::cut(b, 0, 1, 0.9999999)}, 2, false},
        {"a real gap", {testsupport::cut(a, 0, 1, 0), testsupport::cut(b, 0, 1, 1.5)}, 3, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        VideoTimelineSnapshot s;
        s.sources = {a, b};
        s.segments = c.segments;
        const auto plan = PreviewComposition::makePlan(s, &tracksOf);
        ASSERT_TRUE(plan);
        const std::vector<PreviewSpan> spans = previewSpans(*plan);
        ASSERT_EQ(int(spans.size()), c.spans);
        bool black = false;
        for (size_t i = 0; i < spans.size(); ++i) {
            black |= spans[i].isGap();
            if (i > 0)
                EXPECT_DOUBLE_EQ(spans[i].start, spans[i - 1].end); // no hole between them
        }
        EXPECT_EQ(black, c.black);
        const PreviewSpan &first = spans.front();
        const VideoSegment &cut = c.segments.front();
        EXPECT_NEAR(first.sourceAt(first.start), cut.sourceStart, 1e-9);
        // Past its own range (over a hair, or asked past its end) it shows its last picture.
        const double last = cut.sourceEnd - 1e-6;
        EXPECT_NEAR(first.sourceAt(first.end), last, 1e-8);
        EXPECT_NEAR(first.sourceAt(first.end + 5), last, 1e-8);
        EXPECT_EQ(spanAt(spans, spans.back().end + 1), int(spans.size()) - 1);
    }
}
