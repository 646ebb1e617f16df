#include "videotimelinesnapshot.h"

#include "base/usablesize.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace routereel {

namespace {

// Frame numbers far beyond any real video are refused rather than converted,
// so a huge or non-finite time never reaches an integer conversion.
constexpr double maxFrame = 9.0e15;

std::optional<std::int64_t> frameAtOrAfter(double seconds, double fps)
{
    const double f = std::ceil(seconds * fps - 0.000001);
    if (!std::isfinite(f) || std::fabs(f) > maxFrame)
        return std::nullopt;
    return std::int64_t(f);
}

} // namespace

QSizeF VideoTimelineSnapshot::canvasSize() const
{
    if (canvasOrigin && isUsableSize(*canvasOrigin))
        return *canvasOrigin;
    if (!sources.isEmpty())
        return sources.first().resolution;
    return defaultCanvasSize;
}

const VideoSource *VideoTimelineSnapshot::sourceFor(const QUuid &sourceID) const
{
    for (const VideoSource &s : sources) {
        if (s.id == sourceID)
            return &s;
    }
    return nullptr;
}

bool VideoTimelineSnapshot::isValid(const VideoSegment &s) const
{
    if (!std::isfinite(s.offset) || s.offset < 0 || !std::isfinite(s.sourceStart) || s.sourceStart < 0
        || !std::isfinite(s.sourceEnd) || !(s.length() > 0) || !std::isfinite(s.end()))
        return false;
    return std::any_of(sources.begin(), sources.end(), [&](const VideoSource &src) {
        return src.id == s.sourceID && src.duration + 0.000001 >= s.sourceEnd;
    });
}

QList<VideoSegment> VideoTimelineSnapshot::validSegments() const
{
    QList<VideoSegment> out;
    for (const VideoSegment &s : segments) {
        if (isValid(s))
            out.append(s);
    }
    return out;
}

QList<VideoTimelineSnapshot::Slice> VideoTimelineSnapshot::slices() const
{
    const QList<VideoSegment> valid = validSegments();
    QList<double> bounds;
    for (const VideoSegment &s : valid)
        bounds << s.offset << s.end();
    std::sort(bounds.begin(), bounds.end());
    bounds.erase(std::unique(bounds.begin(), bounds.end()), bounds.end());

    QList<Slice> out;
    for (qsizetype i = 0; i + 1 < bounds.size(); ++i) {
        const double a = bounds[i];
        const double b = bounds[i + 1];
        const VideoSegment *cover = nullptr;
        for (const VideoSegment &s : valid) {
            if (s.offset <= a && s.end() >= b)
                cover = &s;  // the later-stored segment wins
        }
        Slice piece;
        piece.offset = a;
        piece.duration = b - a;
        if (cover) {
            if (const VideoSource *src = sourceFor(cover->sourceID))
                piece.source = *src;
            piece.sourceStart = cover->sourceStart + (a - cover->offset);
            piece.segmentID = cover->id;
        }
        if (!out.isEmpty() && out.last().segmentID == piece.segmentID)
            out.last().duration += piece.duration;
        else
            out.append(piece);
    }
    return out;
}

std::optional<VideoTimelineSnapshot::ShownRange> VideoTimelineSnapshot::shownRange() const
{
    // Only segments that are shown count: an unusable one (NaN, negative or
    // unknown source) must not leave black at the start or shift the overlays.
    std::optional<ShownRange> range;
    for (const VideoSegment &s : validSegments()) {
        if (!range)
            range = ShownRange{s.offset, s.end()};
        range->start = std::min(range->start, s.offset);
        range->end = std::max(range->end, s.end());
    }
    return range;
}

VideoTimelineSnapshot VideoTimelineSnapshot::shiftedToZero() const
{
    const auto range = shownRange();
    if (!range || !(range->start > 0))
        return *this;
    VideoTimelineSnapshot shifted = *this;
    for (VideoSegment &s : shifted.segments)
        s.offset -= range->start;
    return shifted;
}

bool VideoTimelineSnapshot::singleFullSource() const
{
    if (segments.size() != 1)
        return false;
    const VideoSegment &s = segments.first();
    const VideoSource *src = sourceFor(s.sourceID);
    if (!src)
        return false;
    const QSizeF canvas = canvasSize();
    return src->resolution.width() == canvas.width() && src->resolution.height() == canvas.height()
        && s.offset == 0 && s.sourceStart == 0 && std::fabs(s.sourceEnd - src->duration) < 0.000001;
}

double VideoTimelineSnapshot::timelineEnd() const
{
    const auto range = shownRange();
    return range ? range->end : 0;
}

QList<VideoTimelineSnapshot::Slice> VideoTimelineSnapshot::frameAlignedSlices(double fps) const
{
    if (!std::isfinite(fps) || !(fps > 0))
        return {};
    const VideoTimelineSnapshot shifted = shiftedToZero();
    const QList<Slice> pieces = shifted.slices();
    if (pieces.isEmpty())
        return {};
    const double totalExact = std::round(shifted.timelineEnd() * fps);
    if (!std::isfinite(totalExact) || totalExact > maxFrame)
        return {};
    const auto total = std::int64_t(totalExact);

    QList<Slice> out;
    for (const Slice &piece : pieces) {
        const auto first = frameAtOrAfter(piece.offset, fps);
        const auto last = frameAtOrAfter(piece.offset + piece.duration, fps);
        if (!first || !last)
            continue;
        const std::int64_t startFrame = std::min(*first, total);
        const std::int64_t endFrame = std::min(*last, total);
        if (endFrame <= startFrame)
            continue;
        Slice aligned = piece;
        aligned.offset = double(startFrame) / fps;
        aligned.duration = double(endFrame - startFrame) / fps;
        // A boundary a hair after a whole frame moves down onto it; the cut
        // moves with it but never before the start of the file.
        if (!piece.isGap())
            aligned.sourceStart = std::max(0.0, piece.sourceStart + (aligned.offset - piece.offset));
        out.append(aligned);
    }
    return out;
}

} // namespace routereel
