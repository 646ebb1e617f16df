#include "benchexport.h"

#include "export/exportbitrate.h"
#include "export/exportqueue.h"
#include "export/ffmpegcommandline.h"
#include "export/ffmpegruntime.h"

#include "export/videoexporter.h"
#include "maps/mapservices.h"
#include "maps/tilecache.h"
#include "maps/webmapcapturepool.h"
#include "maps/webmappage.h"
#include "support/waitfor.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <sys/resource.h>

namespace routereel::bench {

BenchTileServer::BenchTileServer(int latencyMs)
{
    auto pngs = std::make_shared<std::array<QByteArray, 8>>();
    for (int i = 0; i < 8; ++i) {
        QImage image(512, 512, QImage::Format_RGB32);
        image.fill(QColor::fromHsv(30 + i * 10, 25, 238));
        QPainter p(&image);
        p.setPen(QPen(Qt::white, 14));
        p.drawLine(0, 128 + i * 30, 512, 200 + i * 20);
        p.drawLine(100 + i * 45, 0, 300 - i * 15, 512);
        p.setPen(QPen(QColor(160, 200, 150), 30));
        p.drawPoint(400 - i * 35, 380);
        p.end();
        QBuffer buffer(&(*pngs)[std::size_t(i)]);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
    }
    m_server = std::make_unique<testsupport::LoopbackHttpServer>([pngs, latencyMs](const testsupport::HttpRequest &r) {
        testsupport::HttpResponse response;
        response.contentType = "image/png";
        response.body = (*pngs)[qHash(r.target) % 8];
        response.delayMs = latencyMs;
        return response;
    });
}

BenchTileServer::~BenchTileServer() = default;

QUrl BenchTileServer::url() const
{
    return m_server->baseUrl();
}

int BenchTileServer::requests() const
{
    return m_server->requestCount();
}

BenchSettings::BenchSettings()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.path());
}

namespace {

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

// User and system CPU seconds of this process (`who` RUSAGE_SELF) or of its ended children.
double cpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    const auto seconds = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double childPeakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_maxrss / 1024.0;
}

// The web engine's processes under this one (renderers, zygotes, utilities):
// their memory together, and how many of them there are.
struct WebEngineProcesses {
    double megabytes = 0;
    int processes = 0;
};

WebEngineProcesses webEngineProcesses()
{
    QHash<qint64, qint64> parent;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool ok = false;
        const qint64 pid = entry.toLongLong(&ok);
        if (!ok)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        // "pid (name) state ppid ...": the name may hold spaces, so read after its ')'.
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1)
            parent.insert(pid, fields.at(1).toLongLong());
    }
    const qint64 self = QCoreApplication::applicationPid();
    WebEngineProcesses out;
    for (auto it = parent.constBegin(); it != parent.constEnd(); ++it) {
        qint64 up = it.value();
        for (int depth = 0; depth < 8 && up > 1 && up != self; ++depth)
            up = parent.value(up, 0);
        if (up != self || it.key() == self)
            continue;
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(it.key()));
        if (!cmdline.open(QIODevice::ReadOnly))
            continue;
        const QByteArray command = cmdline.readAll();
        if (!command.contains("QtWebEngineProcess"))
            continue;
        ++out.processes;
        // Proportional set size: pages the processes share are counted once between them.
        QFile rollup(QStringLiteral("/proc/%1/smaps_rollup").arg(it.key()));
        if (!rollup.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &row : rollup.readAll().split('\n')) {
            if (row.startsWith("Pss:"))
                out.megabytes += row.mid(4).trimmed().split(' ').first().toDouble() / 1024;
        }
    }
    return out;
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
double referenceFps(const ExportTask &task, long long exportedFrames, QJsonObject &out)
{
    const QString scratch = QDir(QDir::tempPath()).filePath(QStringLiteral("routereel-bench-reference.mp4"));
    const QString frameRate = FFmpegRuntime::ffmpegFrameRate(task.frameRate());
    const QString script = QDir(QDir::tempPath()).filePath(QStringLiteral("routereel-bench-reference-graph.txt"));
    const auto command = FFmpegCommandLine::command(task, frameRate, scratch, script);
    if (!command || command->writeFilterScript())
        return -1;
    const auto removeScript = qScopeGuard([&script] { QFile::remove(script); });
    const QStringList *exportArgs = &command->arguments;
    if (task.compositionMode == CompositionMode::regular) {
        out.insert(QStringLiteral("reference"), QStringLiteral("plain transcode"));
        // The export's own encoder and audio arguments, word for word: from "-c:v" up to its progress report.
        const qsizetype from = exportArgs->indexOf(QStringLiteral("-c:v"));
        const qsizetype to = exportArgs->indexOf(QStringLiteral("-progress"));
        if (from < 0 || to < from)
            return -1;
        QStringList args{QStringLiteral("-y"), QStringLiteral("-threads"), QStringLiteral("0"), QStringLiteral("-i"),
                         task.videoURL.toLocalFile()};
        if (task.outputScale < 1)
            args << QStringLiteral("-vf")
                 << QStringLiteral("scale=trunc(iw*%1/2)*2:trunc(ih*%1/2)*2")
                        .arg(QString::number(task.outputScale, 'g', QLocale::FloatingPointShortest));
        args << QStringLiteral("-map") << QStringLiteral("0:v:0") << QStringLiteral("-map") << QStringLiteral("0:a?")
             << QStringLiteral("-r") << frameRate << exportArgs->mid(from, to - from) << scratch;
        out.insert(QStringLiteral("referenceArguments"), args.join(QLatin1Char(' ')));
        // Its CPU time too: the export's own process and ffmpeg together are compared with it.
        const double cpuBefore = cpuSeconds(RUSAGE_CHILDREN);
        const double seconds = timeFfmpeg(args);
        out.insert(QStringLiteral("referenceCpuSeconds"), cpuSeconds(RUSAGE_CHILDREN) - cpuBefore);
        QFile::remove(scratch);
        return seconds < 0 ? seconds : exportedFrames / seconds;
    }
    // The exported frames, back in the pipe's pixel format in memory-backed
    // storage; at most 600 of them (5 GB of BGRA at 1080p), the time scaled up
    // to the whole export.
    out.insert(QStringLiteral("reference"), QStringLiteral("same frames from a raw file"));
    const QString raw = QStringLiteral("/dev/shm/routereel-bench-frames.raw");
    const long long frames = std::min<long long>(600, std::llround(task.frameRate() * task.videoDuration));
    const QString pixelFormat = FFmpegCommandLine::pixelFormatName(FFmpegCommandLine::pipeFormat(task));
    if (timeFfmpeg({QStringLiteral("-y"), QStringLiteral("-i"), task.outputURL.toLocalFile(),
                    QStringLiteral("-frames:v"), QString::number(frames), QStringLiteral("-f"),
                    QStringLiteral("rawvideo"), QStringLiteral("-pix_fmt"), pixelFormat, raw})
        < 0)
        return -1;
    QStringList args = *exportArgs;
    args[args.indexOf(QStringLiteral("pipe:0"))] = raw;
    const qsizetype progress = args.indexOf(QStringLiteral("-progress"));
    args.remove(progress, 2);
    const double seconds = timeFfmpeg(args);
    QFile::remove(raw);
    QFile::remove(scratch);
    return seconds < 0 ? seconds : frames / seconds;
}

void printLine(const QJsonObject &out)
{
    std::printf("%s\n", QJsonDocument(out).toJson(QJsonDocument::Compact).constData());
    std::fflush(stdout);
}

} // namespace

int printError(const QString &message, const QString &detail)
{
    // "message" as in a success's line: a check reads the outcome's words from one key.
    QJsonObject out{{QStringLiteral("error"), message}, {QStringLiteral("message"), message}};
    if (!detail.isEmpty() && detail != message)
        out.insert(QStringLiteral("detail"), detail);
    printLine(out);
    return 1;
}

bool writeBenchRoute(const QString &path, const QString &shape)
{
    const bool bends = shape == QStringLiteral("bends");
    if (!bends && shape != QStringLiteral("loop"))
        return false;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    constexpr int points = 121;
    constexpr double speed = 22.2;  // m/s
    constexpr double metresPerDegree = 111'320;
    const QDateTime start(QDate(2023, 5, 1), QTime(6, 0), Qt::UTC);
    double lat = 47.3769;
    double lng = 8.5417;
    QByteArray gpx = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx version=\"1.1\" creator=\"routereel-bench\" "
                     "xmlns=\"http://www.topografix.com/GPX/1/1\" "
                     "xmlns:gpxtpx=\"http://www.garmin.com/xmlschemas/TrackPointExtension/v1\">\n<trk><trkseg>\n";
    for (int i = 0; i < points; ++i) {
        gpx += QStringLiteral("<trkpt lat=\"%1\" lon=\"%2\"><time>%3</time><extensions><gpxtpx:TrackPointExtension>"
                              "<gpxtpx:hr>%4</gpxtpx:hr></gpxtpx:TrackPointExtension></extensions></trkpt>\n")
                   .arg(lat, 0, 'f', 7)
                   .arg(lng, 0, 'f', 7)
                   .arg(start.addSecs(i).toString(Qt::ISODate))
                   .arg(120 + i % 30)
                   .toUtf8();
        // Bends: the heading swings 70 degrees either way every 10 s. Loop: each
        // 6 s quarter runs 2 s straight, then turns a quarter round in 4 s.
        double heading = 0;
        if (bends) {
            heading = 70 * std::sin(2 * M_PI * i / 10.0);
        } else {
            const int quarter = i / 6;
            const int into = i % 6;
            heading = 90.0 * quarter + (into < 2 ? 0 : 22.5 * (into - 1));
        }
        const double h = heading * M_PI / 180;
        lat += speed * std::cos(h) / metresPerDegree;
        lng += speed * std::sin(h) / (metresPerDegree * std::cos(lat * M_PI / 180));
    }
    gpx += "</trkseg></trk>\n</gpx>\n";
    return file.write(gpx) == gpx.size() && file.flush();
}

QStringList exportedWidgets(const ExportTask &task)
{
    QStringList names;
    const auto add = [&](bool enabled, const char *name) {
        if (enabled)
            names << QString::fromLatin1(name);
    };
    add(task.mapEnabled, "map");
    add(task.gpsPathWidget.enabled, "gpspath");
    add(task.speedWidget.enabled, "speed");
    add(task.timeWidget.enabled, "time");
    add(task.heartRateWidget.enabled, "heartrate");
    add(task.heartRateGraphWidget.enabled, "hrgraph");
    return names;
}

bool takeRunOption(const QStringList &args, qsizetype &k, ExportRunOptions &options)
{
    const QString &a = args.at(k);
    if (a == QStringLiteral("--tiles") && k + 1 < args.size())
        options.tiles = args.at(++k);
    else if (a == QStringLiteral("--compare"))
        options.compare = true;
    else if (a == QStringLiteral("--web-maps"))
        options.webMaps = true;
    else if (a == QStringLiteral("--map-service") && k + 1 < args.size())
        options.mapService = args.at(++k);
    else if (a == QStringLiteral("--pairs") && k + 1 < args.size())
        options.pairs = std::max(1, args.at(++k).toInt());
    else if (a == QStringLiteral("--map-pages") && k + 1 < args.size())
        options.mapPages = std::max(1, args.at(++k).toInt());
    else
        return false;
    return true;
}

namespace {

// The title of the queue's last log entry: "Export Complete" and the like.
struct LastLogTitle : ExportLog {
    void add(Level, const QString &title, const QString &) override { this->title = title; }
    QString title;
};

// One export of `task` and its figures; false (with the error printed) when it failed.
bool exportOnce(const ExportTask &task, const ExportRunOptions &options, QJsonObject &out, double &fps)
{
    std::unique_ptr<BenchTileServer> server;
    std::unique_ptr<testsupport::LoopbackHttpServer> mapService;
    std::unique_ptr<QTemporaryDir> emptyTiles;
    if (!options.mapService.isEmpty()) {
        QUrl address(options.mapService);
        if (options.mapService == QStringLiteral("silent")) {
            mapService = std::make_unique<testsupport::LoopbackHttpServer>([](const testsupport::HttpRequest &) {
                testsupport::HttpResponse response;
                response.noAnswer = true;
                return response;
            });
            address = mapService->baseUrl();
        }
        MapServices::overrideEndpointsForTesting(address);
        emptyTiles = std::make_unique<QTemporaryDir>();
    } else if (options.webMaps) {
        mapService = testsupport::startMapService();
        MapServices::overrideEndpointsForTesting(mapService->baseUrl());
    } else if (options.tiles.isEmpty()) {
        server = std::make_unique<BenchTileServer>();
        MapServices::overrideEndpointsForTesting(server->url());
    } else {
        MapServices::overrideEndpointsForTesting(QUrl(options.tiles));
    }
    // Kept between runs, apart from the user's own tile cache: the second run measures cached tiles.
    TileCache::Options cacheOptions;
    cacheOptions.root = emptyTiles ? emptyTiles->filePath(QStringLiteral("tiles"))
                                   : QDir(QDir::tempPath()).filePath(QStringLiteral("routereel-bench-tiles"));
    TileCache cache(cacheOptions);

    // Without --web-maps (or --map-service) raster tiles only: the web map pages
    // this process can make are not what that measures.
    const WebMapPageFactory webPages = webMapPageFactory();
    if (!options.webMaps && options.mapService.isEmpty())
        setWebMapPageFactory({});
    WebMapCapturePool::overridePageCountForBenchmarks(options.mapPages);
    ExportQueue queue;
    const auto outcome = std::make_shared<LastLogTitle>();
    queue.setLog(outcome);
    queue.exporter()->setTileCache(&cache);
    // CPU time says more than wall time on a machine that others use too.
    const double cpuBefore = cpuSeconds(RUSAGE_SELF);
    const double childCpuBefore = cpuSeconds(RUSAGE_CHILDREN);
    QElapsedTimer timer;
    timer.start();
    queue.enqueue(task);
    // Asleep between events, as the app's own loop: a spinning wait would take a core from the export.
    // The web engine's memory is sampled meanwhile, once a second: reading its page tables costs the export.
    WebEngineProcesses webPeak;
    QElapsedTimer sampled;
    sampled.start();
    testsupport::waitFor(
        [&] {
            if (options.webMaps && sampled.elapsed() >= 1000) {
                sampled.restart();
                const WebEngineProcesses now = webEngineProcesses();
                webPeak.megabytes = std::max(webPeak.megabytes, now.megabytes);
                webPeak.processes = std::max(webPeak.processes, now.processes);
            }
            return !queue.isBusy();
        },
        -1, 50);
    const double seconds = timer.nsecsElapsed() / 1e9;
    const double cpu = cpuSeconds(RUSAGE_SELF) - cpuBefore;
    const double ffmpegCpu = cpuSeconds(RUSAGE_CHILDREN) - childCpuBefore;
    MapServices::overrideEndpointsForTesting(QUrl());
    setWebMapPageFactory(webPages);
    const ExportTaskRuntime &done = queue.history().first();
    // The outcome in the user's words, so that a check tells a success from a failure by them.
    if (done.status.kind() != ExportTaskStatus::Kind::completed) {
        const QString message = done.status.message().isEmpty() ? outcome->title : done.status.message();
        printError(message);
        return false;
    }
    out.insert(QStringLiteral("message"), outcome->title);

    const VideoExporter::RunStats stats = queue.exporter()->lastRunStats();
    out.insert(QStringLiteral("mode"), task.compositionMode == CompositionMode::overlay ? QStringLiteral("overlay")
                                                                                       : QStringLiteral("regular"));
    out.insert(QStringLiteral("size"),
               QStringLiteral("%1x%2").arg(task.videoResolution.width()).arg(task.videoResolution.height()));
    out.insert(QStringLiteral("widgets"), exportedWidgets(task).join(QLatin1Char(',')));
    out.insert(QStringLiteral("frames"), stats.frames);
    out.insert(QStringLiteral("seconds"), seconds);
    out.insert(QStringLiteral("fps"), stats.frames / seconds);
    out.insert(QStringLiteral("cpuSeconds"), cpu);
    out.insert(QStringLiteral("ffmpegCpuSeconds"), ffmpegCpu);
    out.insert(QStringLiteral("drawSeconds"), stats.drawSeconds);
    out.insert(QStringLiteral("pipeWaitSeconds"), stats.pipeWaitSeconds);
    out.insert(QStringLiteral("writeBlockedSeconds"), stats.writeSeconds);
    out.insert(QStringLiteral("peakMemoryMB"), peakMegabytes());
    out.insert(QStringLiteral("ffmpegPeakMemoryMB"), childPeakMegabytes());
    if (!stats.mapRenderer.isEmpty())
        out.insert(QStringLiteral("mapRenderer"), stats.mapRenderer);
    if (!stats.pathMapRenderer.isEmpty())
        out.insert(QStringLiteral("pathMapRenderer"), stats.pathMapRenderer);
    if (options.webMaps) {
        out.insert(QStringLiteral("webEnginePeakMemoryMB"), webPeak.megabytes);
        out.insert(QStringLiteral("webEngineProcesses"), webPeak.processes);
    }
    if (options.mapPages)
        out.insert(QStringLiteral("mapPages"), *options.mapPages);
    if (stats.mapRenderer == QStringLiteral("web")) {
        out.insert(QStringLiteral("capturesMade"), stats.mapCaptures);
        out.insert(QStringLiteral("capturesReused"), stats.mapCapturesReused);
        out.insert(QStringLiteral("captureSeconds"), stats.mapCaptureSeconds);
    }
    fps = stats.frames / seconds;
    if (options.compare) {
        const double reference = referenceFps(task, stats.frames, out);
        if (reference > 0) {
            out.insert(QStringLiteral("referenceFps"), reference);
            out.insert(QStringLiteral("ratio"), fps / reference);
        }
        // Less swayed by others' load than the rates: the reference's CPU seconds over the whole export's.
        const double referenceCpu = out.value(QStringLiteral("referenceCpuSeconds")).toDouble();
        if (referenceCpu > 0 && cpu + ffmpegCpu > 0)
            out.insert(QStringLiteral("cpuRatio"), referenceCpu / (cpu + ffmpegCpu));
    }
    return true;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int runExport(const ExportTask &task, const ExportRunOptions &options)
{
    // Export and reference alternate, so that a change of load hits both alike.
    QList<double> ratios;
    QList<double> rates;
    for (int pair = 0; pair < options.pairs; ++pair) {
        QJsonObject out;
        double fps = 0;
        if (!exportOnce(task, options, out, fps))
            return 1;
        if (options.pairs > 1)
            out.insert(QStringLiteral("pair"), pair + 1);
        rates.append(fps);
        if (out.contains(QStringLiteral("ratio")))
            ratios.append(out.value(QStringLiteral("ratio")).toDouble());
        printLine(out);
    }
    if (options.pairs > 1) {
        QJsonObject summary{{QStringLiteral("pairs"), options.pairs}, {QStringLiteral("medianFps"), median(rates)}};
        if (!ratios.isEmpty())
            summary.insert(QStringLiteral("medianRatio"), median(ratios));
        printLine(summary);
    }
    return 0;
}

} // namespace routereel::bench
