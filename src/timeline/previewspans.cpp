#include "previewspans.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace routereel {

namespace {

// How far before its end a piece's last instant lies: within a picture that starts
// in the piece's last microsecond, which is on screen there however briefly.
constexpr double lastInstantBeforeEnd = 1e-6;

// Whether [from, to) holds an instant k * frame.
bool holdsFrameInstant(double from, double to, double frame)
{
    if (frame <= 0)
        return to > from;
    const double k = std::ceil(from / frame - 1e-9);
    return k * frame < to - 1e-12;
}

} // namespace

double PreviewSpan::sourceAt(double t) const
{
    return sourceStart + std::clamp(t - start, 0.0, lastInstant);
}

std::vector<PreviewSpan> previewSpans(const PreviewPlan &plan)
{
    std::vector<PreviewSpan> spans;
    if (plan.isDirect()) {
        const double end = plan.directDuration > 0 ? plan.directDuration : std::numeric_limits<double>::infinity();
        spans.push_back({0, end, plan.directUrl, 0, std::max(0.0, end - lastInstantBeforeEnd), {}, std::nullopt});
        return spans;
    }
    const double frame = compositionSeconds(plan.frameDuration);
    const auto black = [&](double from, double to) {
        if (to <= from)
            return;
        if (!spans.empty() && (spans.back().isGap() || !holdsFrameInstant(from, to, frame)))
            spans.back().end = to; // black goes on, or a picture stays up over a hair
        else
            spans.push_back({from, to, {}, 0, 0, {}, std::nullopt});
    };
    double cursor = 0;
    for (const PreviewPiece &p : plan.pieces) {
        const PreviewSeconds exact = p.seconds.value_or(PreviewSeconds{
            compositionSeconds(p.start), compositionSeconds(p.end()), compositionSeconds(p.sourceStart)});
        // Abutting slices meet exactly; their sums of seconds may not.
        const double start = exact.start > cursor + 1e-9 ? exact.start : cursor;
        const double stop = std::max(start, exact.end);
        black(cursor, start);
        if (p.isGap())
            black(start, stop);
        else
            spans.push_back({start, stop, p.url, exact.sourceStart + (start - exact.start),
                             std::max(0.0, stop - start - lastInstantBeforeEnd), p.naturalSize, p.fit});
        cursor = std::max(cursor, stop);
    }
    return spans;
}

int spanAt(const std::vector<PreviewSpan> &spans, double t)
{
    for (int i = 0; i < int(spans.size()); ++i) {
        if (t < spans[i].end)
            return i;
    }
    return int(spans.size()) - 1;
}

} // namespace routereel
