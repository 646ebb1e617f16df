#pragma once

#include "videosegment.h"
#include "media/videosource.h"

#include <QList>
#include <QSizeF>

#include <optional>

namespace routereel {

// The video lane handed from the timeline to the player and the exporter: an
// immutable value, compared field by field (list order matters).
struct VideoTimelineSnapshot {
    // One piece of the gap-filled timeline: a source piece, or black when `source` is empty.
    struct Slice {
        double offset = 0;
        double duration = 0;
        std::optional<VideoSource> source;
        double sourceStart = 0;
        QUuid segmentID;  // null for a gap

        bool isGap() const { return !source.has_value(); }
        bool operator==(const Slice &) const = default;
    };

    QList<VideoSource> sources;
    QList<VideoSegment> segments;
    std::optional<QSizeF> canvasOrigin;

    bool operator==(const VideoTimelineSnapshot &) const = default;

    static constexpr QSizeF defaultCanvasSize{1920, 1080};

    // The explicit canvas when both sides are finite and >= 1, else the first
    // source's resolution, else 1920 x 1080.
    QSizeF canvasSize() const;

    // The timeline from the earliest valid segment to the latest valid end:
    // source pieces (a later-stored segment wins where segments overlap) and
    // black gaps, consecutive intervals of one segment or of gap merged.
    QList<Slice> slices() const;

    // The timeline span the lane shows: from the earliest offset to the latest
    // end of the valid segments; none without a valid segment. An export's
    // video and its overlays both start at `start`.
    struct ShownRange {
        double start = 0;
        double end = 0;
    };
    std::optional<ShownRange> shownRange() const;

    // The same lane with the shown range moved to start at 0 (all segments
    // shifted alike); unchanged when it already starts at 0.
    VideoTimelineSnapshot shiftedToZero() const;

    // Exactly one segment, at 0, showing its whole source, at the canvas size:
    // the file can be played or passed on unchanged.
    bool singleFullSource() const;

    // Largest end over the valid segments, 0 without any.
    double timelineEnd() const;

    // slices() of the shifted lane with every boundary moved up to a whole
    // frame at `fps`; empty when `fps` is not positive and finite.
    QList<Slice> frameAlignedSlices(double fps) const;

    const VideoSource *sourceFor(const QUuid &sourceID) const;

private:
    bool isValid(const VideoSegment &segment) const;
    QList<VideoSegment> validSegments() const;
};

} // namespace routereel
