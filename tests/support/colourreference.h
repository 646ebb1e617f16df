#pragma once

#include <QColor>
#include <QImage>
#include <QList>
#include <QRect>
#include <QString>

// Colour patches drawn beside the frame-number bars, and ffmpeg's own conversion of a
// source picture to compare a road's colours with.
namespace testsupport {

struct ColourPatch {
    const char *name;
    QColor colour;
};

// Red, yellow, green, white 200, black 40 and a mid grey, side by side below the bars.
const QList<ColourPatch> &colourPatches();
// Where patch `index` lies in a picture of `size`.
QRect patchRect(int index, QSize size);
// Filter text that draws the patches on RGB pictures of `size`.
QString patchFilter(QSize size);

// The picture on screen at `sourceSeconds` (from the container's start time) as ffmpeg
// turns it into RGB at `size`: by the frame's own range and matrix (HD stating none or a
// reserved one as BT.709), HLG and PQ through sdrMappingFilter first. A null image when ffmpeg fails.
QImage ffmpegPicture(const QString &file, double sourceSeconds, QSize size);

struct PatchDifference {
    QString patch;      // the patch with the largest difference
    int difference = 0; // its largest channel difference, 0-255; 255 when an image is null
};
// Patch by patch, the mean colours of `a` and `b` (each patch's middle, away from its
// edges' chroma bleeding) compared at the size of `a`.
PatchDifference largestPatchDifference(const QImage &a, const QImage &b);
// Against the colours the patches were drawn with.
PatchDifference largestPatchDifference(const QImage &image);

} // namespace testsupport
