#pragma once

// Timelines drawn at random over every kind of clip people bring, cut off frame
// boundaries, with gaps, pieces to a clip's end and jumps back within one file.
// ROUTEREEL_SEED=n replays the timelines of seed n.
#include "media/videosource.h"
#include "timeline/videotimelinesnapshot.h"

#include "support/sourcekinds.h"

#include <QList>
#include <QTemporaryDir>

#include <string>
#include <vector>

namespace randomtimelines {

struct Clip {
    testsupport::SourceKind kind;
    routereel::VideoSource source;
    QList<double> starts;
    bool portrait = false;

    // The number on the picture on screen at source time `t`.
    int numberAt(double t) const { return kind.number(testsupport::frameOnScreen(starts, t)); }
};

struct Clips {
    QTemporaryDir dir;
    std::vector<Clip> all;
};

// Every kind the preview can show (the awkward picture sizes and two sound tracks
// among them), made once.
const Clips &clips();
// Those and the kinds only the export is asked to read yet (screen recordings, edit
// lists of two entries, fragments, full range, 4:2:2, HLG, PQ, LPCM, RGB, SD stating
// gamma or reserved tags, ...), made once.
const Clips &exportClips();

struct Piece {
    const Clip *clip;
    double from, to, offset;

    double end() const { return offset + to - from; }
};

struct Timeline {
    std::vector<Piece> pieces;
    double fps = 30;
    bool portrait = false;

    double end() const { return pieces.empty() ? 0 : pieces.back().end(); }
    std::string text() const;
    routereel::VideoTimelineSnapshot snapshot() const;
    // The piece at timeline time t; none in a gap.
    const Piece *pieceAt(double t) const;
    // The number on screen at timeline time t; -1 in a gap.
    int numberAt(double t) const;
    // What each exported frame shows: pieces start and end on whole frames of the
    // timeline's rate, and gaps are black (read as 0).
    QList<int> exportedNumbers() const;
};

// ROUTEREEL_SEED when given, else a fixed one.
unsigned seed();
std::vector<Timeline> drawTimelines(unsigned seed, int count, const Clips &from = clips());

} // namespace randomtimelines
