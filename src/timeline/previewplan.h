#pragma once

#include <QSizeF>
#include <QString>
#include <QTransform>
#include <QUrl>

#include <optional>
#include <vector>

namespace routereel {

// Times of the preview composition are whole ticks of 1/60000 s, so that slice
// boundaries compare exactly and a slice shorter than a tick drops out.
inline constexpr qint64 compositionTimescale = 60000;

// Seconds taken at nanosecond precision, then rounded to ticks with halves away
// from zero; none when the seconds are not finite or out of range.
std::optional<qint64> compositionTicks(double seconds);
double compositionSeconds(qint64 ticks);

// A run of the preview's sound: a piece of the clip's own audio, or silence.
struct PreviewAudioPiece {
    qint64 start = 0;                      // timeline ticks
    qint64 length = 0;                     // ticks
    std::optional<qint64> sourceStart;     // clip ticks; none for silence

    bool isSilence() const { return !sourceStart; }
    bool operator==(const PreviewAudioPiece &) const = default;
};

// A slice's own times, unrounded: a frame boundary lies between two ticks, and
// the picture shown on either side of it depends on the exact instant.
struct PreviewSeconds {
    double start = 0;                      // timeline seconds
    double end = 0;
    double sourceStart = 0;                // source seconds, from the clip's start time

    bool operator==(const PreviewSeconds &) const = default;
};

// One piece of the composed preview: a clip range or a black gap.
struct PreviewPiece {
    qint64 start = 0;                      // timeline ticks
    qint64 length = 0;                     // ticks, > 0
    QUrl url;                              // empty for a gap
    qint64 sourceStart = 0;                // clip ticks shown at start
    QSizeF naturalSize;                    // the clip's stored picture size
    QTransform fit;                        // stored picture -> canvas: upright, fitted, centred
    std::vector<PreviewAudioPiece> audio;  // covers start .. start + length
    std::optional<PreviewSeconds> seconds; // the slice's exact times; none: the ticks'
    double clipStartTime = 0;              // the clip's start time: where its source time 0 lies in the file

    bool isGap() const { return url.isEmpty(); }
    qint64 end() const { return start + length; }
};

// The whole preview item: either one file played unchanged (directUrl), or
// pieces laid on a canvas. Built by makePreviewPlan, played by the timeline player.
struct PreviewPlan {
    QUrl directUrl;
    double directDuration = 0;             // seconds of that file from its start time; 0: as the player finds
    double directStartTime = 0;            // that file's start time
    QSizeF renderSize{1920, 1080};
    qint64 frameDuration = 2000;           // ticks
    std::vector<PreviewPiece> pieces;      // in timeline order, without overlap

    bool isDirect() const { return !directUrl.isEmpty(); }
};

} // namespace routereel
