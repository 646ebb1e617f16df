// routereel-bench preview-figures: what a person sees of the preview, measured
// through the interfaces that every preview so far has had (the player service,
// PreviewPlayer, PlayerView), so that the same file builds against an earlier
// one and the two can be run in alternation:
//   seek    paused seeks into a 4K clip with keyframes 10 s apart;
//   drag    a 2 s ruler drag across that clip;
//   rough   three fast drags over 25 short clips, then a click and play;
//   quit    destroying the service and its player, scrubbed and playing;
//   memory  RSS over 300 frame steps across 4K clips, and while playing them;
//   sync    the clock's time at each picture shown, over pieces of a 10-minute clip.
// Each mode also reports the main thread's longest gap. Lines starting "FIG" are
// for scripts: FIG name value.
#include "benchffmpeg.h"
#include "benchcommand.h"
#include "support/tickgapprobe.h"
#include "support/timelinefixtures.h"
#include "support/waitfor.h"

#include "timeline/videoplayerservice.h"
#include "timeline/views/playerview.h"
#include "timeline/timelineplayer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <set>
#include <vector>

namespace routereel::bench {
namespace {

using testsupport::waitFor;


// Pictures carrying N + `first` as `bars` black/white bars (bit b white in bar b)
// over the top `barShare` of the picture; below them black, or white on every
// `flashEvery`-th picture.
QString numbered(int bars, int first, double barShare, int flashEvery)
{
    const QString bar = QStringLiteral("255*mod(floor((N+%1)/pow(2,floor(X*%2/W))),2)").arg(first).arg(bars);
    const QString below = flashEvery > 0 ? QStringLiteral("255*eq(mod(N,%1),0)").arg(flashEvery) : QStringLiteral("0");
    return QStringLiteral("geq=lum='if(lt(Y,H*%1),%2,%3)':cb=128:cr=128").arg(barShare).arg(bar, below);
}

int numberOf(const QImage &image, int bars, double y)
{
    if (image.isNull())
        return -1;
    int n = 0;
    for (int bar = 0; bar < bars; ++bar) {
        if (image.pixelColor(int((bar + 0.5) * image.width() / bars), int(y * image.height())).lightness() > 128)
            n |= 1 << bar;
    }
    return n;
}

// Made once into `dir` and reused, so that every run reads the same files.
struct Clips {
    QString uhdLongGop;          // 4K30 H.264, 20 s, keyframes 10 s apart, with grain (65 Mbit/s)
    QString uhdLight;            // the same with little grain, as a camera at a lower rate writes it
    QString uhdShortGop;         // 4K30 H.264, 8 s, keyframes 1 s apart
    std::vector<QString> shorts; // 25 clips of 2 s, 640x360, numbered from 64 * index
    QString flashes;             // 10 min at 30 fps, 16 bars, a flash and a beep each second
};

bool make(const QString &path, const QStringList &args)
{
    if (QFileInfo::exists(path))
        return true;
    const QString partial = path + QStringLiteral(".part.") + QFileInfo(path).suffix();
    if (!ffmpeg(args + QStringList{partial}))
        return false;
    return QFile::rename(partial, path);
}

std::optional<Clips> makeClips(const QString &dir, const QString &only)
{
    QDir().mkpath(dir);
    Clips c;
    const auto want = [&](std::initializer_list<const char *> modes) {
        if (only.isEmpty())
            return true;
        for (const char *m : modes)
            if (only == QLatin1String(m))
                return true;
        return false;
    };
    const auto camera = [](int gop) {
        return QStringList{QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-preset"),
                           QStringLiteral("veryfast"), QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"),
                           QStringLiteral("-g"), QString::number(gop), QStringLiteral("-keyint_min"),
                           QString::number(gop), QStringLiteral("-sc_threshold"), QStringLiteral("0")};
    };
    const auto uhd = [&](double seconds, int grain = 12) {
        return QStringList{QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                           QStringLiteral("nullsrc=s=48x16:r=30:d=%1,%2,scale=3840:2160:flags=neighbor,"
                                          "noise=alls=%3:allf=t")
                               .arg(seconds)
                               .arg(numbered(12, 0, 1, 0))
                               .arg(grain)};
    };
    std::printf("making clips in %s (once)...\n", qPrintable(dir));
    std::fflush(stdout);
    c.uhdLongGop = dir + QStringLiteral("/uhd-gop10.mp4");
    c.uhdShortGop = dir + QStringLiteral("/uhd-gop1.mp4");
    c.uhdLight = dir + QStringLiteral("/uhd-gop10-light.mp4");
    if (want({"seek", "drag"}) && !make(c.uhdLight, uhd(20, 2) + camera(300)))
        return std::nullopt;
    if (want({"seek", "drag", "quit", "memory"}) && !make(c.uhdLongGop, uhd(20) + camera(300)))
        return std::nullopt;
    if (want({"memory"}) && !make(c.uhdShortGop, uhd(8) + camera(30)))
        return std::nullopt;
    if (want({"rough", "quit"})) {
        for (int i = 0; i < 25; ++i) {
            const QString path = dir + QStringLiteral("/short%1.mp4").arg(i, 2, 10, QLatin1Char('0'));
            const QStringList args{QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                   QStringLiteral("nullsrc=s=48x16:r=30:d=2,%1,scale=640:360:flags=neighbor")
                                       .arg(numbered(12, 64 * i, 1, 0)),
                                   QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                   QStringLiteral("sine=frequency=%1:sample_rate=48000:duration=2").arg(300 + 20 * i),
                                   QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-preset"),
                                   QStringLiteral("veryfast"), QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"),
                                   QStringLiteral("-c:a"), QStringLiteral("aac"), QStringLiteral("-shortest")};
            if (!make(path, args))
                return std::nullopt;
            c.shorts.push_back(path);
        }
    }
    c.flashes = dir + QStringLiteral("/flashes.mp4");
    if (want({"sync"})
        && !make(c.flashes,
                 {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                  QStringLiteral("nullsrc=s=320x180:r=30:d=600,%1").arg(numbered(16, 0, 0.5, 30)),
                  QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                  QStringLiteral("aevalsrc=exprs='if(lt(mod(t\\,1)\\,0.03)\\,0.5*sin(2*PI*1000*t)\\,0)'"
                                 ":s=48000:d=600"),
                  QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-preset"),
                  QStringLiteral("veryfast"), QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"),
                  QStringLiteral("-c:a"), QStringLiteral("aac")}))
        return std::nullopt;
    return c;
}


VideoSource probe(const QString &path)
{
    return VideoSource::probe(QUrl::fromLocalFile(path), QUuid::createUuid());
}

double loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().split(' ').value(0).toDouble() : -1;
}

// kB of the process's "VmRSS" or "VmHWM".
double statusKb(const char *key)
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : file.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key)) + 1).trimmed().split(' ').value(0).toDouble();
    return -1;
}

double msSince(const QElapsedTimer &t)
{
    return t.nsecsElapsed() / 1e6;
}

void fig(const char *name, double value)
{
    std::printf("FIG %s %.3f\n", name, value);
    std::fflush(stdout);
}

struct Stats {
    double median = 0, p99 = 0, max = 0, min = 0;
};

Stats stats(std::vector<double> v)
{
    if (v.empty())
        return {};
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v[std::min(v.size() - 1, size_t(v.size() * 0.99))], v.back(), v.front()};
}

// A player in a 960x540 view under the service, as the window holds it; made and
// destroyed on demand so that the quit can be timed.
struct Preview {
    TimelinePlayer *player = new TimelinePlayer;
    std::unique_ptr<VideoPlayerService> service = std::make_unique<VideoPlayerService>(player);
    std::unique_ptr<PlayerView> view = std::make_unique<PlayerView>();

    Preview()
    {
        view->setPlayer(player);
        view->resize(960, 540);
        view->show();
    }

    bool load(const std::vector<VideoSource> &sources, QList<VideoSegment> segments)
    {
        VideoTimelineSnapshot timeline;
        timeline.sources = QList<VideoSource>(sources.begin(), sources.end());
        timeline.segments = std::move(segments);
        service->loadTimeline(timeline);
        return waitFor([&] { return service->isMetadataReady() && !service->isSeeking(); }, 30000);
    }

    // The ruler's press or move: a running play is paused first.
    void scrub(double t)
    {
        if (service->isPlaying() || service->wantsToPlay())
            service->pause();
        service->scrub(t);
    }

    // Milliseconds until the picture numbered `number` (within `slack`) is current
    // and no seek is open; -1 after `limitMs`.
    double awaitPicture(int number, int slack, int bars, double y, int limitMs, const QElapsedTimer &since)
    {
        const bool ok = waitFor(
            [&] {
                return !service->isSeeking()
                    && std::abs(numberOf(player->currentFrame(), bars, y) - number) <= slack;
            },
            limitMs);
        return ok ? msSince(since) : -1;
    }
};

// A 30 fps picture's number at source second t: the frame whose span holds t.
int frameAt(double t)
{
    return int(std::floor(t * 30 + 1e-6));
}

int seekFigures(const QString &clip, const char *tag, int repeats)
{
    Preview p;
    const VideoSource s = probe(clip);
    if (!p.load({s}, {testsupport::cut(s, 0, s.duration, 0)}))
        return 1;
    testsupport::TickGapProbe gaps(5);
    // Far from a keyframe and near one, forward and back.
    const std::vector<double> instants{9.9, 4.5, 19.5, 14.95, 0.5, 10.2, 7.3, 12.0};
    std::vector<double> ms;
    int timedOut = 0;
    for (int r = 0; r < repeats; ++r) {
        for (const double t : instants) {
            QElapsedTimer since;
            since.start();
            testsupport::TickGapProbe seekGaps(5);
            p.service->seek(t);
            const double shown = p.awaitPicture(frameAt(t), 0, 12, 0.5, 15000, since);
            if (seekGaps.longestGapMs() - 5 > 50)
                std::printf("  (window held %.0f ms during this seek)\n", seekGaps.longestGapMs() - 5);
            std::printf("  paused seek to %5.2f s: %s%.0f ms\n", t, shown < 0 ? "TIMED OUT, showed #" : "",
                        shown < 0 ? double(numberOf(p.player->currentFrame(), 12, 0.5)) : shown);
            if (shown < 0)
                ++timedOut;
            else
                ms.push_back(shown);
        }
    }
    const Stats st = stats(ms);
    std::printf("paused seeks into 4K30, keyframes 10 s apart: median %.0f ms, max %.0f ms, %d timed out (15 s)\n",
                st.median, st.max, timedOut);
    fig((QByteArray(tag) + "seek_median_ms").constData(), st.median);
    fig((QByteArray(tag) + "seek_max_ms").constData(), timedOut ? 15000 : st.max);
    fig((QByteArray(tag) + "seek_gap_ms").constData(), std::max(0.0, gaps.longestGapMs() - 5));
    return 0;
}

int dragFigures(const QString &clip, const char *tag, int repeats)
{
    Preview p;
    const VideoSource s = probe(clip);
    if (!p.load({s}, {testsupport::cut(s, 0, s.duration, 0)}))
        return 1;
    std::vector<double> shownDuring, lastAfter, oneSeek;
    double gap = 0;
    for (int r = 0; r < repeats; ++r) {
        // From 1 s to 9 s over 2 s, a position every 16 ms, as a mouse drags the ruler.
        const double from = 1 + r * 0.13, to = 9 - r * 0.17;
        p.service->seek(0);
        waitFor([&] { return !p.service->isSeeking(); }, 15000);
        testsupport::TickGapProbe gaps(5);
        std::vector<int> seen;
        const auto c = QObject::connect(p.player, &PreviewPlayer::frameChanged, [&] {
            if (const int n = numberOf(p.player->currentFrame(), 12, 0.5); n >= 0)
                seen.push_back(n);
        });
        QElapsedTimer drag;
        drag.start();
        int step = 0;
        while (msSince(drag) < 2000) {
            const double t = from + (to - from) * std::min(1.0, msSince(drag) / 2000);
            p.scrub(t);
            ++step;
            const qint64 next = qint64(step) * 16;
            waitFor([&] { return msSince(drag) >= next; }, 100, 2);
        }
        p.scrub(to);
        const size_t duringCount = std::set<int>(seen.begin(), seen.end()).size();
        QElapsedTimer after;
        after.start();
        const double last = p.awaitPicture(frameAt(to), 0, 12, 0.5, 20000, after);
        QObject::disconnect(c);
        gap = std::max(gap, gaps.longestGapMs() - 5);
        // One paused seek to the same place, from elsewhere, for comparison.
        p.service->seek(15);
        waitFor([&] { return !p.service->isSeeking(); }, 20000);
        QElapsedTimer single;
        single.start();
        p.service->seek(to);
        const double once = p.awaitPicture(frameAt(to), 0, 12, 0.5, 20000, single);
        std::printf("  drag %.2f..%.2f s, %d positions: %zu distinct pictures during it; last picture %.0f ms after "
                    "the last position; one paused seek there %.0f ms\n",
                    from, to, step + 1, duringCount, last, once);
        shownDuring.push_back(double(duringCount));
        lastAfter.push_back(last < 0 ? 20000 : last);
        oneSeek.push_back(once < 0 ? 20000 : once);
    }
    fig((QByteArray(tag) + "drag_pictures_during_min").constData(), stats(shownDuring).min);
    fig((QByteArray(tag) + "drag_last_after_max_ms").constData(), stats(lastAfter).max);
    fig((QByteArray(tag) + "drag_one_seek_max_ms").constData(), stats(oneSeek).max);
    fig((QByteArray(tag) + "drag_gap_ms").constData(), std::max(0.0, gap));
    return 0;
}

int runSeek(const Clips &clips, int repeats)
{
    std::printf("-- grain, 65 Mbit/s\n");
    if (const int failed = seekFigures(clips.uhdLongGop, "", repeats))
        return failed;
    std::printf("-- little grain\n");
    return seekFigures(clips.uhdLight, "light_", repeats);
}

int runDrag(const Clips &clips, int repeats)
{
    std::printf("-- grain, 65 Mbit/s\n");
    if (const int failed = dragFigures(clips.uhdLongGop, "", repeats))
        return failed;
    std::printf("-- little grain\n");
    return dragFigures(clips.uhdLight, "light_", repeats);
}

// Number on a short clip's picture -> (clip, source frame).
std::pair<int, int> shortAt(const std::vector<VideoSource> &, int number)
{
    return {number / 64, number % 64};
}

int runRough(const Clips &clips, int repeats)
{
    Preview p;
    std::vector<VideoSource> sources;
    QList<VideoSegment> segments;
    // 25 pieces of 1.8 s, each from source 0.1 s: 45 s of timeline.
    for (const QString &path : clips.shorts) {
        sources.push_back(probe(path));
        segments.append(testsupport::cut(sources.back(), 0.1, 1.9, 1.8 * (segments.size())));
    }
    if (!p.load(sources, segments))
        return 1;
    const double length = 1.8 * 25;
    testsupport::TickGapProbe gaps(5);
    std::vector<double> clickMs, playMs;
    int wrong = 0;
    for (int r = 0; r < repeats; ++r) {
        p.service->seek(3.0 + r);
        waitFor([&] { return !p.service->isSeeking(); }, 15000);
        p.service->play();
        waitFor([] { return false; }, 500);
        // Three ~1 s drags: across, back, across again; playing before each, as a person leaves it.
        for (int d = 0; d < 3; ++d) {
            const double a = d == 1 ? length - 1 : 0.5, b = d == 1 ? 2 : length - 2;
            QElapsedTimer drag;
            drag.start();
            int step = 0;
            while (msSince(drag) < 1000) {
                p.scrub(a + (b - a) * std::min(1.0, msSince(drag) / 1000));
                const qint64 next = qint64(++step) * 16;
                waitFor([&] { return msSince(drag) >= next; }, 100, 2);
            }
            if (d < 2) {
                p.service->play();
                waitFor([] { return false; }, 200);
            }
        }
        // A click into piece 7 (timeline 7 * 1.8 + 0.95): its picture is source frame 31 of clip 7.
        const double click = 7 * 1.8 + 0.95;
        QElapsedTimer since;
        since.start();
        p.scrub(click);
        const int expected = 64 * 7 + frameAt(click - 7 * 1.8 + 0.1);
        const double shown = p.awaitPicture(expected, 1, 12, 0.5, 30000, since);
        const auto [clip, frame] = shortAt(sources, numberOf(p.player->currentFrame(), 12, 0.5));
        if (shown < 0)
            ++wrong;
        QElapsedTimer playing;
        playing.start();
        p.service->play();
        const bool moved = waitFor([&] { return p.service->clock()->currentTime() >= click + 0.02; }, 30000);
        const double moveMs = moved ? msSince(playing) : 30000;
        std::printf("  after 3 drags: click at %.2f s shows %s in %.0f ms (clip %d frame %d); play moves the clock "
                    "20 ms on in %.0f ms\n",
                    click, shown < 0 ? "NOT its picture" : "its picture", shown < 0 ? 30000.0 : shown, clip, frame,
                    moveMs);
        p.service->pause();
        clickMs.push_back(shown < 0 ? 30000 : shown);
        playMs.push_back(moveMs);
    }
    fig("rough_click_max_ms", stats(clickMs).max);
    fig("rough_play_moves_max_ms", stats(playMs).max);
    fig("rough_wrong_picture", wrong);
    fig("rough_gap_ms", std::max(0.0, gaps.longestGapMs() - 5));
    return 0;
}

int runQuit(const Clips &clips, int repeats)
{
    std::vector<double> ms;
    double gap = 0;
    for (int r = 0; r < repeats * 2; ++r) {
        auto p = std::make_unique<Preview>();
        std::vector<VideoSource> sources;
        QList<VideoSegment> segments;
        if (r % 2 == 0) {
            sources.push_back(probe(clips.uhdLongGop));
            segments.append(testsupport::cut(sources[0], 0, sources[0].duration, 0));
        } else {
            for (const QString &path : clips.shorts) {
                sources.push_back(probe(path));
                segments.append(testsupport::cut(sources.back(), 0.1, 1.9, 1.8 * segments.size()));
            }
        }
        if (!p->load(sources, segments))
            return 1;
        testsupport::TickGapProbe gaps(5);
        const double length = segments.back().end();
        QElapsedTimer drag;
        drag.start();
        int step = 0;
        while (msSince(drag) < 1000) {
            p->scrub(0.5 + (length - 1) * msSince(drag) / 1000);
            const qint64 next = qint64(++step) * 16;
            waitFor([&] { return msSince(drag) >= next; }, 100, 2);
        }
        p->service->seek(2.3);
        p->service->play();
        waitFor([] { return false; }, 700);
        gap = std::max(gap, gaps.longestGapMs() - 5);
        QElapsedTimer quit;
        quit.start();
        p->view.reset();
        p->service.reset(); // owns the player
        const double q = msSince(quit);
        p.reset();
        std::printf("  quit after a drag, playing, %s: %.0f ms\n", r % 2 == 0 ? "4K clip" : "25 clips", q);
        ms.push_back(q);
    }
    fig("quit_max_ms", stats(ms).max);
    fig("quit_gap_ms", std::max(0.0, gap));
    return 0;
}

int runMemory(const Clips &clips, int)
{
    Preview p;
    const VideoSource a = probe(clips.uhdShortGop);
    const VideoSource b = probe(clips.uhdLongGop);
    // 4K pieces with cuts: steps cross them.
    if (!p.load({a, b}, {testsupport::cut(a, 0, 4, 0), testsupport::cut(b, 8, 11, 4), testsupport::cut(a, 4, 8, 7)}))
        return 1;
    testsupport::TickGapProbe gaps(5);
    const double start = statusKb("VmRSS:");
    double t = 2.5;
    p.service->seek(t);
    waitFor([&] { return !p.service->isSeeking(); }, 15000);
    std::vector<double> rss;
    std::vector<double> stepMs;
    // 150 steps forward and 150 back, 1/30 s each: 2.5 s .. 7.5 s and back, across both cuts;
    // a slow preview does fewer within the time given.
    QElapsedTimer session;
    session.start();
    int steps = 0;
    for (int i = 0; i < 300 && msSince(session) < 90000; ++i, ++steps) {
        t += (i < 150 ? 1.0 : -1.0) / 30;
        QElapsedTimer step;
        step.start();
        testsupport::TickGapProbe stepGaps(5);
        p.service->seek(t);
        waitFor([&] { return !p.service->isSeeking(); }, 15000);
        stepMs.push_back(msSince(step));
        if (stepGaps.longestGapMs() - 5 > 50)
            std::printf("  step %d to %.3f s (%.0f ms): window held %.0f ms\n", i, t, stepMs.back(),
                        stepGaps.longestGapMs() - 5);
        if (i % 50 == 49)
            rss.push_back(statusKb("VmRSS:"));
    }
    const double stepsSeconds = msSince(session) / 1000;
    const double stepsPeak = statusKb("VmHWM:");
    const double stepsGap = gaps.longestGapMs() - 5;
    testsupport::TickGapProbe playGaps(5);
    // Then 5 s of play across the cuts.
    p.service->seek(1.0);
    waitFor([&] { return !p.service->isSeeking(); }, 15000);
    p.service->play();
    double playPeak = 0;
    QElapsedTimer playing;
    playing.start();
    waitFor(
        [&] {
            playPeak = std::max(playPeak, statusKb("VmRSS:"));
            return msSince(playing) > 6000;
        },
        7000, 50);
    p.service->pause();
    std::printf("  %d steps in %.0f s; RSS before %.0f MB; every 50 steps:", steps, stepsSeconds, start / 1024);
    for (double kb : rss)
        std::printf(" %.0f", kb / 1024);
    const Stats st = stats(stepMs);
    std::printf(" MB; peak over the steps %.0f MB; peak playing %.0f MB; step median %.0f ms, max %.0f ms\n",
                stepsPeak / 1024, playPeak / 1024, st.median, st.max);
    fig("mem_steps_peak_mb", stepsPeak / 1024);
    fig("mem_steps_done", steps);
    fig("mem_steps_growth_mb", rss.size() > 1 ? (rss.back() - rss.front()) / 1024 : 0);
    fig("mem_play_peak_mb", playPeak / 1024);
    fig("mem_step_max_ms", st.max);
    fig("mem_steps_gap_ms", std::max(0.0, stepsGap));
    fig("mem_play_gap_ms", std::max(0.0, playGaps.longestGapMs() - 5));
    return 0;
}

int runSync(const Clips &clips, int)
{
    Preview p;
    const VideoSource s = probe(clips.flashes);
    // Eight pieces of 4 s from all over the 10 minutes, each starting mid-picture.
    QList<VideoSegment> segments;
    std::vector<double> cuts;
    for (int i = 0; i < 8; ++i) {
        const double from = 5 + i * 80 - (i == 7 ? 10 : 0) + 0.0123 * i;
        segments.append(testsupport::cut(s, from, from + 4, 4.0 * i));
        cuts.push_back(4.0 * i);
    }
    if (!p.load({s}, segments))
        return 1;
    testsupport::TickGapProbe gaps(5);
    p.service->seek(0);
    waitFor([&] { return !p.service->isSeeking(); }, 15000);
    // clock time minus the shown picture's timeline time, in ms: a picture should come
    // once the clock reaches its start, before its end (0 .. 33 ms).
    std::vector<double> all, flashes, atCuts;
    int strays = 0;
    int lastShown = -2;
    const auto c = QObject::connect(p.player, &PreviewPlayer::frameChanged, [&] {
        if (!p.player->isPlaying())
            return;
        const double clock = p.player->currentTime();
        const int n = numberOf(p.player->displayFrame(), 16, 0.25);
        // A view may be told of a change before its picture is converted: count each picture once.
        if (n == lastShown)
            return;
        lastShown = n;
        const double source = n / 30.0;
        // The piece whose source range holds the picture and whose time the clock is near.
        double best = 1e9;
        int bestPiece = -1;
        for (int i = 0; i < segments.size(); ++i) {
            const VideoSegment &g = segments[i];
            if (source + 1.0 / 30 <= g.sourceStart || source >= g.sourceEnd)
                continue;
            const double timeline = g.offset + std::max(0.0, source - g.sourceStart);
            if (std::abs(clock - timeline) < std::abs(best)) {
                best = clock - timeline;
                bestPiece = i;
            }
        }
        if (bestPiece < 0) {
            ++strays;
            return;
        }
        const double ms = best * 1000;
        all.push_back(ms);
        if (n % 30 == 0)
            flashes.push_back(ms);
        if (bestPiece > 0 && source - segments[bestPiece].sourceStart < 1.0 / 30)
            atCuts.push_back(ms);
    });
    p.service->play();
    waitFor([&] { return !p.service->wantsToPlay() || p.service->clock()->currentTime() >= 31.9; }, 90000);
    p.service->pause();
    QObject::disconnect(c);
    const auto show = [](const char *what, const std::vector<double> &v) {
        const Stats st = stats(v);
        std::printf("  %-34s n=%zu  median %+.1f  p99 %+.1f  max %+.1f  min %+.1f ms\n", what, v.size(), st.median,
                    st.p99, st.max, st.min);
    };
    std::printf("clock minus shown picture's timeline time (a picture belongs 0..+33 ms; clock: %s)\n",
                "the player's own (the sound's, or the wall clock without an audio device)");
    show("every picture", all);
    show("flash pictures", flashes);
    show("pictures in a piece's first 1/30 s", atCuts);
    std::printf("  pictures belonging to no piece: %d\n", strays);
    const Stats sa = stats(all), sc = stats(atCuts);
    fig("sync_median_ms", sa.median);
    fig("sync_p99_ms", sa.p99);
    fig("sync_max_ms", sa.max);
    fig("sync_min_ms", sa.min);
    fig("sync_cut_max_ms", sc.max);
    fig("sync_cut_min_ms", sc.min);
    fig("sync_strays", strays);
    fig("sync_gap_ms", std::max(0.0, gaps.longestGapMs() - 5));
    return 0;
}

int run(const QStringList &args)
{
    int repeats = 1;
    QString only;
    QString dir = QDir::tempPath() + QStringLiteral("/routereel-preview-figures");
    for (qsizetype k = 0; k + 1 < args.size(); ++k) {
        if (args.at(k) == QStringLiteral("--pairs"))
            repeats = std::max(1, args.at(++k).toInt());
        else if (args.at(k) == QStringLiteral("--only"))
            only = args.at(++k);
        else if (args.at(k) == QStringLiteral("--clips"))
            dir = args.at(++k);
    }
    const std::optional<Clips> clips = makeClips(dir, only);
    if (!clips)
        return 1;
    struct Mode {
        const char *name;
        int (*run)(const Clips &, int);
    };
    for (const Mode &m : {Mode{"seek", runSeek}, Mode{"drag", runDrag}, Mode{"rough", runRough},
                          Mode{"quit", runQuit}, Mode{"memory", runMemory}, Mode{"sync", runSync}}) {
        if (!only.isEmpty() && only != QLatin1String(m.name))
            continue;
        std::printf("== %s (load %.2f)\n", m.name, loadAverage());
        std::fflush(stdout);
        if (const int failed = m.run(*clips, repeats))
            return failed;
        fig((QByteArray(m.name) + "_load").constData(), loadAverage());
    }
    return 0;
}

const bool registered = registerCommand("preview-figures", "[--pairs N] [--only seek|drag|rough|quit|memory|sync] "
                                                           "[--clips DIR]",
                                        run);

} // namespace
} // namespace routereel::bench
