// One export through the real queue and exporter, timed, with the named
// widgets at their default places and raster map tiles from a loopback server.
#include "benchcommand.h"

#include "export/exportbitrate.h"
#include "export/exportlayout.h"
#include "export/exportpreset.h"
#include "export/exportqueue.h"
#include "export/ffmpegcommandline.h"
#include "export/ffmpegruntime.h"
#include "export/videoexporter.h"
#include "maps/mapservices.h"
#include "maps/tilecache.h"
#include "maps/webmappage.h"
#include "timeline/timelineengine.h"
#include "timeline/videosource.h"
#include "tracks/gpxservice.h"
#include "widgets/gpspathwidgetsettings.h"
#include "widgets/heartrategraphwidgetsettings.h"
#include "widgets/heartratewidgetsettings.h"
#include "widgets/mapsettings.h"
#include "widgets/speedwidgetsettings.h"
#include "widgets/timewidgetsettings.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <cmath>
#include <cstdio>
#include <sys/resource.h>

namespace routereel::bench {
namespace {

// Street-like tiles for any tile path, served on a thread of its own.
class TileServer {
public:
    TileServer()
    {
        for (int i = 0; i < 4; ++i) {
            QImage image(512, 512, QImage::Format_RGB32);
            image.fill(QColor::fromHsv(30 + i * 20, 25, 238));
            QPainter p(&image);
            p.setPen(QPen(Qt::white, 14));
            p.drawLine(0, 128 + i * 60, 512, 200 + i * 40);
            p.drawLine(100 + i * 90, 0, 300 - i * 30, 512);
            p.setPen(QPen(QColor(160, 200, 150), 30));
            p.drawPoint(400 - i * 70, 380);
            p.end();
            QBuffer buffer(&m_pngs[i]);
            buffer.open(QIODevice::WriteOnly);
            image.save(&buffer, "PNG");
        }
        m_context = new QObject;
        m_context->moveToThread(&m_thread);
        m_thread.start();
        QMetaObject::invokeMethod(
            m_context,
            [this] {
                auto *server = new QTcpServer(m_context);
                server->listen(QHostAddress::LocalHost, 0);
                m_port = server->serverPort();
                QObject::connect(server, &QTcpServer::newConnection, m_context, [this, server] {
                    while (QTcpSocket *s = server->nextPendingConnection()) {
                        QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
                        QObject::connect(s, &QTcpSocket::readyRead, s, [this, s] {
                            QByteArray request = s->property("request").toByteArray() + s->readAll();
                            s->setProperty("request", request);
                            if (!request.contains("\r\n\r\n"))
                                return;
                            const QByteArray &body = m_pngs[qHash(request) % 4];
                            s->write("HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nContent-Length: "
                                     + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
                            s->disconnectFromHost();
                        });
                    }
                });
            },
            Qt::BlockingQueuedConnection);
    }
    ~TileServer()
    {
        QMetaObject::invokeMethod(m_context, [this] { delete m_context; }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_port)); }

private:
    QThread m_thread;
    QObject *m_context = nullptr;
    quint16 m_port = 0;
    QByteArray m_pngs[4];
};

struct Options {
    QString video;
    QString track;
    QString output;
    bool overlay = false;
    QStringList widgets;
    std::optional<ExportPreset> preset;
    QString tiles;
    bool compare = false;
};

const QStringList allWidgets{QStringLiteral("map"),   QStringLiteral("gpspath"), QStringLiteral("speed"),
                             QStringLiteral("time"),  QStringLiteral("heartrate"), QStringLiteral("hrgraph")};

// Widget centres in output pixels, from their default places on the reference
// canvas, as the export action places widgets that were never moved.
struct Placement {
    QSizeF layout;
    QRectF fitted;
    double scale = 1;

    explicit Placement(const QSizeF &output)
    {
        layout = referenceCanvasSize(output);
        fitted = aspectFitRect(layout, output);
        scale = fitted.width() / std::max(1.0, layout.width());
    }
    QPoint centre(QPointF defaultCentre, QSizeF halfBox) const
    {
        const QPointF c = clampedWidgetCenter(defaultCentre, layout, halfBox);
        return {std::max(0, int(fitted.x() + c.x() * scale)), std::max(0, int(fitted.y() + c.y() * scale))};
    }
};

double borderAllowance(MapBorderStyle style)
{
    return borderTotalWidth(style) * (style == MapBorderStyle::gta ? 1.5 : 1.0);
}

std::optional<ExportTask> buildTask(const Options &o, const VideoSource &source, const GPXTrack &track,
                                    QString *error)
{
    ExportTask task;
    task.outputURL = QUrl::fromLocalFile(QFileInfo(o.output).absoluteFilePath());
    task.tracks = {track};
    GPXSegment segment;
    segment.trackID = track.id;
    segment.gpxEnd = track.duration;
    task.segments = {segment};
    const QSizeF canvas = source.resolution;
    if (o.overlay) {
        task.compositionMode = CompositionMode::overlay;
        const ExportPreset preset = o.preset && overlayPresets().contains(*o.preset) ? *o.preset : ExportPreset::p1080;
        task.videoResolution = outputSize(preset, canvas);
        task.videoTimeline = VideoTimelineSnapshot{};
        task.videoFPS = 30;
        task.videoDuration = track.duration;
    } else {
        task.compositionMode = CompositionMode::regular;
        VideoTimelineSnapshot snapshot;
        snapshot.sources = {source};
        VideoSegment cut;
        cut.id = QUuid::createUuid();
        cut.sourceID = source.id;
        cut.sourceEnd = source.duration;
        snapshot.segments = {cut};
        task.videoTimeline = snapshot;
        task.videoURL = source.url;
        task.videoResolution = canvas;
        task.videoFPS = source.fps;
        task.videoBitRate = source.bitRate;
        task.videoDuration = source.duration;
        task.outputScale = regularOutputScale(o.preset.value_or(ExportPreset::original), canvas);
        if (task.videoResolution.isEmpty()) {
            *error = QStringLiteral("the video has no usable size");
            return std::nullopt;
        }
    }

    const Placement place(task.videoResolution);
    const double s = place.scale;
    const QSizeF L = place.layout;
    task.previewToVideoScale = s;
    task.mapLanguage = QStringLiteral("en");
    task.mapProvider = MapProvider::openStreetMap;

    MapSettings map;
    const double w = map.width();
    const double e = map.effectiveHeight();
    task.mapEnabled = o.widgets.contains(QStringLiteral("map"));
    task.mapSize = QSizeF(w * s, e * s);
    task.mapReferenceSize = QSizeF(w, e);
    task.mapShape = map.shape();
    task.mapBorderStyle = map.borderStyle();
    task.cornerRadius = map.cornerRadius() * s;
    task.orientation = map.orientation();
    task.zoomLevel = map.zoomLevel();
    task.overlayOpacity = map.opacity();
    const double i = borderAllowance(map.borderStyle());
    // The stored corner is the map's own, from its unrounded centre.
    const QPointF c = clampedWidgetCenter({w / 2 + 16, e / 2 + 16}, L, {w / 2 + i, e / 2 + i});
    task.overlayX = std::max(0, int(place.fitted.x() + (c.x() - w / 2) * s));
    task.overlayY = std::max(0, int(place.fitted.y() + (c.y() - e / 2) * s));

    const auto text = [&](bool enabled, double fontSize, double opacity, QPointF centre) {
        TextWidgetExportConfig config;
        config.enabled = enabled;
        config.fontSize = fontSize * s;
        config.opacity = opacity;
        const QPoint p = place.centre(centre, {0, 0});
        config.x = p.x();
        config.y = p.y();
        return config;
    };
    TimeWidgetSettings time;
    task.timeWidget = text(o.widgets.contains(QStringLiteral("time")), time.fontSize(), time.opacity(),
                           {L.width() - 80, L.height() - 30});
    SpeedWidgetSettings speed;
    task.speedWidget = text(o.widgets.contains(QStringLiteral("speed")), speed.fontSize(), speed.opacity(),
                            {80, L.height() - 30});
    task.speedWidget.speedUnit = speed.unit();
    HeartRateWidgetSettings heart;
    task.heartRateWidget = text(o.widgets.contains(QStringLiteral("heartrate")), heart.fontSize(), heart.opacity(),
                                {80, L.height() - 66});
    task.heartRateWidget.hrShowIcon = heart.showIcon();
    task.heartRateWidget.hrShowMinMax = heart.showMinMax();

    HeartRateGraphWidgetSettings graph;
    task.heartRateGraphWidget.enabled = o.widgets.contains(QStringLiteral("hrgraph"));
    task.heartRateGraphWidget.pixelWidth = graph.width() * s;
    task.heartRateGraphWidget.pixelHeight = graph.height() * s;
    task.heartRateGraphWidget.referenceWidth = graph.width();
    task.heartRateGraphWidget.opacity = graph.opacity();
    const QPoint g = place.centre({L.width() - graph.width() / 2 - 16, L.height() - graph.height() / 2 - 200},
                                  {graph.width() / 2, graph.height() / 2});
    task.heartRateGraphWidget.centerX = g.x();
    task.heartRateGraphWidget.centerY = g.y();

    GPSPathWidgetSettings path;
    const double ps = path.width();
    const double j = borderAllowance(path.borderStyle());
    task.gpsPathWidget.enabled = o.widgets.contains(QStringLiteral("gpspath"));
    task.gpsPathWidget.pixelSize = ps * s;
    task.gpsPathWidget.referenceSize = ps;
    task.gpsPathWidget.opacity = path.opacity();
    task.gpsPathWidget.showMap = true;  // the tiles are part of what is measured
    task.gpsPathWidget.padding = path.padding() * s;
    task.gpsPathWidget.borderStyle = path.borderStyle();
    const QPoint p = place.centre({L.width() - ps / 2 - 16, L.height() - ps / 2 - 16}, {ps / 2 + j, ps / 2 + j});
    task.gpsPathWidget.centerX = p.x();
    task.gpsPathWidget.centerY = p.y();
    return task;
}

double peakMegabytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    }
    return 0;
}

double childPeakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_maxrss / 1024.0;
}

// Seconds ffmpeg takes for `args`; negative when it fails.
double timeFfmpeg(const QStringList &args)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    process.start(QStringLiteral("ffmpeg"), QStringList{QStringLiteral("-v"), QStringLiteral("error")} + args);
    if (!process.waitForFinished(-1) || process.exitCode() != 0)
        return -1;
    return timer.nsecsElapsed() / 1e9;
}

// Frames per second of the encode the export is compared with: the same source,
// or the same frames read from a file, through the same encoder settings.
double referenceFps(const Options &o, const ExportTask &task, long long exportedFrames, QJsonObject &out)
{
    const QString scratch = QDir(QDir::tempPath()).filePath(QStringLiteral("routereel-bench-reference.mp4"));
    const int width = int(task.videoResolution.width());
    const int height = int(task.videoResolution.height());
    const std::int64_t bitRate = targetBitRate(task.compositionMode, width, height, task.videoBitRate,
                                               task.outputScale, task.compressionFactor);
    if (!o.overlay) {
        out.insert(QStringLiteral("reference"), QStringLiteral("plain transcode"));
        const double seconds = timeFfmpeg({QStringLiteral("-y"), QStringLiteral("-threads"), QStringLiteral("0"), QStringLiteral("-i"),
                           o.video, QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-preset"),
                           QStringLiteral("medium"), QStringLiteral("-b:v"), QString::number(bitRate),
                           QStringLiteral("-maxrate"), QString::number(std::int64_t(double(bitRate) * 1.2)),
                           QStringLiteral("-bufsize"), QString::number(2 * bitRate), QStringLiteral("-c:a"),
                           QStringLiteral("copy"), scratch});
        QFile::remove(scratch);
        return seconds < 0 ? seconds : exportedFrames / seconds;
    }
    // The exported frames, back as raw BGRA in memory-backed storage; at most
    // 600 of them (5 GB at 1080p), the time scaled up to the whole export.
    out.insert(QStringLiteral("reference"), QStringLiteral("same frames from a raw file"));
    const QString raw = QStringLiteral("/dev/shm/routereel-bench-frames.raw");
    const long long frames = std::min<long long>(600, std::llround(task.frameRate() * task.videoDuration));
    if (timeFfmpeg({QStringLiteral("-y"), QStringLiteral("-i"), o.output, QStringLiteral("-frames:v"),
                    QString::number(frames), QStringLiteral("-f"), QStringLiteral("rawvideo"),
                    QStringLiteral("-pix_fmt"), QStringLiteral("bgra"), raw})
        < 0)
        return -1;
    QStringList args = *FFmpegCommandLine::arguments(task, FFmpegRuntime::ffmpegFrameRate(task.frameRate()), scratch);
    args[args.indexOf(QStringLiteral("pipe:0"))] = raw;
    const qsizetype progress = args.indexOf(QStringLiteral("-progress"));
    args.remove(progress, 2);
    const double seconds = timeFfmpeg(args);
    QFile::remove(raw);
    QFile::remove(scratch);
    return seconds < 0 ? seconds : frames / seconds;
}

int run(const QStringList &args)
{
    Options o;
    QStringList positional;
    for (qsizetype k = 0; k < args.size(); ++k) {
        const QString &a = args.at(k);
        const auto next = [&] { return k + 1 < args.size() ? args.at(++k) : QString(); };
        if (a == QStringLiteral("--overlay")) {
            o.overlay = true;
        } else if (a == QStringLiteral("--widgets")) {
            const QString list = next();
            o.widgets = list == QStringLiteral("all") ? allWidgets : list.split(QLatin1Char(','), Qt::SkipEmptyParts);
        } else if (a == QStringLiteral("--preset")) {
            o.preset = enumFromText<ExportPreset>(next());
            if (!o.preset) {
                std::fprintf(stderr, "unknown preset\n");
                return 2;
            }
        } else if (a == QStringLiteral("--tiles")) {
            o.tiles = next();
        } else if (a == QStringLiteral("--compare")) {
            o.compare = true;
        } else {
            positional << a;
        }
    }
    if (positional.size() != 3) {
        std::fprintf(stderr, "usage: export VIDEO TRACK OUTPUT [--overlay] [--widgets LIST|all] [--preset NAME] "
                             "[--tiles URL] [--compare]\n  widgets: %s\n",
                     qPrintable(allWidgets.join(QLatin1Char(','))));
        return 2;
    }
    o.video = positional.at(0);
    o.track = positional.at(1);
    o.output = positional.at(2);
    if (o.widgets.isEmpty())
        o.widgets = allWidgets;
    for (const QString &w : o.widgets) {
        if (!allWidgets.contains(w)) {
            std::fprintf(stderr, "unknown widget %s\n", qPrintable(w));
            return 2;
        }
    }

    QJsonObject out;
    const auto fail = [&](const QString &message) {
        out.insert(QStringLiteral("error"), message);
        std::printf("%s\n", QJsonDocument(out).toJson(QJsonDocument::Compact).constData());
        return 1;
    };
    VideoSource source;
    try {
        source = VideoSource::probe(QUrl::fromLocalFile(QFileInfo(o.video).absoluteFilePath()), QUuid::createUuid());
    } catch (const std::exception &e) {
        return fail(QStringLiteral("video: ") + QString::fromLocal8Bit(e.what()));
    } catch (...) {
        return fail(QStringLiteral("video: unreadable"));
    }
    const auto track = GPXService::loadTrack(QUrl::fromLocalFile(QFileInfo(o.track).absoluteFilePath()));
    if (!track)
        return fail(QStringLiteral("track: ") + track.error().message());
    QString error;
    const auto task = buildTask(o, source, track.value(), &error);
    if (!task)
        return fail(error);

    std::unique_ptr<TileServer> server;
    if (o.tiles.isEmpty()) {
        server = std::make_unique<TileServer>();
        MapServices::overrideEndpointsForTesting(server->url());
    } else {
        MapServices::overrideEndpointsForTesting(QUrl(o.tiles));
    }
    // Kept between runs, apart from the user's own tile cache: the second run measures cached tiles.
    TileCache::Options cacheOptions;
    cacheOptions.root = QDir(QDir::tempPath()).filePath(QStringLiteral("routereel-bench-tiles"));
    TileCache cache(cacheOptions);

    // Raster tiles only: the web map pages (another subcommand may have made them
    // available in this process) are not what this measures.
    const WebMapPageFactory webPages = webMapPageFactory();
    setWebMapPageFactory({});
    ExportQueue queue;
    queue.exporter()->setTileCache(&cache);
    QElapsedTimer timer;
    timer.start();
    queue.enqueue(*task);
    while (queue.isBusy())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const double seconds = timer.nsecsElapsed() / 1e9;
    MapServices::overrideEndpointsForTesting(QUrl());
    setWebMapPageFactory(webPages);
    const ExportTaskRuntime &done = queue.history().first();
    if (done.status.kind() != ExportTaskStatus::Kind::completed)
        return fail(done.status.message());

    const VideoExporter::RunStats stats = queue.exporter()->lastRunStats();
    out.insert(QStringLiteral("mode"), o.overlay ? QStringLiteral("overlay") : QStringLiteral("regular"));
    out.insert(QStringLiteral("size"), QStringLiteral("%1x%2").arg(task->videoResolution.width()).arg(
                                           task->videoResolution.height()));
    out.insert(QStringLiteral("widgets"), o.widgets.join(QLatin1Char(',')));
    out.insert(QStringLiteral("frames"), stats.frames);
    out.insert(QStringLiteral("seconds"), seconds);
    out.insert(QStringLiteral("fps"), stats.frames / seconds);
    out.insert(QStringLiteral("drawSeconds"), stats.drawSeconds);
    out.insert(QStringLiteral("pipeWaitSeconds"), stats.pipeWaitSeconds);
    out.insert(QStringLiteral("writeBlockedSeconds"), stats.writeSeconds);
    out.insert(QStringLiteral("peakMemoryMB"), peakMegabytes());
    out.insert(QStringLiteral("ffmpegPeakMemoryMB"), childPeakMegabytes());
    if (o.compare) {
        const double reference = referenceFps(o, *task, stats.frames, out);
        if (reference > 0) {
            out.insert(QStringLiteral("referenceFps"), reference);
            out.insert(QStringLiteral("ratio"), (stats.frames / seconds) / reference);
        }
    }
    std::printf("%s\n", QJsonDocument(out).toJson(QJsonDocument::Compact).constData());
    return 0;
}

const bool registered = registerCommand(
    "export", "VIDEO TRACK OUTPUT [--overlay] [--widgets LIST|all] [--preset NAME] [--tiles URL] [--compare]", run);

} // namespace
} // namespace routereel::bench
