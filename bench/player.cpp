// routereel-bench player: how fast the preview player answers seeks, how many
// frames it drops while playing 1080p30, alone and under the preview area with
// all six widgets, and what each playhead update costs the main thread there.
// With --track or --track-points the preview runs alternate between the short
// ride and that track, laid on the timeline whole as an import lays it.
// With --sizes it plays camera-sized clips (2.7K, 4K, H.264 and HEVC) against a
// 1080p30 reference, in alternating pairs, and reports how many of their pictures
// reach the view and how long one stays there at most. With --clip-ends: the main
// thread's longest stall while playing across clip ends.
#include "benchcommand.h"
#include "benchffmpeg.h"
#include "longtrack.h"
#include "support/tickgapprobe.h"
#include "support/timelinefixtures.h"
#include "support/waitfor.h"

#include "maps/mapservices.h"
#include "maps/views/webmapruntime.h"
#include "support/loopbackmapservice.h"
#include "timeline/timelineengine.h"
#include "timeline/videoplayerservice.h"
#include "tracks/gpxservice.h"
#include "ui/state/windowstate.h"
#include "ui/panels/previewareaview.h"
#include "widgets/gpspathwidgetsettings.h"
#include "widgets/heartrategraphwidgetsettings.h"
#include "widgets/heartratewidgetsettings.h"
#include "widgets/mapsettings.h"
#include "widgets/speedwidgetsettings.h"
#include "widgets/timewidgetsettings.h"
#include "timeline/views/playerview.h"
#include "timeline/timelineplayer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace routereel::bench {
namespace {


// A 1080p30 H.264 clip with AAC sound, like a camera's.
QString makeClip(const QString &dir, const QString &name, double seconds, const QString &video)
{
    const QString path = dir + QLatin1Char('/') + name;
    const QString d = QString::number(seconds);
    const bool ok = ffmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                            video + (video.contains(QLatin1Char('=')) ? QLatin1Char(':') : QLatin1Char('='))
                                + QStringLiteral("s=1920x1080:r=30:d=") + d, QStringLiteral("-f"),
                            QStringLiteral("lavfi"), QStringLiteral("-i"),
                            QStringLiteral("sine=frequency=440:sample_rate=48000:duration=") + d,
                            QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-preset"),
                            QStringLiteral("veryfast"), QStringLiteral("-g"), QStringLiteral("60"),
                            QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), QStringLiteral("-c:a"),
                            QStringLiteral("aac"), QStringLiteral("-shortest"), path});
    return ok ? path : QString();
}

using testsupport::cut;
using testsupport::waitFor;

// A clip whose pictures carry their frame numbers as 12 black/white bars (bit b white in bar b).
QString makeNumberedClip(const QString &dir, const QString &name, double seconds, int width, int height, bool sound)
{
    const QString path = dir + QLatin1Char('/') + name;
    const QString d = QString::number(seconds);
    QStringList args{QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                     QStringLiteral("nullsrc=s=48x16:r=30:d=%1,geq=lum='255*mod(floor(N/pow(2,floor(X*12/W))),2)'"
                                    ":cb=128:cr=128,scale=%2:%3:flags=neighbor")
                         .arg(d)
                         .arg(width)
                         .arg(height)};
    if (sound)
        args << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i")
             << QStringLiteral("sine=frequency=440:sample_rate=48000:duration=") + d;
    args << QStringLiteral("-c:v") << QStringLiteral("libx264") << QStringLiteral("-preset") << QStringLiteral("veryfast")
         << QStringLiteral("-pix_fmt") << QStringLiteral("yuv420p");
    if (sound)
        args << QStringLiteral("-c:a") << QStringLiteral("aac") << QStringLiteral("-shortest");
    return ffmpeg(args << path) ? path : QString();
}

int frameNumberOf(const QImage &image)
{
    if (image.isNull())
        return -1;
    int n = 0;
    for (int bar = 0; bar < 12; ++bar) {
        if (image.pixelColor(int((bar + 0.5) * image.width() / 12), image.height() / 2).lightness() > 128)
            n |= 1 << bar;
    }
    return n;
}

// CPU time of the calling thread, in milliseconds: the main thread's paints included.
double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// The preview's map pages are web pages: their runtime is set up before the application starts.
const bool webMapRuntime = (prepareWebMapRuntime(), true);

// A ride of `seconds` with ten fixes a second and a heart rate on each.
GPXTrack ride(double seconds)
{
    GPXTrack track;
    track.id = QUuid::createUuid();
    for (int i = 0; i <= int(seconds * 10); ++i) {
        TrackPoint p;
        p.lat = 52.5 + i * 2e-5;
        p.lng = 13.4 + std::sin(i / 50.0) * 1e-3;
        p.time = 1.7e9 + i / 10.0;
        p.heartRate = 120 + i % 40;
        track.trackPoints.append(p);
    }
    track.duration = seconds;
    return track;
}

// Counts the paints that put a picture on screen.
class CountingView : public PlayerView {
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent *event) override
    {
        PlayerView::paintEvent(event);
        if (player() && !player()->currentFrame().isNull())
            ++paints;
    }
};

struct Figures {
    std::vector<double> ms;
    int failures = 0;

    void print(const char *what) const
    {
        std::vector<double> v = ms;
        std::sort(v.begin(), v.end());
        if (v.empty()) {
            std::printf("%-34s no sample, %d timed out\n", what, failures);
            return;
        }
        double sum = 0;
        for (double x : v)
            sum += x;
        std::printf("%-34s n=%zu  median %.1f ms  mean %.1f ms  max %.1f ms  timed out %d\n", what, v.size(),
                    v[v.size() / 2], sum / v.size(), v.back(), failures);
    }
};


// The main thread's longest busy stretch while playing, seen as the longest gap
// between the ticks of a 5 ms timer.
double longestBusyStretch(VideoPlayerService &service, double from, double to)
{
    service.seek(from);
    waitFor([&] { return !service.isSeeking(); }, 5000);
    testsupport::TickGapProbe probe(5);
    service.play();
    waitFor([&] { return !service.wantsToPlay() || service.clock()->playheadTime() >= to; }, 30000);
    service.pause();
    return std::max(0.0, probe.longestGapMs() - 5);
}

struct CutFigures {
    double stallMs = 0;   // longest time one picture stayed on screen after the cut
    int offsetFrames = 0; // largest distance of the picture from the playhead's frame
};

// Plays across the cut at 2 s into a piece starting at source second 1 and reads the
// frame numbers on screen.
CutFigures measureCut(VideoPlayerService &service, PreviewPlayer &player)
{
    service.seek(1.5);
    waitFor([&] { return !service.isSeeking(); }, 5000);
    CutFigures figures;
    QElapsedTimer wall;
    wall.start();
    qint64 lastChange = -1;
    int lastFrame = -1;
    const auto c = QObject::connect(&player, &PreviewPlayer::frameChanged, [&] {
        const double playhead = service.clock()->playheadTime();
        const int frame = frameNumberOf(player.currentFrame());
        if (playhead >= 2.0 && playhead <= 2.8) {
            if (frame != lastFrame && lastChange >= 0)
                figures.stallMs = std::max(figures.stallMs, (wall.nsecsElapsed() - lastChange) / 1e6);
            figures.offsetFrames = std::max(figures.offsetFrames, std::abs(frame - int((playhead - 1) * 30)));
        }
        if (frame != lastFrame) {
            lastFrame = frame;
            lastChange = wall.nsecsElapsed();
        }
    });
    service.play();
    waitFor([&] { return service.clock()->playheadTime() >= 2.8 || !service.wantsToPlay(); }, 10000);
    service.pause();
    QObject::disconnect(c);
    return figures;
}
// A player shown in a view, as the preview area holds it.
struct ShownPlayer {
    TimelinePlayer *player = new TimelinePlayer;
    VideoPlayerService service{player};
    PlayerView view;

    explicit ShownPlayer(QSize size = {960, 540})
    {
        view.setPlayer(player);
        view.resize(size);
        view.show();
    }
};

// Regular playback as the window does it, with a preview view painting every picture.
int runRegular(int pairs)
{
    QTemporaryDir dir;
    std::printf("making frame-numbered 1080p30 clips...\n");
    std::fflush(stdout);
    const QString a = makeNumberedClip(dir.path(), QStringLiteral("a.mp4"), 8, 1920, 1080, true);
    const QString b = makeNumberedClip(dir.path(), QStringLiteral("b.mp4"), 6, 1920, 1080, false);
    if (a.isEmpty() || b.isEmpty())
        return 1;
    ShownPlayer shown;
    TimelinePlayer *player = shown.player;
    VideoPlayerService &service = shown.service;
    const VideoSource sa = VideoSource::probe(QUrl::fromLocalFile(a), QUuid::createUuid());
    const VideoSource sb = VideoSource::probe(QUrl::fromLocalFile(b), QUuid::createUuid());
    const auto load = [&](QList<VideoSegment> segments) {
        VideoTimelineSnapshot timeline;
        timeline.sources = {sa, sb};
        timeline.segments = std::move(segments);
        service.loadTimeline(timeline);
        return waitFor([&] { return service.isMetadataReady() && !service.isSeeking(); }, 10000);
    };
    Figures whole;
    Figures cutClip;
    Figures stall3;
    Figures stall2;
    std::vector<int> offsets3;
    std::vector<int> offsets2;
    for (int pair = 0; pair < pairs; ++pair) {
        if (!load({cut(sa, 0, 8, 0)}))
            return 1;
        whole.ms.push_back(longestBusyStretch(service, 0, 6));
        if (!load({cut(sa, 1, 4, 0), cut(sa, 5, 7, 3)}))
            return 1;
        cutClip.ms.push_back(longestBusyStretch(service, 0, 4.9));
        // A 0..2 at 0, B 1..3 at 2, a third piece at 4; the reference has no third piece.
        if (!load({cut(sa, 0, 2, 0), cut(sb, 1, 3, 2), cut(sa, 4, 5, 4)}))
            return 1;
        CutFigures f = measureCut(service, *player);
        stall3.ms.push_back(f.stallMs);
        offsets3.push_back(f.offsetFrames);
        if (!load({cut(sa, 0, 2, 0), cut(sb, 1, 3, 2)}))
            return 1;
        f = measureCut(service, *player);
        stall2.ms.push_back(f.stallMs);
        offsets2.push_back(f.offsetFrames);
    }
    const auto worst = [](const std::vector<int> &v) { return v.empty() ? 0 : *std::max_element(v.begin(), v.end()); };
    std::printf("Regular playback, 1080p30 under a 960x540 view, %d alternating pairs (target < 50 ms):\n", pairs);
    whole.print("  main thread busy, whole clip");
    cutClip.print("  main thread busy, cut clip");
    std::printf("cut A->B with a third piece (targets: stall <= 67 ms, offset <= 1 frame):\n");
    stall3.print("  longest picture stall");
    std::printf("  %-32s worst %d frames\n", "largest picture-playhead offset", worst(offsets3));
    std::printf("the same cut without a third piece (reference):\n");
    stall2.print("  longest picture stall");
    std::printf("  %-32s worst %d frames\n", "largest picture-playhead offset", worst(offsets2));
    std::fflush(stdout);
    return 0;
}

// A numbered clip as a camera writes it: with grain, so that every picture costs
// real decoding, and B-frames; `codec` is libx264 or libx265.
QString makeCameraClip(const QString &dir, const QString &name, double seconds, QSize size, int fps,
                       const QString &codec)
{
    const QString path = dir + QLatin1Char('/') + name;
    const QString source = QStringLiteral("nullsrc=s=48x16:r=%1:d=%2,geq=lum='255*mod(floor(N/pow(2,floor(X*12/W))),2)'"
                                          ":cb=128:cr=128,scale=%3:%4:flags=neighbor,noise=alls=12:allf=t")
                               .arg(fps)
                               .arg(seconds)
                               .arg(size.width())
                               .arg(size.height());
    QStringList args{QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), source,
                     QStringLiteral("-c:v"), codec, QStringLiteral("-preset"), QStringLiteral("veryfast"),
                     QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), QStringLiteral("-g"),
                     QString::number(fps)};
    if (codec == QStringLiteral("libx265"))
        args << QStringLiteral("-tag:v") << QStringLiteral("hvc1") << QStringLiteral("-x265-params")
             << QStringLiteral("log-level=error");
    return ffmpeg(args << path) ? path : QString();
}

struct SizeFigures {
    double shownShare = 0; // distinct pictures that reached the view, of those the played time holds
    double longestHoldMs = 0;
};

// Plays `seconds` of the clip loaded in `service` from its start and follows the
// pictures the view paints.
SizeFigures playAndWatch(VideoPlayerService &service, PreviewPlayer &player, double fps, double seconds)
{
    service.seek(0);
    waitFor([&] { return !service.isSeeking(); }, 10000);
    waitFor([] { return false; }, 300); // the first picture settles
    QElapsedTimer wall;
    int lastFrame = frameNumberOf(player.displayFrame());
    std::vector<int> seen;
    qint64 lastChange = 0;
    double longest = 0;
    const auto c = QObject::connect(&player, &PreviewPlayer::frameChanged, [&] {
        const int frame = frameNumberOf(player.displayFrame());
        if (frame == lastFrame || !wall.isValid())
            return;
        longest = std::max(longest, (wall.nsecsElapsed() - lastChange) / 1e6);
        lastChange = wall.nsecsElapsed();
        lastFrame = frame;
        seen.push_back(frame);
    });
    wall.start();
    service.play();
    waitFor([&] { return service.clock()->currentTime() >= seconds || !service.wantsToPlay(); }, 30000);
    const double played = service.clock()->currentTime();
    longest = std::max(longest, (wall.nsecsElapsed() - lastChange) / 1e6);
    service.pause();
    QObject::disconnect(c);
    std::sort(seen.begin(), seen.end());
    seen.erase(std::unique(seen.begin(), seen.end()), seen.end());
    return {played > 0 ? std::min(1.0, seen.size() / (played * fps)) : 0.0, longest};
}

double loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().split(' ').value(0).toDouble() : -1;
}

int runSizes(int pairs, QSize viewSize)
{
    QTemporaryDir dir;
    struct Kind {
        const char *name;
        QSize size;
        int fps;
        const char *codec;
        const char *file;
        QString path;
    };
    std::vector<Kind> kinds{{"1080p30 H.264 (reference)", {1920, 1080}, 30, "libx264", "ref.mp4", {}},
                            {"1080p60 H.264", {1920, 1080}, 60, "libx264", "hd60.mp4", {}},
                            {"2.7K60 H.264", {2704, 1520}, 60, "libx264", "k27.mp4", {}},
                            {"4K30 H.264 .mp4", {3840, 2160}, 30, "libx264", "uhd30.mp4", {}},
                            {"4K30 HEVC .mov", {3840, 2160}, 30, "libx265", "uhd30.mov", {}},
                            {"4K60 H.264 .mp4", {3840, 2160}, 60, "libx264", "uhd60.mp4", {}}};
    const double seconds = 4;
    std::printf("making numbered camera clips (%g s each)...\n", seconds);
    std::fflush(stdout);
    for (Kind &k : kinds) {
        k.path = makeCameraClip(dir.path(), QString::fromLatin1(k.file), seconds, k.size, k.fps,
                                QString::fromLatin1(k.codec));
        if (k.path.isEmpty())
            return 1;
    }
    ShownPlayer shown(viewSize);
    TimelinePlayer *player = shown.player;
    VideoPlayerService &service = shown.service;
    std::vector<VideoSource> sources;
    for (const Kind &k : kinds)
        sources.push_back(VideoSource::probe(QUrl::fromLocalFile(k.path), QUuid::createUuid()));
    const auto measure = [&](size_t i) {
        VideoTimelineSnapshot timeline;
        timeline.sources = {sources[i]};
        timeline.segments = {cut(sources[i], 0, sources[i].duration, 0)};
        service.loadTimeline(timeline);
        if (!waitFor([&] { return service.isMetadataReady() && !service.isSeeking(); }, 20000))
            return SizeFigures{-1, -1};
        return playAndWatch(service, *player, kinds[i].fps, seconds - 0.5);
    };
    std::printf("playback under a %dx%d view, %d alternating pairs with the reference; load %.1f on %d cores\n",
                viewSize.width(), viewSize.height(), pairs, loadAverage(), QThread::idealThreadCount());
    std::printf("%-28s %-22s %-22s %s\n", "clip", "pictures shown (worst)", "longest hold (worst)",
                "shown vs reference");
    for (size_t i = 1; i < kinds.size(); ++i) {
        std::vector<SizeFigures> ref;
        std::vector<SizeFigures> subject;
        for (int pair = 0; pair < pairs; ++pair) {
            // Alternating order, so that a change of the machine's load falls on both.
            if (pair % 2 == 0) {
                ref.push_back(measure(0));
                subject.push_back(measure(i));
            } else {
                subject.push_back(measure(i));
                ref.push_back(measure(0));
            }
        }
        const auto worstShare = [](const std::vector<SizeFigures> &v) {
            double w = 1;
            for (const SizeFigures &f : v)
                w = std::min(w, f.shownShare);
            return w;
        };
        const auto worstHold = [](const std::vector<SizeFigures> &v) {
            double w = 0;
            for (const SizeFigures &f : v)
                w = f.shownShare < 0 ? 1e9 : std::max(w, f.longestHoldMs);
            return w;
        };
        double ratio = 0;
        for (int pair = 0; pair < pairs; ++pair)
            ratio += ref[pair].shownShare > 0 ? subject[pair].shownShare / ref[pair].shownShare : 0;
        std::printf("%-28s %5.1f %% (ref %5.1f %%)  %6.1f ms (ref %5.1f)  %.2f   load %.1f\n", kinds[i].name,
                    100 * worstShare(subject), 100 * worstShare(ref), worstHold(subject), worstHold(ref),
                    ratio / pairs, loadAverage());
        std::fflush(stdout);
    }
    return 0;
}
// The main thread's longest busy stretch from a seek near a clip's end through
// play across that end and the next, as a ruler click and play do it.
double longestStallAcrossEnds(VideoPlayerService &service, double from, double to)
{
    testsupport::TickGapProbe probe(5);
    service.seek(from);
    waitFor([&] { return !service.isSeeking(); }, 10000);
    service.play();
    waitFor([&] { return !service.wantsToPlay() || service.clock()->playheadTime() >= to; }, 60000);
    service.pause();
    waitFor([&] { return !service.isSeeking(); }, 5000);
    return std::max(0.0, probe.longestGapMs() - 5);
}

// Loading the timeline, then paused seeks to each instant, each waited for.
template <typename Load>
double longestStallSeeking(VideoPlayerService &service, const Load &load, std::initializer_list<double> instants)
{
    testsupport::TickGapProbe probe(5);
    if (!load())
        return -1;
    for (const double t : instants) {
        service.seek(t);
        waitFor([&] { return !service.isSeeking(); }, 10000);
    }
    return std::max(0.0, probe.longestGapMs() - 5);
}

// Playing across clip ends: clips whose last pictures the media player leaves out
// (B-frames without an edit list, 720p and 4K with keyframes 10 s apart) next to an
// ordinary one. The reference is the same run within the ordinary clip, measured
// in alternation.
int runClipEnds(int pairs)
{
    QTemporaryDir dir;
    std::printf("making clips for the clip ends (720p, 4K with keyframes 10 s apart)...\n");
    std::fflush(stdout);
    const auto make = [&](const QString &name, const QString &size, double seconds, int gop, bool edits) {
        const QString path = dir.filePath(name);
        QStringList args{QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                         QStringLiteral("testsrc2=s=%1:r=30:d=%2").arg(size).arg(seconds),
                         QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-preset"),
                         QStringLiteral("ultrafast"), QStringLiteral("-bf"), QStringLiteral("2"),
                         QStringLiteral("-g"), QString::number(gop), QStringLiteral("-pix_fmt"),
                         QStringLiteral("yuv420p")};
        if (!edits)
            args << QStringLiteral("-use_editlist") << QStringLiteral("0");
        return ffmpeg(args << path) ? path : QString();
    };
    const QString tail720 = make(QStringLiteral("tail720.mp4"), QStringLiteral("1280x720"), 6, 60, false);
    const QString plain720 = make(QStringLiteral("plain720.mp4"), QStringLiteral("1280x720"), 8, 60, true);
    const QString tail4k = make(QStringLiteral("tail4k.mp4"), QStringLiteral("3840x2160"), 11, 300, false);
    if (tail720.isEmpty() || plain720.isEmpty() || tail4k.isEmpty())
        return 1;
    ShownPlayer shown;
    VideoPlayerService &service = shown.service;
    const auto probe = [](const QString &file) { return VideoSource::probe(QUrl::fromLocalFile(file), QUuid::createUuid()); };
    const VideoSource a = probe(tail720), b = probe(plain720), k = probe(tail4k);
    const auto load = [&](QList<VideoSegment> segments) {
        VideoTimelineSnapshot timeline;
        timeline.sources = {a, b, k};
        timeline.segments = std::move(segments);
        service.loadTimeline(timeline);
        return waitFor([&] { return service.isMetadataReady() && !service.isSeeking(); }, 20000);
    };
    Figures ends, reference, seeksEnds, seeksReference;
    // In the 4K clip's tail, a's tail, the 4K clip far from its keyframe, b, the last piece.
    const auto instants = {5.95, 1.97, 4.5, 2.6, 6.5, 0.4};
    for (int pair = 0; pair < pairs; ++pair) {
        // a's last 2 s, b 0..2, k's last 2 s, a 0..1: two clip ends, one of them 4K.
        const auto loadEnds = [&] {
            return load({cut(a, a.duration - 2, a.duration, 0), cut(b, 0, 2, 2), cut(k, k.duration - 2, k.duration, 4),
                         cut(a, 0, 1, 6)});
        };
        seeksEnds.ms.push_back(longestStallSeeking(service, loadEnds, instants));
        ends.ms.push_back(longestStallAcrossEnds(service, 1.2, 6.8));
        seeksReference.ms.push_back(longestStallSeeking(service, [&] { return load({cut(b, 0, 8, 0)}); }, instants));
        reference.ms.push_back(longestStallAcrossEnds(service, 1.2, 6.8));
        if (seeksEnds.ms.back() < 0 || seeksReference.ms.back() < 0)
            return 1;
    }
    const auto worst = [](const Figures &f) { return f.ms.empty() ? 0.0 : *std::max_element(f.ms.begin(), f.ms.end()); };
    std::printf("Across clip ends, %d alternating pairs, load average %.2f (goal: longest stall < 50 ms):\n", pairs,
                loadAverage());
    ends.print("  longest stall, across clip ends");
    reference.print("  longest stall, within one clip");
    std::printf("  %-32s %.2f\n", "ratio worst/reference worst", worst(ends) / std::max(1.0, worst(reference)));
    seeksEnds.print("  longest stall, loading and seeking into the clips' ends and the 4K clip");
    seeksReference.print("  longest stall, loading and seeking within one clip");
    std::printf("  %-32s %.2f\n", "ratio worst/reference worst",
                worst(seeksEnds) / std::max(1.0, worst(seeksReference)));
    std::fflush(stdout);
    return 0;
}

int run(const QStringList &args)
{
    int seeks = 20;
    int pairs = 1;
    QSize viewSize(960, 540);
    std::optional<GPXTrack> longTrack;
    for (qsizetype k = 0; k < args.size(); ++k) {
        GPXTrack track;
        QString error;
        if (takeTrackOption(args, k, track, error)) {
            if (!error.isEmpty()) {
                std::fprintf(stderr, "%s\n", qPrintable(error));
                return 2;
            }
            longTrack = track;
        } else if (args.at(k) == QStringLiteral("--regular-only") || args.at(k) == QStringLiteral("--sizes")
                   || args.at(k) == QStringLiteral("--clip-ends")) {
        } else if (args.at(k) == QStringLiteral("--view") && k + 1 < args.size()) {
            const QStringList sides = args.at(++k).split(QLatin1Char('x'));
            if (sides.size() == 2 && sides[0].toInt() > 0 && sides[1].toInt() > 0)
                viewSize = QSize(sides[0].toInt(), sides[1].toInt());
        } else if (args.at(k) == QStringLiteral("--pairs") && k + 1 < args.size()) {
            pairs = std::max(1, args.at(++k).toInt());
        } else {
            seeks = std::max(1, args.at(k).toInt());
        }
    }
    if (args.contains(QStringLiteral("--sizes")))
        return runSizes(pairs, viewSize);
    if (args.contains(QStringLiteral("--clip-ends")))
        return runClipEnds(pairs);
    if (const int failed = runRegular(pairs))
        return failed;
    if (args.contains(QStringLiteral("--regular-only")))
        return 0;
    QTemporaryDir dir;
    std::printf("making 1080p30 clips...\n");
    std::fflush(stdout);
    const QString a = makeClip(dir.path(), QStringLiteral("a.mp4"), 12, QStringLiteral("testsrc2"));
    const QString b = makeClip(dir.path(), QStringLiteral("b.mp4"), 6, QStringLiteral("color=c=blue"));
    if (a.isEmpty() || b.isEmpty())
        return 1;

    auto *player = new TimelinePlayer;
    VideoPlayerService service(player);
    CountingView view;
    view.setPlayer(player);
    view.resize(960, 540);
    view.show();

    VideoTimelineSnapshot timeline;
    timeline.sources = {VideoSource::probe(QUrl::fromLocalFile(a), QUuid::createUuid()),
                        VideoSource::probe(QUrl::fromLocalFile(b), QUuid::createUuid())};
    // a 0..12, b 12..18: seeks alternate between the two clips.
    timeline.segments = {cut(timeline.sources[0], 0, 12, 0), cut(timeline.sources[1], 0, 6, 12)};
    service.loadTimeline(timeline);
    if (!waitFor([&] { return service.isMetadataReady() && !service.isSeeking(); }, 10000)) {
        std::fprintf(stderr, "timeline did not load: %s\n", qPrintable(service.loadingError()));
        return 1;
    }

    auto timeSeek = [&](double t, Figures &figures) {
        bool shown = false;
        const auto c = QObject::connect(player, &PreviewPlayer::frameChanged, [&] { shown = true; });
        QElapsedTimer clock;
        clock.start();
        service.seek(t);
        if (waitFor([&] { return shown && !service.isSeeking(); }, 3000))
            figures.ms.push_back(clock.nsecsElapsed() / 1e6);
        else
            ++figures.failures;
        QObject::disconnect(c);
    };

    Figures within;
    Figures across;
    for (int i = 0; i < seeks; ++i)
        timeSeek(1.0 + (i * 7 % 10) + 0.37, within);            // inside clip a, all over it
    for (int i = 0; i < seeks; ++i)
        timeSeek(i % 2 ? 2.0 + i % 5 : 13.0 + i % 4, across);   // a <-> b
    within.print("seek to first frame, within a clip");
    across.print("seek to first frame, across clips");

    // Across the a -> b boundary at 12 s: the longest time the clock stood still.
    service.seek(11.0);
    waitFor([&] { return !service.isSeeking(); }, 3000);
    {
        double lastValue = -1;
        QElapsedTimer sinceChange;
        double longestStill = 0;
        const auto c = QObject::connect(service.clock(), &PlaybackClock::currentTimeChanged, [&](double t) {
            if (t > lastValue) {
                if (lastValue >= 0)
                    longestStill = std::max(longestStill, sinceChange.nsecsElapsed() / 1e6);
                lastValue = t;
                sinceChange.restart();
            }
        });
        service.play();
        waitFor([&] { return service.clock()->currentTime() >= 13.0; }, 10000);
        service.pause();
        QObject::disconnect(c);
        std::printf("%-34s longest stand-still of the clock %.1f ms (ticks every 16.7 ms)\n",
                    "play across a clip boundary", longestStill);
    }

    // 10 s of playback of clip a from its start.
    if (!waitFor([&] { return !service.isSeeking(); }, 3000))
        return 1;
    service.seek(0);
    waitFor([&] { return !service.isSeeking(); }, 3000);
    int delivered = 0;
    QObject::connect(player, &PreviewPlayer::frameChanged, [&] { ++delivered; });
    const int shownBefore = int(player->framesShown());
    const int decodedBefore = int(player->framesDecoded());
    view.paints = 0;
    QElapsedTimer wall;
    wall.start();
    service.play();
    waitFor([&] { return service.clock()->currentTime() >= 10.0; }, 20000);
    const double played = service.clock()->currentTime();
    const double seconds = wall.nsecsElapsed() / 1e9;
    service.pause();
    const int expected = int(played * 30 + 0.5);
    std::printf("playback 1080p30: %.2f s of timeline in %.2f s wall\n", played, seconds);
    std::printf("  frames expected %d, decoded %d, shown (player's sink) %d, dropped %d, painted by a 960x540 view %d\n",
                expected, int(player->framesDecoded()) - decodedBefore, delivered, std::max(0, expected - delivered),
                view.paints);
    Q_UNUSED(shownBefore);

    // The same 10 s under the preview area with all six widgets (maps from a loopback service).
    const auto tiles = testsupport::startMapService();
    MapServices::overrideEndpointsForTesting(tiles->baseUrl());
    view.hide();
    GPXService gpx;
    TimelineEngine engine;
    struct TrackCase {
        QString name;
        GPXTrack track;
        QList<GPXSegment> segments;
    };
    QList<TrackCase> cases;
    {
        const GPXTrack track = ride(12);
        GPXSegment segment;
        segment.trackID = track.id;
        segment.gpxEnd = 12;
        cases.append({QStringLiteral("%1 points").arg(track.trackPoints.size()), track, {segment}});
    }
    if (longTrack) {
        // Laid whole on the timeline, as an import does: every point is in the widgets.
        GPXSegment segment;
        segment.trackID = longTrack->id;
        segment.gpxEnd = longTrack->duration;
        cases.append({QStringLiteral("%1 points").arg(longTrack->trackPoints.size()), *longTrack, {segment}});
    }
    const auto useCase = [&](const TrackCase &c) {
        gpx.setTracks({c.track});
        engine.setSegments(c.segments);
    };
    useCase(cases.first());
    engine.setCanvasOrigin(QSizeF(1920, 1080));
    MapSettings map;
    TimeWidgetSettings time;
    SpeedWidgetSettings speed;
    GPSPathWidgetSettings path;
    HeartRateWidgetSettings heart;
    HeartRateGraphWidgetSettings graph;
    map.setEnabled(true);
    path.setShowMap(true);
    time.setEnabled(true);
    speed.setEnabled(true);
    path.setEnabled(true);
    heart.setEnabled(true);
    graph.setEnabled(true);
    WindowState window;
    window.setWidgetLayoutSize(QSizeF(960, 540));
    // Connected around the preview's own handler: the time between the two is its update.
    QElapsedTimer update;
    Figures updates;
    QObject::connect(service.clock(), &PlaybackClock::playheadTimeChanged, [&] { update.start(); });
    PreviewAreaView preview({service, *service.clock(), gpx, engine, map, time, speed, path, heart, graph}, window, {});
    QObject::connect(service.clock(), &PlaybackClock::playheadTimeChanged, [&] {
        if (update.isValid())
            updates.ms.push_back(update.nsecsElapsed() / 1e6);
    });
    preview.resize(960, 540);
    preview.show();
    const auto playUnderPreview = [&](const QString &what, Figures &all, std::vector<double> &dropShares) {
        waitFor([] { return false; }, 3000);  // the map pages load, the widgets are drawn
        service.seek(0);
        waitFor([&] { return !service.isSeeking(); }, 3000);
        updates.ms.clear();
        delivered = 0;
        const int decodedBefore = int(player->framesDecoded());
        wall.restart();
        const double cpuBefore = threadCpuMs();
        service.play();
        waitFor([&] { return service.clock()->currentTime() >= 10.0; }, 20000);
        const double timeline = service.clock()->currentTime();
        const double elapsed = wall.nsecsElapsed() / 1e9;
        const double cpu = threadCpuMs() - cpuBefore;
        service.pause();
        const int expectedFrames = int(timeline * 30 + 0.5);
        const int dropped = std::max(0, expectedFrames - delivered);
        const double share = expectedFrames > 0 ? 100.0 * dropped / expectedFrames : 0.0;
        std::printf("playback 1080p30 under the preview, %s: %.2f s of timeline in %.2f s wall\n", qPrintable(what),
                    timeline, elapsed);
        std::printf("  frames expected %d, decoded %d, shown %d, dropped %d (%.2f %%)\n", expectedFrames,
                    int(player->framesDecoded()) - decodedBefore, delivered, dropped, share);
        updates.print("  main thread per playhead update");
        std::printf("  main thread busy %.1f %% of the wall time, %.2f ms CPU per playhead update (paints included)\n",
                    cpu / (elapsed * 10), updates.ms.empty() ? 0.0 : cpu / updates.ms.size());
        std::fflush(stdout);
        all.ms.insert(all.ms.end(), updates.ms.begin(), updates.ms.end());
        dropShares.push_back(share);
    };
    // The default widgets (the GPS path drawn in place), then the path over a web map, then no web map at all;
    // within each, the tracks in alternation.
    struct Setup {
        const char *name;
        bool map;
        bool pathMap;
    };
    for (const Setup &setup : {Setup{"all six widgets", true, false}, Setup{"all six, GPS path over a web map", true, true},
                               Setup{"six widgets, no web map", false, false}}) {
        map.setEnabled(setup.map);
        path.setShowMap(setup.pathMap);
        std::vector<Figures> all(cases.size());
        std::vector<std::vector<double>> drops(cases.size());
        for (int pair = 0; pair < pairs; ++pair) {
            for (qsizetype c = 0; c < cases.size(); ++c) {
                useCase(cases[c]);
                playUnderPreview(QStringLiteral("%1, %2").arg(QString::fromUtf8(setup.name), cases[c].name), all[c],
                                 drops[c]);
            }
        }
        if (pairs > 1) {
            for (qsizetype c = 0; c < cases.size(); ++c) {
                const double worst = *std::max_element(drops[c].begin(), drops[c].end());
                std::printf("%s, %s, %d runs: worst dropped %.2f %%\n", setup.name, qPrintable(cases[c].name), pairs,
                            worst);
                all[c].print("  main thread per playhead update");
            }
        }
    }
    MapServices::overrideEndpointsForTesting({});
    return 0;
}

const bool registered =
    registerCommand("player", "[SEEKS] [--track FILE | --track-points N] [--pairs N] [--regular-only | --sizes [--view WxH] | --clip-ends]", run);

} // namespace
} // namespace routereel::bench
