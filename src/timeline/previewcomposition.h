#pragma once

#include "media/cliptracks.h"
#include "previewplan.h"
#include "videotimelinesnapshot.h"

#include <QFuture>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

namespace routereel {

// Turns a video timeline into the one item the preview plays: every source piece
// at its place, fitted into the canvas and centred, black in the gaps, the clips'
// sound with silence wherever a clip has none. One whole clip that fills the
// canvas is played directly.
class PreviewComposition {
public:
    using TrackReader = std::function<ClipTracks(const QUrl &)>;

    // Throws VideoTimelineError (no source used, a clip without video, a time that
    // cannot be represented) or whatever `readTracks` throws. Returns nothing when
    // `cancelled` says so before a slice.
    static std::optional<PreviewPlan> makePlan(const VideoTimelineSnapshot &snapshot,
                                               const TrackReader &readTracks = &ClipTracks::read,
                                               const std::function<bool()> &cancelled = {});

    // makePlan on the thread pool; setting *cancel stops it before the next slice,
    // and the future then holds no result.
    static QFuture<std::optional<PreviewPlan>> makePlanAsync(const VideoTimelineSnapshot &snapshot,
                                                             std::shared_ptr<std::atomic_bool> cancel);

    // The clip's stored picture turned upright, brought to its displayed shape
    // (`displayed`, the upright size the probe reports; empty: as stored, square
    // pixels), scaled to fill the canvas in one direction and centred in the other.
    static QTransform fitTransform(const QSizeF &naturalSize, const QTransform &preferred, const QSizeF &canvas,
                                   const QSizeF &displayed = {});
};

} // namespace routereel
