#include "ffmpegcommandline.h"

#include "exportbitrate.h"
#include "exporttask.h"

#include "media/libavinput.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <utility>

namespace routereel {

namespace {

// The shortest text that reads back as the same number, with a full stop in every locale.
QString number(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

} // namespace

bool FFmpegCommandLine::readsSourceVideo(const ExportTask &task)
{
    return task.compositionMode == CompositionMode::regular && !task.videoURL.isEmpty();
}

ExportColour FFmpegCommandLine::overlayColour(const ExportTask &task)
{
    if (!readsSourceVideo(task))
        return {};
    return exportColour(task.videoTimeline, task.videoURL);
}

namespace {

// What the frames-only graph must still do to the frames: resize them.
bool resizesFrames(double outputScale, int canvasWidth, int canvasHeight)
{
    return outputScale < 1 || canvasWidth % 2 != 0 || canvasHeight % 2 != 0;
}

QString regularFilterGraph(const TimelineFilterGraph &timeline, const PipeFrame &frame, double outputScale,
                           int canvasWidth, int canvasHeight)
{
    // The frames come as yuva420p, so the format filter has nothing to convert.
    QString graph = timeline.filterComplex;
    const QString video = timeline.videoLabel;
    if (!frame.tiled()) {
        graph += QStringLiteral("[0:v]format=yuva420p[ov];") + video
            + QStringLiteral("[ov]overlay=%1:%2:shortest=1:alpha=straight").arg(frame.x).arg(frame.y);
    } else {
        // Each tile is cut from the packed frame (no copy) and laid at its place in
        // turn. Without repeatlast an overlay keeps no reference to the frame it
        // passes on, so the next one blends into it in place instead of copying it
        // whole; with shortest=1 the picture is the same.
        const qsizetype n = frame.tiles.size();
        if (n > 1) {
            graph += QStringLiteral("[0:v]split=%1").arg(n);
            for (qsizetype k = 0; k < n; ++k)
                graph += QStringLiteral("[s%1]").arg(k);
            graph += QLatin1Char(';');
        }
        for (qsizetype k = 0; k < n; ++k) {
            const PipeTile &tile = frame.tiles.at(k);
            graph += (n > 1 ? QStringLiteral("[s%1]").arg(k) : QStringLiteral("[0:v]"))
                + QStringLiteral("crop=%1:%2:%3:%4:exact=1[p%5];")
                      .arg(tile.canvas.width())
                      .arg(tile.canvas.height())
                      .arg(tile.packed.x())
                      .arg(tile.packed.y())
                      .arg(k);
        }
        for (qsizetype k = 0; k < n; ++k) {
            const PipeTile &tile = frame.tiles.at(k);
            graph += (k == 0 ? video : QStringLiteral("[m%1]").arg(k - 1))
                + QStringLiteral("[p%1]overlay=%2:%3:shortest=1:repeatlast=0:alpha=straight")
                      .arg(k)
                      .arg(tile.canvas.x())
                      .arg(tile.canvas.y());
            if (k + 1 < n)
                graph += QStringLiteral("[m%1];").arg(k);
        }
    }
    if (outputScale < 1) {
        const QString s = number(outputScale);
        graph += QStringLiteral(",scale=trunc(iw*%1/2)*2:trunc(ih*%1/2)*2").arg(s);
    } else if (canvasWidth % 2 != 0 || canvasHeight % 2 != 0) {
        // 4:2:0 H.264 needs even sides.
        graph += QStringLiteral(",scale=trunc(iw/2)*2:trunc(ih/2)*2");
    }
    return graph + QStringLiteral("[out]");
}

QString overlayFilterGraph(double outputScale, int canvasWidth, int canvasHeight, FFmpegCommandLine::PipeFormat format)
{
    if (format == FFmpegCommandLine::PipeFormat::yuv420p)
        return QStringLiteral("[0:v]setsar=1[out]");
    QString graph = QStringLiteral("[0:v]scale=");
    if (outputScale < 1) {
        const QString s = number(outputScale);
        graph += QStringLiteral("w=trunc(iw*%1/2)*2:h=trunc(ih*%1/2)*2:").arg(s);
    } else if (canvasWidth % 2 != 0 || canvasHeight % 2 != 0) {
        graph += QStringLiteral("w=trunc(iw/2)*2:h=trunc(ih/2)*2:");
    }
    return graph + QStringLiteral("out_color_matrix=bt709:out_range=tv,format=yuv420p,setsar=1[out]");
}

} // namespace

QString FFmpegCommandLine::pixelFormatName(PipeFormat format)
{
    switch (format) {
    case PipeFormat::yuva420p:
        return QStringLiteral("yuva420p");
    case PipeFormat::yuv420p:
        return QStringLiteral("yuv420p");
    case PipeFormat::bgra:
        break;
    }
    return QStringLiteral("bgra");
}

FFmpegCommandLine::PipeFormat FFmpegCommandLine::pipeFormat(const ExportTask &task)
{
    if (readsSourceVideo(task))
        return PipeFormat::yuva420p;
    const PipeFrame frame = PipeFrame::forTask(task);
    if (task.compositionMode == CompositionMode::overlay && !frame.compact
        && !resizesFrames(task.outputScale, frame.width, frame.height))
        return PipeFormat::yuv420p;
    return PipeFormat::bgra;
}

std::optional<QString> FFmpegCommandLine::Command::writeFilterScript() const
{
    const auto write = [](const QString &path, const QString &content) -> std::optional<QString> {
        QFile file(path);
        const QByteArray text = content.toUtf8();
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size() || !file.flush())
            return QCoreApplication::translate("VideoExporter", "Could not write the filter graph to %1: %2")
                .arg(path, file.errorString());
        return std::nullopt;
    };
    for (const TimelineFilterGraph::ReadList &list : readLists) {
        if (auto unwritten = write(list.path, list.text))
            return unwritten;
    }
    return write(filterScriptPath, filterGraph);
}

PieceFileWriter::Result FFmpegCommandLine::Command::writePieceFiles(const std::function<bool()> &cancelled) const
{
    for (const TimelineFilterGraph::ReadList &list : readLists) {
        if (list.pieces.isEmpty())
            continue;
        if (PieceFileWriter::Result result = PieceFileWriter::write(list.clip, list.stream, list.pieces, cancelled);
            result.outcome != PieceFileWriter::Outcome::written)
            return result;
    }
    return {};
}

QString FFmpegCommandLine::Command::withClipNames(QString text) const
{
    for (const TimelineFilterGraph::ReadList &list : readLists) {
        const QString clip = libavFileName(list.clip);
        text.replace(libavFileName(list.path) + QStringLiteral(": "), clip + QStringLiteral(": "));
        // The concat reader names a file it cannot open in quotes.
        for (const PieceFile &piece : list.pieces)
            text.replace(libavFileName(piece.path), clip);
    }
    return text;
}

QStringList FFmpegCommandLine::Command::inputErrorPrefixes() const
{
    QStringList prefixes;
    for (qsizetype k = 0; k + 1 < arguments.size(); ++k) {
        if (arguments.at(k) == QLatin1String("-i"))
            prefixes << arguments.at(k + 1) + QStringLiteral(": ");
    }
    prefixes.removeDuplicates();  // a clip cut into many pieces is opened once for each
    return prefixes;
}

std::optional<FFmpegCommandLine::Command> FFmpegCommandLine::command(const ExportTask &task, const QString &frameRate,
                                                                     const QString &outputPath,
                                                                     const QString &filterScriptPath,
                                                                     std::optional<TimelineFilterGraphError> *error)
{
    return command(task, PipeFrame::forTask(task), frameRate, outputPath, filterScriptPath, error);
}

std::optional<FFmpegCommandLine::Command> FFmpegCommandLine::command(const ExportTask &task, const PipeFrame &frame,
                                                                     const QString &frameRate,
                                                                     const QString &outputPath,
                                                                     const QString &filterScriptPath,
                                                                     std::optional<TimelineFilterGraphError> *error)
{
    const QString outputName = libavFileName(outputPath);
    const QString scriptName = libavFileName(filterScriptPath);
    for (const auto &[name, path] : {std::pair(outputName, outputPath), std::pair(scriptName, filterScriptPath)}) {
        if (name.isEmpty()) {
            if (error)
                *error = TimelineFilterGraphError(TimelineFilterGraphError::Kind::notAbsolutePath, path);
            return std::nullopt;
        }
    }
    const int width = static_cast<int>(task.videoResolution.width());
    const int height = static_cast<int>(task.videoResolution.height());
    const bool regular = readsSourceVideo(task);
    const PipeFormat format = pipeFormat(task);

    std::optional<TimelineFilterGraph> timeline;
    if (regular) {
        timeline = ffmpegFilterGraph(task.videoTimeline, task.videoURL, width, height, frameRate, error, {},
                                     QFileInfo(filterScriptPath).absolutePath());
        if (!timeline)
            return std::nullopt;
    }

    // Errors only: a failure is reported by ffmpeg's last lines, which must not be
    // its banner, progress or encoder statistics.
    QStringList args{QStringLiteral("-loglevel"), QStringLiteral("error"),
                     QStringLiteral("-y"),        QStringLiteral("-threads"),
                     QStringLiteral("0"),         QStringLiteral("-f"),
                     QStringLiteral("rawvideo"),  QStringLiteral("-pix_fmt"),
                     pixelFormatName(format),      QStringLiteral("-s"),
                     QStringLiteral("%1x%2").arg(frame.sentSize().width()).arg(frame.sentSize().height()),
                     QStringLiteral("-r"),        frameRate,
                     QStringLiteral("-i"),        QStringLiteral("pipe:0")};
    if (regular)
        args << timeline->inputArguments;

    const QString graph = regular ? regularFilterGraph(*timeline, frame, task.outputScale, width, height)
                                  : overlayFilterGraph(task.outputScale, width, height, format);
    args << QStringLiteral("-filter_complex_script") << scriptName << QStringLiteral("-map") << QStringLiteral("[out]")
         << QStringLiteral("-r") << frameRate;
    if (regular)
        args << QStringLiteral("-map") << timeline->audioMap;
    else
        args << QStringLiteral("-an");

    const std::int64_t bitRate = targetBitRate(task.compositionMode, width, height, task.videoBitRate,
                                               task.outputScale, task.compressionFactor);
    const auto maxRate = static_cast<std::int64_t>(static_cast<double>(bitRate) * 1.2);
    args << QStringLiteral("-c:v") << QStringLiteral("libx264") << QStringLiteral("-preset")
         << QStringLiteral("medium") << QStringLiteral("-b:v") << QString::number(bitRate)
         << QStringLiteral("-maxrate") << QString::number(maxRate) << QStringLiteral("-bufsize")
         << QString::number(2 * bitRate);

    if (regular) {
        if (timeline->copiesAudio)
            args << QStringLiteral("-c:a") << QStringLiteral("copy");
        else
            args << QStringLiteral("-c:a") << QStringLiteral("aac") << QStringLiteral("-b:a")
                 << QStringLiteral("192000") << timeline->soundFilterArguments;
        // The overlays were converted with these colours and the pieces brought to them.
        args << timeline->colour.outputArguments();
    } else {
        args << QStringLiteral("-colorspace") << QStringLiteral("bt709") << QStringLiteral("-color_primaries")
             << QStringLiteral("bt709") << QStringLiteral("-color_trc") << QStringLiteral("iec61966-2-1")
             << QStringLiteral("-color_range") << QStringLiteral("tv") << QStringLiteral("-bsf:v")
             << QStringLiteral("h264_metadata=colour_primaries=1:transfer_characteristics=13:matrix_coefficients=1:"
                               "video_full_range_flag=0");
    }
    args << QStringLiteral("-progress") << QStringLiteral("pipe:1") << outputName;
    return Command{args, graph, filterScriptPath, regular ? timeline->readLists : QList<TimelineFilterGraph::ReadList>{}};
}

} // namespace routereel
