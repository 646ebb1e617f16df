#pragma once

#include "pipeframe.h"

#include "timeline/timelinefiltergraph.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace routereel {

struct ExportTask;

// The arguments of the one ffmpeg run of an export: raw BGRA frames on
// standard input (input 0), in regular mode laid over the source clips
// (inputs 1, 2, ...), encoded as H.264 with libx264 into `outputPath`, with
// progress lines on standard output.
class FFmpegCommandLine {
public:
    // Regular mode with a video to read; otherwise the frames alone are encoded.
    static bool readsSourceVideo(const ExportTask &task);

    // Pixel format of the frames on standard input: BGRA with straight alpha,
    // or the same already converted to what ffmpeg would convert it to (so the
    // output is the same): over source video what the overlay filter works in,
    // in overlay mode without resizing what the encoder takes.
    enum class PipeFormat { bgra, yuva420p, yuv420p };
    // The format the export sends for `task`.
    static PipeFormat pipeFormat(const ExportTask &task);

    // Fails when the source timeline cannot be turned into ffmpeg inputs or
    // `outputPath` is not absolute; every file goes to ffmpeg as "file:" and its path.
    static std::optional<QStringList> arguments(const ExportTask &task, const QString &frameRate,
                                                const QString &outputPath,
                                                std::optional<TimelineFilterGraphError> *error = nullptr,
                                                PipeFormat format = PipeFormat::bgra);

    // The -filter_complex text.
    static QString regularFilterGraph(const TimelineFilterGraph &timeline, const PipeFrame &frame, double outputScale,
                                      int canvasWidth, int canvasHeight, PipeFormat format = PipeFormat::bgra);
    static QString overlayFilterGraph(double outputScale, int canvasWidth, int canvasHeight,
                                      PipeFormat format = PipeFormat::bgra);
    static QString pixelFormatName(PipeFormat format);
};

} // namespace routereel
