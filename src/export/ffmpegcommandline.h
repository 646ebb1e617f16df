#pragma once

#include "pipeframe.h"

#include "timeline/timelinefiltergraph.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace routereel {

struct ExportTask;

// The arguments of the one ffmpeg run of an export: the drawn frames on
// standard input (input 0), in regular mode laid over the source clips
// (inputs 1, 2, ...), encoded as H.264 with libx264 into `outputPath`, with
// progress lines on standard output.
class FFmpegCommandLine {
public:
    // Regular mode with a video to read; otherwise the frames alone are encoded.
    static bool readsSourceVideo(const ExportTask &task);
    // The colours the frames over source video are converted with: the export's
    // own (its first piece's). Probes the video when the task has no timeline.
    static ExportColour overlayColour(const ExportTask &task);

    // Pixel format of the frames on standard input. The export converts its
    // straight-alpha BGRA frames itself, off ffmpeg's single filter thread, to
    // exactly what ffmpeg would convert them to (so the output is the same):
    // over source video to what the overlay filter works in, in overlay mode
    // without resizing to what the encoder takes. Only frames that ffmpeg
    // still resizes go as BGRA.
    enum class PipeFormat { bgra, yuva420p, yuv420p };
    static PipeFormat pipeFormat(const ExportTask &task);
    static QString pixelFormatName(PipeFormat format);

    // One ffmpeg run. The filter graph grows with every piece of the timeline, past
    // what the system takes as one argument (128 KiB), so ffmpeg reads it from a
    // file: "-filter_complex_script" and `filterScriptPath` stand where the graph would.
    // The concat reader's lists of the clips' pieces are written beside the graph.
    struct Command {
        QStringList arguments;
        QString filterGraph;
        QString filterScriptPath;
        QList<TimelineFilterGraph::ReadList> readLists;
        // Writes the graph to `filterScriptPath` and the lists to theirs; the reason when it cannot.
        std::optional<QString> writeFilterScript() const;
        // Copies the pieces the lists read from files of their own (see PieceFile),
        // asking `cancelled` as it goes.
        PieceFileWriter::Result writePieceFiles(const std::function<bool()> &cancelled) const;
        // The line ffmpeg writes when reading one of its inputs fails begins with one
        // of these ("file:/path/clip.mp4: "), one for each "-i" in `arguments`.
        QStringList inputErrorPrefixes() const;
        // `text` of ffmpeg's with each list and piece file it names replaced by the
        // clip it reads: the user knows the clip, never the list.
        QString withClipNames(QString text) const;
    };

    // The run for frames in pipeFormat(task). Fails when the source timeline
    // cannot be turned into ffmpeg inputs or `outputPath` or `filterScriptPath`
    // is not absolute; every file goes to ffmpeg as "file:" and its path.
    static std::optional<Command> command(const ExportTask &task, const QString &frameRate, const QString &outputPath,
                                          const QString &filterScriptPath,
                                          std::optional<TimelineFilterGraphError> *error = nullptr);
    // The same for frames laid out as `frame` (PipeFrame::forTask(task), possibly tiled).
    static std::optional<Command> command(const ExportTask &task, const PipeFrame &frame, const QString &frameRate,
                                          const QString &outputPath, const QString &filterScriptPath,
                                          std::optional<TimelineFilterGraphError> *error = nullptr);
};

} // namespace routereel
