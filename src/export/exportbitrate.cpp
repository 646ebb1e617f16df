#include "exportbitrate.h"

#include <algorithm>
#include <cmath>

namespace routereel {

namespace {

std::int64_t regularFloor(double shortSide)
{
    if (shortSide >= 2160)
        return 40'000'000;
    if (shortSide >= 1440)
        return 18'000'000;
    if (shortSide >= 1080)
        return 9'000'000;
    if (shortSide >= 720)
        return 5'000'000;
    if (shortSide >= 480)
        return 2'500'000;
    return 1'500'000;
}

} // namespace

std::int64_t targetBitRate(CompositionMode mode, double width, double height, double sourceBitRate,
                           double outputScale, double compressionFactor)
{
    const double s = std::min(width, height) * outputScale;
    std::int64_t rate = 0;
    if (mode == CompositionMode::overlay) {
        rate = s >= 2160 ? 8'000'000 : s >= 1080 ? 3'000'000 : 1'500'000;
    } else {
        const std::int64_t floor = regularFloor(s);
        const double estimate = outputScale * outputScale * sourceBitRate * 1.1;
        if (std::isfinite(estimate) && estimate > 0 && estimate < std::ldexp(1.0, 62))
            rate = std::min(std::max(static_cast<std::int64_t>(estimate), floor), highestBitRate);
        else
            rate = floor;
    }
    if (!std::isfinite(compressionFactor) || compressionFactor >= 1)
        return rate;
    return static_cast<std::int64_t>(std::round(static_cast<double>(rate) * std::max(compressionFactor, 0.6)));
}

std::optional<std::int64_t> estimatedOutputBytes(CompositionMode mode, double duration, double width, double height,
                                                 double fps, double sourceBitRate, double audioBitRate,
                                                 double outputScale, double compressionFactor)
{
    const auto positive = [](double v) { return std::isfinite(v) && v > 0; };
    if (!positive(duration) || !positive(outputScale) || !positive(width) || !positive(height))
        return std::nullopt;
    const double video =
        static_cast<double>(targetBitRate(mode, width, height, sourceBitRate, outputScale, compressionFactor));
    const double wholeFrames = std::round(duration * fps) / fps;
    const double bytes = (video + audioBitRate) * wholeFrames * 0.125 * 1.01;
    if (!std::isfinite(bytes) || !(bytes > 0) || !(bytes < std::ldexp(1.0, 63)))
        return std::nullopt;
    return static_cast<std::int64_t>(std::ceil(bytes));
}

std::optional<std::int64_t> estimatedTimelineOutputBytes(const VideoTimelineSnapshot &snapshot, double outputScale,
                                                         double compressionFactor)
{
    const VideoTimelineSnapshot shifted = snapshot.shiftedToZero();
    const VideoSource *reference = nullptr;
    for (const VideoSource &source : shifted.sources) {
        const bool used = std::any_of(shifted.segments.begin(), shifted.segments.end(),
                                      [&](const VideoSegment &segment) { return segment.sourceID == source.id; });
        if (used) {
            reference = &source;
            break;
        }
    }
    if (!reference)
        return std::nullopt;
    // A single whole clip keeps its audio as it is; a cut or joined one is re-encoded at 192 kb/s.
    const double audioBitRate = shifted.singleFullSource() ? reference->audioBitRate : 192'000;
    const double fps = std::isfinite(reference->fps) && reference->fps > 0 ? reference->fps : 30;
    double duration = 0;
    for (const VideoSegment &segment : shifted.segments)
        duration = std::max(duration, segment.offset + (segment.sourceEnd - segment.sourceStart));
    const QSizeF canvas = shifted.canvasSize();
    return estimatedOutputBytes(CompositionMode::regular, duration, canvas.width(), canvas.height(), fps,
                                reference->bitRate, audioBitRate, outputScale, compressionFactor);
}

} // namespace routereel
