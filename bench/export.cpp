// One export through the real queue and exporter, timed: the video and track
// laid on a timeline as an import lays them, the named widgets at their default
// places, map tiles from a loopback server (raster, or with --web-maps the OSM
// map through the app's web-map pages).
#include "benchcommand.h"
#include "benchexport.h"
#include "headlessproject.h"

#include "export/exportshutdown.h"

#include "media/videosource.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

namespace routereel::bench {
namespace {

struct Options {
    QString video;
    QString track;
    QString output;
    bool overlay = false;
    QStringList widgets;
    std::optional<ExportPreset> preset;
    QString saveProject;
    std::optional<int> zoom;
    bool showMap = true;  // the GPS path widget's map: its tiles are part of what is measured
    bool follow = false;  // the map turns with the heading
    QString route;        // a generated track in place of TRACK: "loop" or "bends"
    ExportRunOptions run;
};

const QStringList allWidgets{QStringLiteral("map"),   QStringLiteral("gpspath"), QStringLiteral("speed"),
                             QStringLiteral("time"),  QStringLiteral("heartrate"), QStringLiteral("hrgraph")};

QUrl fileURL(const QString &path)
{
    return QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
}

int run(const QStringList &args)
{
    Options o;
    QStringList positional;
    for (qsizetype k = 0; k < args.size(); ++k) {
        const QString &a = args.at(k);
        const auto next = [&] { return k + 1 < args.size() ? args.at(++k) : QString(); };
        // An option of two words: whether the next argument is `first`, or none (printed) when it is neither.
        const auto either = [&](const char *first, const char *second) -> std::optional<bool> {
            const QString value = next();
            if (value == QLatin1String(first) || value == QLatin1String(second))
                return value == QLatin1String(first);
            std::fprintf(stderr, "%s takes %s or %s\n", qPrintable(a), first, second);
            return std::nullopt;
        };
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
        } else if (a == QStringLiteral("--show-map")) {
            const auto yes = either("yes", "no");
            if (!yes)
                return 2;
            o.showMap = *yes;
        } else if (a == QStringLiteral("--orientation")) {
            const auto follow = either("follow", "north");
            if (!follow)
                return 2;
            o.follow = *follow;
        } else if (a == QStringLiteral("--route")) {
            o.route = next();
            if (o.route != QStringLiteral("loop") && o.route != QStringLiteral("bends")) {
                std::fprintf(stderr, "--route takes loop or bends\n");
                return 2;
            }
        } else if (a == QStringLiteral("--zoom")) {
            bool ok = false;
            const int zoom = next().toInt(&ok);
            if (!ok || zoom < 1 || zoom > 22) {
                std::fprintf(stderr, "zoom must be 1 to 22\n");
                return 2;
            }
            o.zoom = zoom;
        } else if (takeRunOption(args, k, o.run)) {
        } else if (a == QStringLiteral("--save-project")) {
            o.saveProject = next();
        } else {
            positional << a;
        }
    }
    // With --route the track is made here: VIDEO OUTPUT.
    QTemporaryDir routeDir;
    if (!o.route.isEmpty() && positional.size() == 2) {
        const QString path = routeDir.filePath(o.route + QStringLiteral(".gpx"));
        if (!writeBenchRoute(path, o.route))
            return printError(QStringLiteral("the route could not be written"));
        positional.insert(1, path);
    }
    if (positional.size() != 3) {
        std::fprintf(stderr, "usage: export VIDEO (TRACK | --route loop|bends) OUTPUT [--overlay] [--widgets LIST|all] "
                             "[--preset NAME] [--show-map yes|no] [--orientation north|follow] [--zoom 1-22] %s "
                             "[--save-project FILE.rrl]\n  widgets: %s\n",
                     runOptionsUsage, qPrintable(allWidgets.join(QLatin1Char(','))));
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

    // As the app starts: leftovers of a killed run swept, SIGTERM and SIGINT cancel the export.
    ExportShutdown::prepareProcess();
    const BenchSettings settings;
    HeadlessProjectWindow window;
    window.mode = o.overlay ? CompositionMode::overlay : CompositionMode::regular;
    window.preset = o.preset.value_or(o.overlay ? ExportPreset::p1080 : ExportPreset::original);
    window.map.setEnabled(o.widgets.contains(QStringLiteral("map")));
    if (o.zoom)
        window.map.setZoomLevel(*o.zoom);
    if (o.follow)
        window.map.setOrientation(MapOrientation::follow);
    window.gpsPath.setEnabled(o.widgets.contains(QStringLiteral("gpspath")));
    window.gpsPath.setShowMap(o.showMap);
    window.speed.setEnabled(o.widgets.contains(QStringLiteral("speed")));
    window.time.setEnabled(o.widgets.contains(QStringLiteral("time")));
    window.heartRate.setEnabled(o.widgets.contains(QStringLiteral("heartrate")));
    window.heartRateGraph.setEnabled(o.widgets.contains(QStringLiteral("hrgraph")));

    VideoSource source;
    try {
        source = VideoSource::probe(fileURL(o.video), QUuid::createUuid());
    } catch (const std::exception &e) {
        return printError(QStringLiteral("video: ") + QString::fromLocal8Bit(e.what()));
    } catch (...) {
        return printError(QStringLiteral("video: unreadable"));
    }
    const auto track = window.gpx.importTrack(fileURL(o.track));
    if (!track)
        return printError(QStringLiteral("track: ") + track.error().message());
    window.engineObject.importVideo(source);
    window.engineObject.importGPX(track.value());
    // Over a video the track is cut to the video, as the user must before exporting.
    const QList<GPXSegment> segments = window.engineObject.segments();
    if (!o.overlay && !segments.isEmpty() && segments.first().gpxEnd > source.duration)
        window.engineObject.trimSegmentEnd(segments.first().id, source.duration, track.value().duration);
    if (!window.settle(120000))
        return printError(QStringLiteral("the video did not load"));

    // The window as a project, for export-project: the app's own save.
    if (!o.saveProject.isEmpty() && !window.session.saveProject(fileURL(o.saveProject)))
        return printError(window.alertsShown.value(window.alertsShown.size() - 1));

    auto built = window.taskBuilder().build(fileURL(o.output));
    if (const auto *error = std::get_if<ExportStartError>(&built))
        return printError(error->message());
    return runExport(std::get<ExportTask>(built), o.run);
}

const bool registered = registerCommand(
    "export",
    "VIDEO (TRACK | --route loop|bends) OUTPUT [--overlay] [--widgets LIST|all] [--preset NAME] [--show-map yes|no] "
    "[--orientation north|follow] [--zoom 1-22] "
    "[--tiles URL] [--web-maps] [--map-service URL|silent] [--compare] [--pairs N] [--map-pages N] "
    "[--save-project FILE.rrl]",
    run);

} // namespace
} // namespace routereel::bench
