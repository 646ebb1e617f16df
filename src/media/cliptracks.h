#pragma once

#include <QSizeF>
#include <QTransform>
#include <QUrl>

namespace routereel {

// What the preview composition needs to know about the tracks of one clip file.
struct ClipTracks {
    bool hasVideo = false;
    QSizeF naturalSize;             // first video track as stored
    QTransform preferredTransform;  // stored picture -> upright picture
    bool hasAudio = false;
    double audioStart = 0;          // first audio track's range on the clip's clock, seconds
    double audioDuration = 0;

    // Reads the file's header with libavformat; throws VideoReadError when the
    // file cannot be read at all.
    static ClipTracks read(const QUrl &url);
};

} // namespace routereel
