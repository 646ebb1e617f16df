#pragma once

#include <QList>
#include <QString>

namespace testsupport {

// Numbered clips (see makeNumberedClip) of every kind of source people bring: each
// picture carries its frame number, so what a road shows can be read back.
struct SourceKind {
    const char *name;      // file name; its extension is the container
    const char *rate;      // ffmpeg rate text of its pictures (the nominal one when variable)
    double seconds;        // the picture's length from its first frame
    double keyframes;      // seconds between keyframes
    bool soundFirst;       // sound starts before the picture, with a beep at 0
    int firstPicture = 0;  // the number its first shown picture carries (a cut starts later)
    // An edit list that leaves out a stretch: from the picture shown `skipFrom`-th on,
    // numbers run `skipped` ahead of the order shown.
    int skipFrom = -1;
    int skipped = 0;
    bool patches = false;      // colour patches below the bars (see colourPatches)
    const char *tags = "";     // ffprobe's "key=value,..." facts of its picture stream
    const char *sound = "";    // the sound's codec, if any

    // The number on the `shown`-th picture in ffprobe's frame list (see frameOnScreen).
    int number(int shown) const
    {
        return firstPicture + shown + (skipFrom >= 0 && shown >= skipFrom ? skipped : 0);
    }
    // Where the picture numbered `number` stands in that list; -1 for one the edit list leaves out.
    int shownOf(int number) const
    {
        const int k = number - firstPicture;
        if (skipFrom < 0 || k < skipFrom)
            return k;
        return k < skipFrom + skipped ? -1 : k - skipped;
    }
};

// Constant 23.976, 25, 30, 50, 59.94 and 60 fps with B-frames; a variable rate with a
// 15 fps stretch and a frame held 3 s; a picture after an empty edit; a B-frame delay
// without an edit list; keyframes 10 s apart; sound before the picture; MPEG-TS.
const QList<SourceKind> &sourceKinds();
// As cameras, phones and trimming tools write them: a cut made by stream copy between
// keyframes (.mov with sound, .mp4 without); sound 2 s longer than the picture; sound
// starting 0.5 s after it; a phone's clip (1/600 time base, jittered 29.97 fps, portrait
// by rotation matrix, sound) in H.264 and in x265's HEVC with open GOPs; 4K without an
// edit list, keyframes 10 s apart; a cover picture stored as the first video stream;
// 1440 x 1080 with 4:3 pixels (shown 1920 x 1080); open-GOP H.264.
const QList<SourceKind> &cameraKinds();

// As screen recorders, editing tools, phones and professional cameras write them: a
// screen recording (pictures held 0.5-2 s between 30 fps stretches, keyframes 20 s
// apart); an edit list of two entries (source 0-2 s, then 3-5 s); fragmented MP4 with
// sound at 30 fps and without at 60; full range BT.601 and BT.709; H.264 4:2:2 8 and
// 10-bit and ProRes 422; HLG and PQ in HEVC Main10; 16 and 24-bit LPCM in .mov; an .m4v;
// 51 fps. The colour kinds among them carry patches.
const QList<SourceKind> &troubleKinds();
// Pictures with colour patches: BT.601, BT.709, untagged 1280 x 720 (ffmpeg reads it as
// BT.601), full range BT.709, 10-bit, 4:2:2, HLG, PQ.
const QList<SourceKind> &colourKinds();

// Picture sizes whose width leaves 8 or 12 over a multiple of 16, as phones and
// editors write them (424 x 240, portrait 360 x 640, widths 120 to 1916), each near
// 16:9 or 9:16 so that it fills a timeline's canvas and its number reads back; and a
// clip with two sound tracks, the second flagged default.
const QList<SourceKind> &sizeKinds();

// Pictures stored as RGB, with patches: QuickTime Animation and PNG in .mov, H.264 RGB
// (libx264rgb), each at 1280 x 720, where BT.601 and BT.709 part; SD stating the gamma
// transfers of NTSC (bt470m) and PAL (bt470bg), or reserved tags (0 and 3); HD stating
// a reserved matrix, coded BT.709.
const QList<SourceKind> &exportColourKinds();

// Writes the kind's clip into `dir`; "" (and a test failure) when ffmpeg fails.
QString makeSourceKind(const QString &dir, const SourceKind &kind);

// Makes `kinds` side by side; their paths in the same order ("" for a failure).
QStringList makeSourceKinds(const QString &dir, const QList<SourceKind> &kinds);

// ffprobe's own times of the picture's frames, in seconds from the container's
// start time, in frame-number order.
QList<double> frameStarts(const QString &file);

// The number of the frame on screen at source time `seconds`: the last one starting
// at or before it (the first frame before the picture starts).
int frameOnScreen(const QList<double> &starts, double seconds);

// The frame number each picture of `file` shows, in order (see frameNumberOf).
QList<int> shownFrameNumbers(const QString &file);
// The frame number on each picture ffmpeg decodes, once each, in ffprobe's order:
// unlike the above, a held picture is not repeated at the nominal rate.
QList<int> decodedFrameNumbers(const QString &file);

} // namespace testsupport
