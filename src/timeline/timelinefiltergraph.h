#pragma once

#include "media/sourcecolour.h"
#include "media/piecefiles.h"
#include "media/sourceframes.h"
#include "videotimelinesnapshot.h"

#include <QStringList>
#include <QUrl>

#include <functional>
#include <optional>

namespace routereel {

// What ffmpeg needs to read, cut and join the source clips of an export. The
// export's own input 0 is the overlay frame stream, so the inputs listed here
// are ffmpeg inputs 1, 2, ...
struct TimelineFilterGraph {
    // A list of pieces the concat reader reads, written to `path` before ffmpeg starts.
    struct ReadList {
        QString path;
        QString text;
        QString clip;  // the one clip it reads
        // Pieces of the clip's picture stream `stream` copied to files of their own,
        // which the list names instead of the clip; written before the list is read.
        QList<PieceFile> pieces;
        int stream = -1;

        bool operator==(const ReadList &) const = default;
    };

    // In direct mode the clip as "-protocol_whitelist", "file", "-i", "file:" and its
    // absolute path. Otherwise "-copyts", then for each clip an input for its pictures
    // and one for its sound, each reading the clip's pieces in timeline order through
    // ffmpeg's concat reader: a piece is read from where the picture on screen at its
    // cut decodes to a little past its end, far from the others on the input's time
    // line. The lists are files of `readLists` when a folder for them is given (only
    // "file" is read), else inline (only "data" and "file").
    QStringList inputArguments;
    QList<ReadList> readLists;
    QString filterComplex;       // chains joined by ";" with a trailing ";"
    QString videoLabel;          // "[timelinev]"
    QString audioMap;            // "[timelinea]", or "1:a?" in direct mode
    bool usesFilterGraph = false; // false in direct mode: the clip is read whole, its sound as stored
    bool copiesAudio = false;    // direct mode with sound an MP4 holds as it is: copied, not encoded
    // Direct mode, sound encoded: "-filter:a:N" and its filter for each sound stream N
    // that ffmpeg would otherwise hand the encoder in a layout it refuses.
    QStringList soundFilterArguments;
    ExportColour colour;

    bool operator==(const TimelineFilterGraph &) const = default;
};

class TimelineFilterGraphError {
public:
    enum class Kind {
        invalidFrameRate,  // the frame-rate text gives no positive finite rate
        nothingToShow,     // the video lane has no segment that can be shown
        notAbsolutePath,   // a path is relative: it would name a file of the working folder
    };

    TimelineFilterGraphError(Kind kind, const QString &detail = {}) : m_kind(kind), m_detail(detail) {}

    Kind kind() const { return m_kind; }
    QString message() const;

private:
    Kind m_kind;
    QString m_detail;
};

// The frame rate of ffmpeg rate text: "a/b", or a decimal number; 30 for text
// that is neither. The result can be zero, negative or not finite ("30/0").
double frameRateValue(const QString &frameRate);

// Where a piece of `source` cut at `sourceStart` is read from; none when the file
// cannot be read (reading then starts a whole second or more before the cut).
using SourceCutFinder = std::function<std::optional<SourceCut>(const VideoSource &source, double sourceStart)>;

// The colours an export of `snapshot` (or, without one, of the clip `videoURL`)
// has: those of its first piece. Probes `videoURL` when there is no snapshot.
ExportColour exportColour(const std::optional<VideoTimelineSnapshot> &snapshot, const QUrl &videoURL);

// Whether MP4 holds sound of libav's codec `name` as it is.
bool mp4HoldsSound(const QString &name);

// Builds the inputs and filter text for `snapshot` at `width` x `height` and
// `frameRate`. Direct mode (no snapshot, or a single whole clip at the canvas
// size) reads the clip whole and does not cut it: the snapshot's own file, or
// `videoURL` when there is no snapshot (probed then). Numbers are written the same in every locale.
// Fails when the frame rate is unusable, nothing of the lane can be shown or a
// clip that is read has no absolute path. Without `findCut` each clip's own frame
// times are read (SourceFrameReader). With an absolute `listFolder` the concat
// reader's lists are files there, however many pieces they hold; without one they
// go inline, a few hundred pieces each, as an argument has a size limit.
std::optional<TimelineFilterGraph> ffmpegFilterGraph(const std::optional<VideoTimelineSnapshot> &snapshot,
                                                     const QUrl &videoURL, double width, double height,
                                                     const QString &frameRate,
                                                     std::optional<TimelineFilterGraphError> *error = nullptr,
                                                     const SourceCutFinder &findCut = {},
                                                     const QString &listFolder = {});

} // namespace routereel
