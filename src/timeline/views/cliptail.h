#pragma once

#include <QString>
#include <QVideoFrame>

#include <atomic>
#include <optional>
#include <vector>

namespace routereel {

// Pictures of a clip that GStreamer does not show whole, decoded with libav instead:
// - the very end: without an edit list, qtdemux ends a track at its duration less
//   the B-frame delay and drops every picture starting after that;
// - the leading pictures of an open GOP (H.264 open GOPs, HEVC CRA with RASL
//   pictures): shown before their GOP's keyframe but decoded after it, so a seek
//   that lands on that keyframe decodes them without their references (grey
//   blocks) or drops them (the keyframe is shown instead).
// Slow on long GOPs: call on a worker.
struct ClipTail {
    struct Picture {
        double start = 0;   // on libav's clock for the file (seconds)
        double end = 0;
        QVideoFrame frame;  // YUV 4:2:0
        // A leading picture: where a seek must go for the media player to decode it
        // whole, before the first of its GOP's leading pictures.
        std::optional<double> wholeFrom;
    };

    // The pictures starting at or after `from` (libav's clock), in order; empty when
    // there are none or the file cannot be decoded. At most `limit` of them.
    static std::vector<Picture> decode(const QString &path, double from, int limit = 16,
                                       const std::atomic<bool> *cancel = nullptr);

    // The last picture starting at or before `at` (libav's clock) when a seek there
    // lands on a keyframe shown after it; none when a seek decodes it whole.
    static std::optional<Picture> leadingPicture(const QString &path, double at,
                                                 const std::atomic<bool> *cancel = nullptr);
};

} // namespace routereel
