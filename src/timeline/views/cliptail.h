#pragma once

#include <QString>
#include <QVideoFrame>

#include <vector>

namespace routereel {

// The pictures at the very end of a clip that GStreamer does not show: without an
// edit list, qtdemux ends a track at its duration less the B-frame delay and drops
// every picture starting after that. libav decodes them instead.
struct ClipTail {
    struct Picture {
        double start = 0;   // on libav's clock for the file (seconds)
        double end = 0;
        QVideoFrame frame;  // YUV 4:2:0
    };

    // The pictures starting at or after `from` (libav's clock), in order; empty when
    // there are none or the file cannot be decoded. At most `limit` of them.
    static std::vector<Picture> decode(const QString &path, double from, int limit = 16);
};

} // namespace routereel
