// routereel-bench startup: from the start of the program to the first painted
// window, and on to every preview widget drawn with the track, for a project
// of a 20 s 1080p30 clip with a long track (and, in alternation, the same clip
// with a short one). Each run is a fresh process that opens the project as the
// app does when started with it.
#include "benchcommand.h"
#include "benchexport.h"
#include "headlessproject.h"
#include "longtrack.h"

#include "maps/mapservices.h"
#include "maps/views/gpspathoverlayview.h"
#include "support/loopbackmapservice.h"
#include "maps/views/gpspathwebmapview.h"
#include "maps/views/mapoverlayview.h"
#include "ui/main/mainwindow.h"
#include "widgets/views/heartrategraphoverlayview.h"
#include "widgets/views/overlayview.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace routereel::bench {
namespace {

// Milliseconds of the monotonic clock, the same in every process.
qint64 monotonicMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

QUrl fileURL(const QString &path)
{
    return QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
}

bool makeClip(const QString &path, int seconds)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    const QString d = QString::number(seconds);
    p.start(QStringLiteral("ffmpeg"),
            {QStringLiteral("-hide_banner"), QStringLiteral("-nostdin"), QStringLiteral("-loglevel"),
             QStringLiteral("error"), QStringLiteral("-y"), QStringLiteral("-f"), QStringLiteral("lavfi"),
             QStringLiteral("-i"), QStringLiteral("testsrc2=s=1920x1080:r=30:d=") + d, QStringLiteral("-f"),
             QStringLiteral("lavfi"), QStringLiteral("-i"),
             QStringLiteral("sine=frequency=440:sample_rate=48000:duration=") + d, QStringLiteral("-c:v"),
             QStringLiteral("libx264"), QStringLiteral("-preset"), QStringLiteral("veryfast"), QStringLiteral("-g"),
             QStringLiteral("60"), QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), QStringLiteral("-c:a"),
             QStringLiteral("aac"), QStringLiteral("-shortest"), path});
    if (!p.waitForFinished(300'000) || p.exitCode() != 0) {
        std::fprintf(stderr, "ffmpeg failed: %s\n", p.readAll().constData());
        return false;
    }
    return true;
}

// The clip and the track laid on the timeline as an import lays them (the track
// whole), all six widgets on with their default looks, saved as a project.
bool makeProject(const QString &clip, const QString &track, const QString &project)
{
    const BenchSettings settings;
    HeadlessProjectWindow window;
    window.map.setEnabled(true);
    window.gpsPath.setEnabled(true);
    window.speed.setEnabled(true);
    window.time.setEnabled(true);
    window.heartRate.setEnabled(true);
    window.heartRateGraph.setEnabled(true);
    const VideoSource source = VideoSource::probe(fileURL(clip), QUuid::createUuid());
    const auto loaded = window.gpx.importTrack(fileURL(track));
    if (!loaded) {
        std::fprintf(stderr, "track: %s\n", qPrintable(loaded.error().message()));
        return false;
    }
    window.engineObject.importVideo(source);
    window.engineObject.importGPX(loaded.value());
    if (!window.settle(120000))
        return false;
    return window.session.saveProject(fileURL(project));
}

// The child: the window as the app makes it, started with the project. Prints
// the monotonic clock (ms) at the first paint of the window, when every shown
// preview widget had painted its whole content, and when the web map pages were ready.
int openAndWatch(const QString &project, const QString &grabPath)
{
    const BenchSettings settings;
    // Map styles and tiles from a loopback service: the pages get ready without the network.
    const auto tiles = testsupport::startMapService();
    MapServices::overrideEndpointsForTesting(tiles->baseUrl());
    QApplication::setStyle(QStringLiteral("Fusion"));
    MainWindow window;
    std::optional<qint64> firstPaint;
    std::optional<qint64> widgetsDrawn;
    std::optional<qint64> pagesReady;
    const auto now = [] { return monotonicMs(); };

    struct PaintWatch : QObject {
        std::function<void(QObject *)> seen;
        bool eventFilter(QObject *watched, QEvent *event) override
        {
            if (event->type() == QEvent::Paint)
                seen(watched);
            return false;
        }
    } watch;
    // A widget counts as drawn at its first paint once its content is complete.
    QSet<QObject *> drawn;
    watch.seen = [&](QObject *o) {
        if (o == &window && !firstPaint)
            firstPaint = now();
        if (window.gpxService().tracks().isEmpty())
            return;
        if (auto *path = qobject_cast<GPSPathOverlayView *>(o)) {
            if (path->isRouteDrawn() && path->state().trackPoints.size() >= 2)
                drawn.insert(o);
        } else if (auto *graph = qobject_cast<HeartRateGraphOverlayView *>(o)) {
            if (graph->isCurveDrawn())
                drawn.insert(o);
        } else if (qobject_cast<OverlayView *>(o)) {
            drawn.insert(o);
        }
    };
    qApp->installEventFilter(&watch);
    window.setPendingOpenURL(fileURL(project));
    window.show();

    const auto shownWidgets = [&] {
        QList<QWidget *> out;
        for (QWidget *w : window.findChildren<QWidget *>()) {
            if ((qobject_cast<OverlayView *>(w) || qobject_cast<GPSPathOverlayView *>(w)) && w->isVisible())
                out << w;
        }
        return out;
    };
    const bool done = testsupport::waitFor(
        [&] {
            if (window.gpxService().tracks().isEmpty())
                return false;
            const QList<QWidget *> shown = shownWidgets();
            if (!widgetsDrawn && shown.size() >= 5
                && std::all_of(shown.begin(), shown.end(), [&](QWidget *w) { return drawn.contains(w); }))
                widgetsDrawn = now();
            const QList<MapOverlayView *> maps = window.findChildren<MapOverlayView *>();
            if (!pagesReady && !maps.isEmpty()
                && std::all_of(maps.begin(), maps.end(), [](MapOverlayView *m) { return m->coordinator().ready(); }))
                pagesReady = now();
            return widgetsDrawn && pagesReady;
        },
        60000, 2);
    if (!grabPath.isEmpty()) {
        testsupport::waitFor([] { return false; }, 1500);  // tiles arrive
        window.grab().save(grabPath);
    }
    QJsonObject out;
    out.insert(QStringLiteral("firstPaint"), firstPaint ? double(*firstPaint) : -1.0);
    out.insert(QStringLiteral("widgetsDrawn"), widgetsDrawn ? double(*widgetsDrawn) : -1.0);
    out.insert(QStringLiteral("pagesReady"), pagesReady ? double(*pagesReady) : -1.0);
    out.insert(QStringLiteral("complete"), done);
    std::printf("%s\n", QJsonDocument(out).toJson(QJsonDocument::Compact).constData());
    std::fflush(stdout);
    qApp->removeEventFilter(&watch);
    MapServices::overrideEndpointsForTesting({});
    return 0;
}

struct Timing {
    double firstPaint = -1;
    double widgetsDrawn = -1;
    double pagesReady = -1;
};

std::optional<Timing> launch(const QString &project, const QString &home)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // Nothing of the user's last session: its own data and cache folders.
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/cache"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const qint64 start = monotonicMs();
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("startup"), QStringLiteral("--open"), project});
    if (!child.waitForFinished(120000))
        return std::nullopt;
    const QByteArray line = child.readAllStandardOutput().trimmed().split('\n').last();
    const QJsonObject o = QJsonDocument::fromJson(line).object();
    if (o.isEmpty())
        return std::nullopt;
    const auto since = [&](const char *key) {
        const double v = o.value(QLatin1String(key)).toDouble(-1);
        return v < 0 ? -1.0 : v - double(start);
    };
    return Timing{since("firstPaint"), since("widgetsDrawn"), since("pagesReady")};
}

void printFigures(const QString &what, std::vector<Timing> runs)
{
    const auto median = [&](double Timing::*field) {
        std::vector<double> v;
        for (const Timing &t : runs)
            v.push_back(t.*field);
        std::sort(v.begin(), v.end());
        return v.empty() ? -1.0 : v[v.size() / 2];
    };
    const auto worst = [&](double Timing::*field) {
        double w = -1;
        for (const Timing &t : runs)
            w = std::max(w, t.*field);
        return w;
    };
    std::printf("%-22s n=%zu  first painted window median %.0f ms (max %.0f)  every widget drawn median %.0f ms "
                "(max %.0f)  map pages ready median %.0f ms\n",
                qPrintable(what), runs.size(), median(&Timing::firstPaint), worst(&Timing::firstPaint),
                median(&Timing::widgetsDrawn), worst(&Timing::widgetsDrawn), median(&Timing::pagesReady));
}

int run(const QStringList &args)
{
    // The child: --open PROJECT [--grab PNG] (the window saved once every widget is drawn).
    if (args.size() >= 2 && args.first() == QStringLiteral("--open"))
        return openAndWatch(args.at(1), args.size() >= 4 && args.at(2) == QStringLiteral("--grab") ? args.at(3) : QString());
    int points = 200000;
    int pairs = 3;
    QString trackFile;
    QString keep;
    for (qsizetype k = 0; k < args.size(); ++k) {
        const QString &a = args.at(k);
        const QString value = k + 1 < args.size() ? args.at(k + 1) : QString();
        if (a == QStringLiteral("--track-points")) {
            points = std::max(2, value.toInt());
            ++k;
        } else if (a == QStringLiteral("--track")) {
            trackFile = QFileInfo(value).absoluteFilePath();
            ++k;
        } else if (a == QStringLiteral("--keep")) {
            keep = QFileInfo(value).absoluteFilePath();
            ++k;
        } else if (a == QStringLiteral("--pairs")) {
            pairs = std::max(1, value.toInt());
            ++k;
        } else {
            std::fprintf(stderr, "usage: startup [--track FILE | --track-points N] [--pairs N] [--keep DIR]\n");
            return 2;
        }
    }
    QTemporaryDir temporary;
    // --keep DIR leaves the clip, tracks and projects there, to open them again by hand.
    const QDir dir(keep.isEmpty() ? temporary.path() : keep);
    if (!keep.isEmpty())
        QDir().mkpath(keep);
    const QString clip = dir.filePath(QStringLiteral("clip.mp4"));
    const QString shortTrack = dir.filePath(QStringLiteral("short.gpx"));
    const QString longTrack = trackFile.isEmpty() ? dir.filePath(QStringLiteral("long.gpx")) : trackFile;
    std::printf("making the 20 s clip, the tracks and the projects...\n");
    std::fflush(stdout);
    if (!makeClip(clip, 20) || !writeGeneratedRide(shortTrack, 121)
        || (trackFile.isEmpty() && !writeGeneratedRide(longTrack, points)))
        return 1;
    const QString shortProject = dir.filePath(QStringLiteral("short.rrl"));
    const QString longProject = dir.filePath(QStringLiteral("long.rrl"));
    if (!makeProject(clip, shortTrack, shortProject) || !makeProject(clip, longTrack, longProject)) {
        std::fprintf(stderr, "the projects could not be made\n");
        return 1;
    }
    std::vector<Timing> shortRuns;
    std::vector<Timing> longRuns;
    for (int i = 0; i < pairs; ++i) {
        for (auto [project, runs] : {std::pair{shortProject, &shortRuns}, std::pair{longProject, &longRuns}}) {
            const auto t = launch(project, dir.path());
            if (!t) {
                std::fprintf(stderr, "a run did not finish\n");
                return 1;
            }
            std::printf("  %s: first paint %.0f ms, every widget drawn %.0f ms, map pages ready %.0f ms\n",
                        project == shortProject ? "short track" : "long track", t->firstPaint, t->widgetsDrawn,
                        t->pagesReady);
            std::fflush(stdout);
            runs->push_back(*t);
        }
    }
    printFigures(QStringLiteral("121-point track"), shortRuns);
    printFigures(QStringLiteral("long track"), longRuns);
    return 0;
}

const bool registered = registerCommand("startup", "[--track FILE | --track-points N] [--pairs N] [--keep DIR]  (xvfb-run)", run);

} // namespace
} // namespace routereel::bench
