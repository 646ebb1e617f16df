#pragma once

#include "libavinput.h"

#include <QString>

#include <cstdint>
#include <optional>

struct AVCodecParameters;

namespace routereel {

// How an HEVC clip's packets mark off their NAL units: the length prefix's size
// in bytes when the extradata is an hvcC record (mp4, mov, mkv), 0 for start codes
// (MPEG-TS, raw streams), -1 for a record no file should have.
int hevcNalLengthSize(const AVCodecParameters *parameters);

// The filters ffmpeg puts behind a file's decoder to show its pictures as the
// display matrix `matrix` says (none: as stored), with the same options: pictures
// read without the matrix then come out as ffmpeg shows the file. Empty when it
// puts none.
QString displayTurn(const std::int32_t *matrix);

// One picture of a clip, in source seconds counted from the file's start (the
// container's start time): on screen from `start` until `end`.
struct SourceFrame {
    double start = 0;
    double end = 0;

    bool operator==(const SourceFrame &) const = default;
};

// Where a piece cut at a source time must be read from, and the picture it opens on.
struct SourceCut {
    SourceFrame frame;     // the picture on screen at the cut
    // The "-ss" that makes ffmpeg's own input seek decode that picture and keep it:
    // none when the file must be read from its start.
    std::optional<double> readFrom;
    int stream = -1;       // the file's picture stream; -1 when not known
    // Whether its pieces may be read one after another by one reader and decoder
    // (ffmpeg's concat reader) and come out as read one by one with "-ss": not for
    // a file whose seek ffmpeg makes earlier, one whose edit list hides a stretch
    // between shown ones, or an HEVC piece read from an open GOP's keyframe, whose
    // leading pictures decode after another piece's as if they followed them.
    bool joinable = true;
    // Not joinable only because it is such an HEVC piece: joinable once its pictures
    // are copied to a file that tells the decoder to start afresh (see PieceFile).
    bool joinsAfresh = false;
    // How the file's display matrix turns its pictures (see displayTurn): a copy of
    // its packets loses the matrix, and whoever reads the copy turns them itself.
    QString turn = {};
};

// Tells which of a clip's pictures is on screen at a source time, from the file's
// own frame times: the frame whose start is at or before the time and whose end
// is after it. Only packets around the time are read, never decoded, so a lookup
// costs one stretch between keyframes, whatever the file's length.
class SourceFrameReader {
public:
    // Throws VideoReadError when the file cannot be read, VideoTimelineError when it
    // has no picture.
    explicit SourceFrameReader(const QString &path);

    // The container's start time in seconds, from which source times count.
    double startTime() const { return m_startTime; }

    // The picture on screen at `seconds` (source time); the first picture for a time
    // before it, the last for a time after the end. None only for a file whose
    // picture cannot be read at all.
    std::optional<SourceFrame> frameAt(double seconds);

    // The picture at `seconds` and where ffmpeg must read from to decode it. Checked
    // against the container's own seek: files without an index (MPEG-TS) land on any
    // packet, and their reading starts as far back as it takes.
    std::optional<SourceCut> cutAt(double seconds);

private:
    struct Scan;
    struct Found {
        SourceFrame frame;
        std::int64_t pts = 0;  // in the stream's time base
        bool first = false;    // the file's first picture, found reading from its start
        bool closedStart = false;  // see Scan
    };
    std::optional<Found> find(double seconds);
    bool scan(std::optional<double> seekTo, double seconds, Scan *out);
    std::int64_t tickAt(double seconds) const;

    FormatContextPtr m_context;
    int m_stream = -1;
    bool m_joinable = true;
    static constexpr int notHevc = -2;
    int m_nalLengthSize = notHevc;  // how HEVC packets mark off NAL units (see nalLengthSize)
    QString m_turn;  // see SourceCut
    double m_startTime = 0;
};

} // namespace routereel
