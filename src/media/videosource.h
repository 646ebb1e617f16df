#pragma once

#include "soundlayout.h"

#include <QFuture>
#include <QSizeF>
#include <QStringList>
#include <QUrl>
#include <QUuid>

namespace routereel {

// The facts about one imported video file that the timeline, player and export need.
struct VideoSource {
    QUuid id;
    QUrl url;
    double duration = 0;    // seconds from startTime to the end of its last picture or sound; > 0 when probed
    double startTime = 0;   // the container's first timestamp, from which source times count
    // The length the file states: MP4 rounds it up to whole milliseconds, and it
    // counts an empty edit before the picture. Projects saved before `duration`
    // ended at the last picture or sound hold pieces that end there.
    double statedDuration = 0;
    QSizeF resolution;      // displayed size (pixel shape and rotation applied), whole pixels, each side >= 1
    double pixelAspect = 1; // a stored pixel's width over its height as displayed (4:3 in HDV), before rotation
    double fps = 30;        // nominal frame rate; 30 when the file gives none
    double bitRate = 0;     // video bits per second as the file states it (0 stays 0)
    bool hasAudio = false;
    double audioBitRate = 0; // sum over audio streams; 192000 for a stream without a usable rate
    // The picture's colours as its stream states them, in libav's numbering
    // (AVColorSpace, AVColorPrimaries, AVColorTransferCharacteristic; 2 is unstated).
    int colorMatrix = 2;
    int colorPrimaries = 2;
    int colorTransfer = 2;
    bool fullRange = false;
    // Stored as RGB (PNG, QuickTime Animation, H.264 RGB): its "matrix" says nothing
    // of how the export makes it YUV.
    bool rgb = false;
    QStringList audioCodecs; // libav's codec name of each audio stream, in stream order
    QList<SoundLayout> audioLayouts; // where each audio stream's channels are heard, in stream order

    bool operator==(const VideoSource &) const = default;

    // Probes `url` on the thread pool. The future fails with VideoTimelineError
    // for a file without a usable video stream, or VideoReadError when libav
    // cannot read the file at all.
    static QFuture<VideoSource> load(const QUrl &url, const QUuid &id);

    // The same probe on the calling thread; throws the same errors.
    static VideoSource probe(const QUrl &url, const QUuid &id);
};

} // namespace routereel
