#pragma once

#include "sdrmapping.h"

#include <QString>
#include <QStringList>

namespace routereel {

struct VideoSource;

// How a clip's picture colours are read: the one rule that the preview asks of
// every decoded picture and the export of every clip, so that both show it alike.

// The matrix (AVColorSpace) a YUV picture of `width` x `height` stating `statedMatrix`
// is read with: one that states none, or a reserved one, is BT.709 above 576 lines
// and BT.601 below, as cameras write it and players take it; BT.2020 is read with
// its constant-luminance-free coefficients, as swscale knows no other; what swscale
// does not know (RGB, YCgCo, ICtCp ...) is BT.601.
int matrixReadAs(int statedMatrix, double width, double height);

// Whether a picture stating range `statedRange` (AVColorRange) in pixel format
// `pixelFormat` (AVPixelFormat) is full range: as stated, else by a "J" format
// (MJPEG, some phones), as ffmpeg's scaler reads it.
bool fullRangeReadAs(int statedRange, int pixelFormat);

// The HLG or PQ mapping a picture of transfer `statedTransfer` (libav's
// AVColorTransferCharacteristic) goes through; RGB pictures are shown as they are,
// whatever transfer they state.
HdrTransfer transferMappedAs(int statedTransfer, bool rgb);

// The colours of an export's picture. Every piece is brought to them and the
// overlay frames are converted with them, so that both blend as the preview shows
// them; the output is tagged with them.
struct ExportColour {
    int matrix = 1;     // AVColorSpace: 1 BT.709, 5/6 BT.601, 9 BT.2020 ...
    int primaries = 2;  // AVColorPrimaries; 2 (unstated) stays unstated
    int transfer = 2;   // AVColorTransferCharacteristic; 2 (unstated) stays unstated
    bool fullRange = false;

    bool operator==(const ExportColour &) const = default;

    // The scale filter's matrix ("bt601"), and the tags in the names ffmpeg's
    // options take ("bt470bg", "gamma28", ...).
    QString scaleMatrix() const;
    QString matrixTag() const;
    QString primariesTag() const;  // empty when unstated
    QString transferTag() const;   // empty when unstated
    QString rangeTag() const { return fullRange ? QStringLiteral("pc") : QStringLiteral("tv"); }
    // The output options that tag the file with these colours.
    QStringList outputArguments() const;
};

// What a clip exports as: its own matrix as both roads read it (matrixReadAs) and
// its own range; RGB as YUV by the size rule of an unstated matrix, limited range;
// HLG and PQ as SDR BT.709, limited range. Primaries and transfer that are reserved
// or unknown to libav count as unstated.
ExportColour exportColourOf(const VideoSource &source);

} // namespace routereel
