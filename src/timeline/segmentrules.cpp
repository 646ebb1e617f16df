#include "segmentrules.h"

#include <algorithm>
#include <cmath>

namespace routereel::segmentrules {

std::optional<TrimmedStart> clampedTrimStart(double start, double offset, double end, double duration)
{
    if (!std::isfinite(start) || !std::isfinite(offset) || !std::isfinite(end) || !std::isfinite(duration)
        || duration <= 0 || duration < end)
        return std::nullopt;
    const double lower = std::max(0.0, start - offset);
    const double upper = duration >= minimumLength ? end - minimumLength : end - duration;
    if (upper < lower)
        return std::nullopt;
    const double newStart = std::min(std::max(lower, start), upper);
    return TrimmedStart{newStart, std::max(0.0, newStart - start + offset)};
}

std::optional<double> clampedTrimEnd(double end, double start, double duration)
{
    if (!std::isfinite(end) || !std::isfinite(start) || !std::isfinite(duration) || start < 0 || duration <= 0)
        return std::nullopt;
    const double lower = duration >= minimumLength ? start + minimumLength : start + duration;
    if (duration < lower)
        return std::nullopt;
    return std::min(std::max(lower, end), duration);
}

std::optional<double> splitPoint(double t, double offset, double start, double end)
{
    if (!std::isfinite(t) || !std::isfinite(offset) || !std::isfinite(start) || !std::isfinite(end) || offset < 0
        || start < 0)
        return std::nullopt;
    const double length = end - start;
    if (length < shortestSplittable)
        return std::nullopt;
    if (t < offset + minimumLength || t > offset + length - minimumLength)
        return std::nullopt;
    return std::min(std::max(start + minimumLength, t - offset + start), end - minimumLength);
}

} // namespace routereel::segmentrules
