#pragma once

#include <QString>

#include <utility>

// Damaged copies of MP4 clips (index at the end, as ffmpeg writes it), as disks,
// transfers and broken tools leave them.
namespace testsupport {

enum class Damage {
    zeroedMedia,      // the media data all zeros, the index intact: the probe accepts it
    noKeyframe,       // the index flags no picture as a keyframe
    unknownDepth,     // raw pictures in .mov stating 13 bits a pixel: their decoder refuses to open
    unknownSoundType, // AAC naming object type 8 (CELP), which libavcodec does not decode
    truncated,        // cut off at a point drawn from `seed`
    zeroedIndexPart,  // a stretch of the index zeroed, drawn from `seed`
    garbageInMedia,   // random bytes over a stretch of the media data, drawn from `seed`
};

// Writes `damage` done to a copy of `clip` at `to`; false (and a test failure) when
// the clip has not the boxes it needs.
bool damageCopy(const QString &clip, const QString &to, Damage damage, unsigned seed = 0);

// The byte range [first, end) of the clip's index (its moov box); {0, 0} when it has none.
std::pair<qint64, qint64> indexBytes(const QString &clip);

} // namespace testsupport
