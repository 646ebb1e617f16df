#pragma once

#include <QList>
#include <QString>

#include <cstdint>
#include <functional>

namespace routereel {

// One piece of an HEVC clip's pictures copied to a file of its own (NUT), so
// that ffmpeg's concat reader can hand it to the decoder after another piece of
// the same clip: an end of sequence put in front of its first packet makes the
// decoder start afresh on its keyframe, as when the clip is opened by itself. A
// CRA's leading pictures are then skipped rather than made from the previous
// piece's pictures, and its picture order starts anew. NUT keeps no display
// matrix: the reader turns the pictures as the clip shows them (SourceCut::turn).
struct PieceFile {
    QString path;
    // Where the clip is sought, as the concat reader seeks for an "inpoint", in
    // microseconds of the file's own times; the file's picture packets are copied
    // from the keyframe the seek lands on.
    std::int64_t inpoint = 0;
    // The last picture wanted starts before this (microseconds, the file's times).
    // A few pictures past it are copied too: the next piece's end of sequence drops
    // what the decoder still holds, and it must hold nothing of this piece by then.
    std::int64_t readEnd = 0;

    bool operator==(const PieceFile &) const = default;
};

class PieceFileWriter {
public:
    enum class Outcome { written, unreadable, unwritable, cancelled };
    struct Result {
        Outcome outcome = Outcome::written;
        // Unreadable: as ffmpeg says it, "file:" and the clip's path, then the reason.
        // Unwritable: which piece file could not be written and why.
        QString message;
    };

    // Writes `pieces` of picture stream `stream` of `clip` (timestamps and the
    // codec's extradata as the clip has them; the time base is NUT's, which
    // holds them exactly). `cancelled` is asked between packets.
    static Result write(const QString &clip, int stream, const QList<PieceFile> &pieces,
                        const std::function<bool()> &cancelled = {});
};

} // namespace routereel
