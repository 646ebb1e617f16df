#pragma once

#include "timeline/compositionmode.h"

#include "timeline/videotimelinesnapshot.h"

#include <cstdint>
#include <optional>

namespace routereel {

// The highest video bit rate the encoder is given: libx264 takes its peak rate
// (1.2 times the rate) and its buffer (twice the rate) only up to 2^31 - 1 bits
// per second, and an uncompressed 4K source asks for more.
inline constexpr std::int64_t highestBitRate = 1'073'741'823;

// Video bit rate handed to the encoder, bits per second. width and height are
// the canvas; outputScale shrinks it; it is bounded by highestBitRate; a
// compression factor below 1 then lowers it, never under 60 % of it.
std::int64_t targetBitRate(CompositionMode mode, double width, double height, double sourceBitRate,
                           double outputScale, double compressionFactor);

// Expected size of the exported file in bytes; none for an empty or unusable export.
std::optional<std::int64_t> estimatedOutputBytes(CompositionMode mode, double duration, double width, double height,
                                                 double fps, double sourceBitRate, double audioBitRate,
                                                 double outputScale, double compressionFactor);

// The same for a regular export of the whole video timeline; none without a
// segment whose source is known.
std::optional<std::int64_t> estimatedTimelineOutputBytes(const VideoTimelineSnapshot &snapshot, double outputScale,
                                                         double compressionFactor);

} // namespace routereel
