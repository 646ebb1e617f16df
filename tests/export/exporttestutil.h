#pragma once

// Builders and observers shared by the export engine tests.
#include "export/exportlog.h"
#include "export/exportnotifier.h"
#include "export/exportresult.h"
#include "export/exporttask.h"
#include "export/ffmpegcommandline.h"
#include "export/videoexporter.h"
#include "maps/mapservices.h"
#include "maps/tilecache.h"
#include "media/videosource.h"

#include "support/clipgenerator.h"
#include "support/fakeffmpeg.h"
#include "support/markingtranslator.h"
#include "support/timelinefixtures.h"
#include "support/waitfor.h"

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QProcess>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <optional>

namespace exporttest {

using namespace routereel;
using testsupport::cut;

// An argument list written out on one line: arguments are separated by spaces and contain none.
inline QStringList words(const QString &line)
{
    return line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

inline QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Makes a fake ffmpeg script at `path` the exporter's only ffmpeg.
inline void useFakeFfmpeg(VideoExporter &exporter, const QString &path, const testsupport::FakeFfmpegSpec &spec)
{
    EXPECT_TRUE(testsupport::writeFakeFfmpeg(path, spec));
    FFmpegSearch search;
    search.bundled = {path};
    exporter.setFFmpegSearch(search);
}

// Runs the main thread's events until `done` holds; false after `ms`.
inline bool waitFor(const std::function<bool()> &done, int ms = 180'000)
{
    const bool held = testsupport::waitFor(done, ms);
    QCoreApplication::processEvents();
    return held;
}

using testsupport::MarkingTranslator;

struct RecordingNotifier : ExportNotifier {
    struct Post {
        QString title;
        QString body;
    };
    void postExportNotification(const QString &title, const QString &body) override
    {
        std::lock_guard guard(lock);
        posts.append({title, body});
    }
    qsizetype count()
    {
        std::lock_guard guard(lock);
        return posts.size();
    }
    std::mutex lock;
    QList<Post> posts;
};

struct RecordingLog : ExportLog {
    struct Entry {
        Level level;
        QString title;
        QString detail;
    };
    void add(Level level, const QString &title, const QString &detail) override
    {
        entries.append({level, title, detail});
    }
    QStringList titles() const
    {
        QStringList list;
        for (const Entry &e : entries)
            list << e.title;
        return list;
    }
    QList<Entry> entries;
};

inline TextWidgetExportConfig textWidget(int x, int y, double fontSize = 24)
{
    TextWidgetExportConfig config;
    config.enabled = true;
    config.fontSize = fontSize;
    config.x = x;
    config.y = y;
    return config;
}

// Starts an export and waits for its completion.
inline std::optional<ExportResult> runExport(VideoExporter &exporter, const ExportTask &task, int ms = 180'000)
{
    std::optional<ExportResult> result;
    exporter.exportTask(task, [&result](const ExportResult &r) { result = r; });
    waitFor([&] { return result.has_value(); }, ms);
    return result;
}

// Runs an export that must succeed.
inline ::testing::AssertionResult exportSucceeds(VideoExporter &exporter, const ExportTask &task)
{
    const std::optional<ExportResult> result = runExport(exporter, task);
    if (!result)
        return ::testing::AssertionFailure() << "no result";
    if (!result->succeeded())
        return ::testing::AssertionFailure() << result->message().toStdString();
    return ::testing::AssertionSuccess();
}

// A ride starting at `t0`: one point a second, heading north-east, heart rate rising.
inline GPXTrack makeTrack(int seconds, Instant t0 = 1'700'000'000)
{
    GPXTrack track;
    for (int i = 0; i <= seconds; ++i) {
        TrackPoint p;
        p.lat = 47.37 + i * 0.00005;
        p.lng = 8.54 + i * 0.00007;
        p.time = t0 + i;
        p.heartRate = 100 + i;
        track.trackPoints.append(p);
    }
    track.duration = seconds;
    track.startTime = t0;
    track.endTime = t0 + seconds;
    return track;
}

inline GPXSegment wholeTrack(const GPXTrack &track, double offset = 0)
{
    GPXSegment segment;
    segment.trackID = track.id;
    segment.gpxStart = 0;
    segment.gpxEnd = track.duration;
    segment.offset = offset;
    return segment;
}

// An overlay export of `seconds` of a generated track on a small canvas.
inline ExportTask overlayTask(const QString &output, double seconds, QSizeF canvas = {320, 240})
{
    ExportTask task;
    task.compositionMode = CompositionMode::overlay;
    task.outputURL = QUrl::fromLocalFile(output);
    GPXTrack track = makeTrack(int(std::ceil(seconds)));
    track.duration = seconds;
    task.tracks = {track};
    task.segments = {wholeTrack(track)};
    task.videoResolution = canvas;
    task.videoFPS = 30;
    return task;
}

// The map services at `address` while it lives.
struct MapServicesAt {
    explicit MapServicesAt(const QUrl &address) { MapServices::overrideEndpointsForTesting(address); }
    ~MapServicesAt() { MapServices::overrideEndpointsForTesting({}); }
    MapServicesAt(const MapServicesAt &) = delete;
    MapServicesAt &operator=(const MapServicesAt &) = delete;
};

// An exporter with the application's tile cache limits; only the folder is the test's own.
struct CachedExporter {
    TileCache cache;
    VideoExporter exporter;
    explicit CachedExporter(const QString &root) : cache(options(root)) { exporter.setTileCache(&cache); }

private:
    static TileCache::Options options(const QString &root)
    {
        TileCache::Options o;
        o.root = root;
        return o;
    }
};

// `task` with an OSM map widget of 100 × 100 at (40, 30).
inline ExportTask withOsmMap(ExportTask task)
{
    task.mapEnabled = true;
    task.mapProvider = MapProvider::openStreetMap;
    task.mapSize = QSizeF(100, 100);
    task.mapReferenceSize = QSizeF(100, 100);
    task.overlayX = 40;
    task.overlayY = 30;
    return task;
}

inline VideoSource sourceFor(const QString &path)
{
    return VideoSource::probe(QUrl::fromLocalFile(path), QUuid::createUuid());
}

// A regular export over the given timeline.
inline ExportTask regularTask(const QString &output, const QList<VideoSource> &sources,
                              const QList<VideoSegment> &segments)
{
    ExportTask task;
    task.compositionMode = CompositionMode::regular;
    task.outputURL = QUrl::fromLocalFile(output);
    VideoTimelineSnapshot snapshot;
    snapshot.sources = sources;
    snapshot.segments = segments;
    task.videoTimeline = snapshot;
    task.videoURL = sources.first().url;
    task.videoResolution = snapshot.canvasSize();
    task.videoFPS = sources.first().fps;
    task.videoBitRate = sources.first().bitRate;
    return task;
}

// ffprobe's "key=value" facts of one stream ("v:0", "a:0"); empty without that stream.
inline QMap<QString, QString> probeStream(const QString &file, const QString &stream)
{
    return testsupport::probeStream(file, stream,
                                    QStringLiteral("stream=codec_type,codec_name,pix_fmt,width,height,color_space,"
                                                   "color_transfer,color_primaries,color_range,nb_read_frames"));
}

// Checks the named ffprobe facts of one stream.
inline void expectStream(const QString &file, const char *stream,
                         std::initializer_list<std::pair<const char *, const char *>> expected)
{
    const QMap<QString, QString> got = probeStream(file, QString::fromLatin1(stream));
    for (const auto &[key, value] : expected)
        EXPECT_EQ(got.value(QString::fromLatin1(key)).toStdString(), value) << stream << " " << key;
}

// Frame `index` of a video decoded to RGB.
inline QImage decodeFrame(const QString &file, int index)
{
    const QString png = file + QStringLiteral(".frame%1.png").arg(index);
    QProcess p;
    p.start(QStringLiteral("ffmpeg"),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"), QStringLiteral("-i"), file,
             QStringLiteral("-vf"), QStringLiteral("select=eq(n\\,%1)").arg(index), QStringLiteral("-frames:v"),
             QStringLiteral("1"), png});
    p.waitForFinished(60'000);
    QImage image(png);
    QFile::remove(png);
    return image.convertToFormat(QImage::Format_RGB32);
}

inline bool near(QRgb got, QColor want, int tolerance = 40)
{
    return std::abs(qRed(got) - want.red()) < tolerance && std::abs(qGreen(got) - want.green()) < tolerance
        && std::abs(qBlue(got) - want.blue()) < tolerance;
}

// The export's ffmpeg arguments for `task` in `frame`'s layout, with its filter
// graph (`graph` in its place when given) written to `script`, by default beside `output`.
inline std::optional<QStringList> ffmpegArguments(const ExportTask &task, const QString &frameRate,
                                                  const QString &output, std::optional<PipeFrame> frame = {},
                                                  const QString &graph = {}, QString script = {})
{
    if (script.isEmpty())
        script = output + QStringLiteral(".graph.txt");
    auto command = FFmpegCommandLine::command(task, frame.value_or(PipeFrame::forTask(task)), frameRate, output,
                                              script);
    if (!command)
        return std::nullopt;
    if (!graph.isEmpty())
        command->filterGraph = graph;
    if (const auto unwritten = command->writeFilterScript()) {
        ADD_FAILURE() << unwritten->toStdString();
        return std::nullopt;
    }
    if (const auto copied = command->writePieceFiles({}); copied.outcome != PieceFileWriter::Outcome::written) {
        ADD_FAILURE() << copied.message.toStdString();
        return std::nullopt;
    }
    return command->arguments;
}

} // namespace exporttest
