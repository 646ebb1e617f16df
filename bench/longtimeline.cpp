// ffmpeg's memory for a timeline of many pieces: CLIP cut into PIECES pieces
// from all over it, each read from the keyframe before its cut, exported on the
// clip's own canvas or CANVAS through the real exporter, ffmpeg run under
// /usr/bin/time -v. Prints one JSON line: pieces, canvas, seconds and the peak
// resident memory of ffmpeg and of the exporting process.
#include "benchcommand.h"

#include "export/exporttask.h"
#include "export/ffmpegruntime.h"
#include "export/videoexporter.h"
#include "media/videosource.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstdio>

#include <sys/resource.h>

namespace routereel::bench {
namespace {

// A stand-in for ffmpeg that runs the export's ffmpeg under /usr/bin/time -v and
// the runtime's probes ("-version", "-encoders") plainly.
bool writeTimedFfmpeg(const QString &path, const QString &ffmpeg, const QString &report)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QStringLiteral("#!/bin/sh\n"
                              "case \" $* \" in *\" -progress \"*) exec /usr/bin/time -v -o '%1' '%2' \"$@\";; esac\n"
                              "exec '%2' \"$@\"\n")
                   .arg(report, ffmpeg)
                   .toUtf8());
    file.close();
    return file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
}

// This process's own peak: the exporter's side of the same export.
double appPeakMiB()
{
    rusage usage{};
    return ::getrusage(RUSAGE_SELF, &usage) == 0 ? double(usage.ru_maxrss) / 1024 : -1;
}

int run(const QStringList &args)
{
    QStringList positional;
    QSizeF canvas;
    double pieceSeconds = 0.2;
    for (qsizetype k = 0; k < args.size(); ++k) {
        if (args.at(k) == QStringLiteral("--canvas") && k + 1 < args.size()) {
            const QStringList size = args.at(++k).split(QLatin1Char('x'));
            if (size.size() == 2)
                canvas = QSizeF(size.at(0).toDouble(), size.at(1).toDouble());
        } else if (args.at(k) == QStringLiteral("--piece") && k + 1 < args.size()) {
            pieceSeconds = args.at(++k).toDouble();
        } else {
            positional << args.at(k);
        }
    }
    const int pieces = positional.size() == 3 ? positional.at(1).toInt() : 0;
    if (pieces < 1 || !(pieceSeconds > 0)) {
        std::fprintf(stderr, "usage: long-timeline CLIP PIECES OUTPUT [--canvas WxH] [--piece SECONDS]\n");
        return 2;
    }
    QTemporaryDir dir;
    const QString ffmpeg = FFmpegRuntime::locateFFmpeg();
    const QString report = dir.filePath(QStringLiteral("time.txt"));
    const QString wrapper = dir.filePath(QStringLiteral("ffmpeg"));
    if (!dir.isValid() || ffmpeg.isEmpty() || !writeTimedFfmpeg(wrapper, ffmpeg, report)) {
        std::fprintf(stderr, "no ffmpeg to run\n");
        return 1;
    }

    const VideoSource clip
        = VideoSource::probe(QUrl::fromLocalFile(QFileInfo(positional.at(0)).absoluteFilePath()), QUuid::createUuid());
    VideoTimelineSnapshot timeline;
    timeline.sources = {clip};
    // Pieces from all over the clip, end to end, so that every one is read from its own place.
    const double span = std::max(0.0, clip.duration - pieceSeconds);
    for (int p = 0; p < pieces; ++p) {
        const double start = pieces > 1 ? span * p / (pieces - 1) : 0;
        timeline.segments.append({QUuid::createUuid(), clip.id, start, start + pieceSeconds, p * pieceSeconds});
    }
    ExportTask task;
    task.compositionMode = CompositionMode::regular;
    task.outputURL = QUrl::fromLocalFile(QFileInfo(positional.at(2)).absoluteFilePath());
    task.videoTimeline = timeline;
    task.videoURL = clip.url;
    task.videoResolution = canvas.isEmpty() ? clip.resolution : canvas;
    task.videoFPS = clip.fps;
    task.videoBitRate = clip.bitRate;

    VideoExporter exporter;
    FFmpegSearch search;
    search.bundled = {wrapper};
    exporter.setFFmpegSearch(search);
    QEventLoop loop;
    std::optional<ExportResult> result;
    QElapsedTimer timer;
    timer.start();
    exporter.exportTask(task, [&](const ExportResult &r) {
        result = r;
        loop.quit();
    });
    if (!result)
        loop.exec();
    const double seconds = timer.nsecsElapsed() / 1e9;

    QFile timeReport(report);
    const QString text = timeReport.open(QIODevice::ReadOnly) ? QString::fromUtf8(timeReport.readAll()) : QString();
    const auto match = QRegularExpression(QStringLiteral("Maximum resident set size \\(kbytes\\): (\\d+)")).match(text);
    QJsonObject out{{QStringLiteral("pieces"), pieces},
                    {QStringLiteral("canvas"), QStringLiteral("%1x%2")
                                                   .arg(task.videoResolution.width())
                                                   .arg(task.videoResolution.height())},
                    {QStringLiteral("clip"), QStringLiteral("%1x%2")
                                                 .arg(clip.resolution.width())
                                                 .arg(clip.resolution.height())},
                    {QStringLiteral("seconds"), seconds},
                    {QStringLiteral("ffmpegMaxRssMiB"), match.hasMatch() ? match.captured(1).toDouble() / 1024 : -1},
                    {QStringLiteral("appMaxRssMiB"), appPeakMiB()},
                    {QStringLiteral("message"), result && !result->succeeded() ? result->message() : QString()}};
    std::printf("%s\n", QJsonDocument(out).toJson(QJsonDocument::Compact).constData());
    return result && result->succeeded() ? 0 : 1;
}

const bool registered
    = registerCommand("long-timeline", "CLIP PIECES OUTPUT [--canvas WxH] [--piece SECONDS]", run);

} // namespace
} // namespace routereel::bench
