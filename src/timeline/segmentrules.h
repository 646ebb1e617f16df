#pragma once

#include <optional>

namespace routereel::segmentrules {

// Shared by the GPX and video lanes.
inline constexpr double minimumLength = 1.0;     // trims keep at least this; a split leaves this on each side
inline constexpr double shortestSplittable = 2.0;
inline constexpr double snapTolerance = 0.01;    // a gap or overlap this small counts as abutting

struct TrimmedStart {
    double start;
    double offset;
};

// Moves a segment's start while its right edge stays put on the timeline:
// start - offset is kept as proposed, the offset never goes below 0 and at
// least minimumLength (or the whole source, when shorter) remains.
std::optional<TrimmedStart> clampedTrimStart(double start, double offset, double end, double duration);

// The new end for a proposed one: at least minimumLength after `start`, at most `duration`.
std::optional<double> clampedTrimEnd(double end, double start, double duration);

// Where in source time a segment [start, end) placed at `offset` is cut at
// timeline time `t`; nothing when either half would be shorter than minimumLength.
std::optional<double> splitPoint(double t, double offset, double start, double end);

} // namespace routereel::segmentrules
