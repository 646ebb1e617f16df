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

    // Fails only when the source timeline cannot be turned into ffmpeg inputs.
    static std::optional<QStringList> arguments(const ExportTask &task, const QString &frameRate,
                                                const QString &outputPath,
                                                std::optional<TimelineFilterGraphError> *error = nullptr);

    // The -filter_complex text.
    static QString regularFilterGraph(const TimelineFilterGraph &timeline, const PipeFrame &frame, double outputScale,
                                      int canvasWidth, int canvasHeight);
    static QString overlayFilterGraph(double outputScale, int canvasWidth, int canvasHeight);
};

} // namespace routereel
