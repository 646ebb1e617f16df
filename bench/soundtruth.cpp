// routereel-bench sound-truth [ROUNDS] | --stands [LONG_SECONDS]: the playhead (which places the picture) and
// the time the sound device reports heard, each against the sound truly heard, on
// PulseAudio's null sink and on PipeWire's PulseAudio service, in alternating pairs.
// The truth is the sink's monitor (tests/support/sinkmonitor.h). The clip's sound is a continuous tone in PCM, so the first loud sample after Play
// is the timeline time Play started from.
// --stands: a server that stands (SIGSTOP) 1 s just after Play, 3 s during a seek
// while playing, and LONG_SECONDS (35) while playing, then a later Play; picture less
// sound from every slot of a tone that names its slots, from the first sound heard
// after the stand. And Play to the first sound on a fresh server: with the device made
// at once, 1 s or 3 s after the server started, and a later Play.
// --pace [SECONDS]: a server that changes its pace, at the machine's load and with twice
// the cores' number of busy loops: PipeWire's graph forced to another cycle every 3 s
// (8192, 1024, 4096 frames, its own), then Play and Pause every 0.3 s after a change
// while paused; and a PulseAudio sink of 0.2 s that takes no rewinds, held 50-300 ms
// every 1-3 s (SECONDS each, 60). For each: the slots heard twice and how much of
// them, and picture less sound per slot heard while playing, median and 95th
// percentile of its size.
// --heard-once [ROUNDS]: sound heard twice or never, at the machine's load and with twice
// the cores' number of busy loops: cuts that wait for their 1080p picture (PulseAudio;
// PipeWire at cycles 1024, its own and 8192), what is heard again across each cut's
// silence; PipeWire's service held 0.28-0.40 s ROUNDS times at a cycle of 8192, the
// slots heard again after the holds; and ROUNDS plays to the timeline's end on
// PipeWire at its own cycle and at 8192, the last part of the sound not heard.
#include "benchcommand.h"
#include "benchffmpeg.h"
#include "busyloops.h"

#include "support/sinkmonitor.h"
#include "support/soundheard.h"
#include "support/soundplan.h"
#include "support/soundserver.h"
#include "support/waitfor.h"
#include "timeline/previewcomposition.h"
#include "timeline/previewsound.h"
#include "timeline/timelineplayer.h"

#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <memory>
#include <cmath>
#include <random>
#include <cstdio>
#include <optional>
#include <vector>

namespace routereel::bench {
namespace {

using testsupport::SinkMonitor;
using testsupport::SoundServer;
using testsupport::waitFor;

constexpr int rate = SinkMonitor::rate;

double nowSeconds()
{
    return SinkMonitor::now();
}

double loadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    return f.open(QIODevice::ReadOnly) ? f.readAll().split(' ').value(0).toDouble() : -1;
}

double median(std::vector<double> v)
{
    if (v.empty())
        return NAN;
    std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(v.size() / 2), v.end());
    return v[v.size() / 2];
}

struct Reading {
    double wall;
    double playhead;
    double reported; // NAN while none is told
};

struct Figures {
    std::vector<double> picture;  // playhead less truth
    std::vector<double> reported; // reported heard less truth
    std::vector<double> firstHeard;
    int rounds = 0;
};

void play(SoundServer::Kind kind, const QString &clip, int rounds, Figures &figures)
{
    SoundServer server(SoundServer::Latency::usual, kind);
    if (!server.start()) {
        std::printf("the server could not be started\n");
        return;
    }
    SinkMonitor recording(server);
    if (!recording.isRecording()) {
        std::printf("the sink's monitor could not be recorded\n");
        return;
    }
    const PreviewPlan plan = testsupport::oneClipPlan(clip, 60);
    TimelinePlayer player;
    const PreviewSound *sound = player.findChild<PreviewSound *>();
    waitFor([&] { return sound->hasOutput(); }, 10'000);
    player.replaceItem(plan);
    waitFor([&] { return player.itemStatus() == PreviewPlayer::ItemStatus::readyToPlay; }, 10'000);
    waitFor([] { return false; }, 1000);
    for (int i = 0; i < rounds; ++i) {
        bool sought = false;
        player.seek(1.0 + 4.0 * (i % 12), [&](bool) { sought = true; });
        waitFor([&] { return sought; }, 10'000);
        waitFor([] { return false; }, 300);
        const double from = player.currentTime();
        const qint64 recordedBefore = recording.size();
        const double playedAt = nowSeconds();
        player.play();
        std::vector<Reading> readings;
        waitFor([&] {
            const std::optional<double> heard = sound->playedTime();
            readings.push_back({nowSeconds(), player.currentTime(), heard ? *heard : NAN});
            return nowSeconds() > playedAt + 4.5;
        }, 20'000, 2);
        player.pause();
        waitFor([] { return false; }, 300);
        const qint64 first = recording.firstLoud(recordedBefore);
        if (first < 0) {
            std::printf("    round %d: no sound reached the sink\n", i);
            continue;
        }
        // The timeline time heard at wall time w, from the first sound truly heard on.
        const double heardAt = recording.timeOf(first);
        const auto truth = [&](double wall) { return from + (wall - heardAt); };
        ++figures.rounds;
        figures.firstHeard.push_back(heardAt - playedAt);
        for (const Reading &r : readings) {
            if (r.wall < heardAt || r.wall > heardAt + 3)
                continue;
            figures.picture.push_back(r.playhead - truth(r.wall));
            if (!std::isnan(r.reported))
                figures.reported.push_back(r.reported - truth(r.wall));
        }
    }
}

void print(const char *name, Figures &f)
{
    const auto line = [](const char *what, std::vector<double> &v) {
        if (v.empty()) {
            std::printf("  %-34s none\n", what);
            return;
        }
        std::sort(v.begin(), v.end());
        const double largest = std::abs(v.front()) > std::abs(v.back()) ? v.front() : v.back();
        const auto within = std::count_if(v.begin(), v.end(), [](double e) { return std::abs(e) <= 0.04; });
        std::printf("  %-34s %6zu readings, median %+6.1f ms, largest %+6.1f ms, %5.1f%% within 40 ms\n", what,
                    v.size(), median(v) * 1000, largest * 1000, 100.0 * double(within) / double(v.size()));
    };
    std::printf("%s (%d rounds; Play to the first sound heard, median %.0f ms)\n", name, f.rounds,
                median(f.firstHeard) * 1000);
    line("playhead less sound heard", f.picture);
    line("reported heard less sound heard", f.reported);
    std::fflush(stdout);
}

using Look = SinkMonitor::Look;

void printApart(const char *what, std::vector<double> v)
{
    if (v.empty()) {
        std::printf("    %-40s no slot heard\n", what);
        return;
    }
    std::sort(v.begin(), v.end());
    const double largest = std::abs(v.front()) > std::abs(v.back()) ? v.front() : v.back();
    std::printf("    %-40s %3zu slots, median %+7.1f ms, largest %+7.1f ms\n", what, v.size(), median(v) * 1000,
                largest * 1000);
    std::fflush(stdout);
}

enum class Stand { atPlay, duringASeek, long_ };

// The player on its sound output with `clip` ready to play, at `seconds` when given.
void readyOnClip(TimelinePlayer &player, const QString &clip, std::optional<double> seconds)
{
    const PreviewSound *sound = player.findChild<PreviewSound *>();
    waitFor([&] { return sound->hasOutput(); }, 10'000);
    player.replaceItem(testsupport::oneClipPlan(clip, 60));
    waitFor([&] { return player.itemStatus() == PreviewPlayer::ItemStatus::readyToPlay; }, 10'000);
    if (!seconds)
        return;
    bool sought = false;
    player.seek(*seconds, [&](bool) { sought = true; });
    waitFor([&] { return sought; }, 10'000);
}

void stand(SoundServer::Kind kind, const QString &clip, Stand stand, double longSeconds)
{
    SoundServer server(SoundServer::Latency::usual, kind);
    if (!server.start()) {
        std::printf("the server could not be started\n");
        return;
    }
    auto monitor = std::make_unique<SinkMonitor>(server);
    TimelinePlayer player;
    readyOnClip(player, clip, 1);
    std::vector<Look> looks;
    const auto playFor = [&](double seconds) {
        const double until = nowSeconds() + seconds;
        waitFor([&] {
            looks.push_back({nowSeconds(), player.currentTime()});
            return nowSeconds() > until;
        }, int(seconds * 1000) + 10'000, 2);
    };
    player.play();
    const double standFor = stand == Stand::atPlay ? 1 : stand == Stand::duringASeek ? 3 : longSeconds;
    playFor(stand == Stand::atPlay ? 0.03 : 1.5);
    if (stand == Stand::duringASeek)
        player.seek(20, {});
    server.stand(true);
    playFor(standFor);
    server.stand(false);
    const double back = nowSeconds();
    monitor = std::make_unique<SinkMonitor>(server); // the samples no longer follow the clock across a stand
    playFor(4);
    auto heard = monitor->heardSlots(0);
    std::erase_if(heard, [&](const SinkMonitor::Slot &s) { return s.at < back; }); // the stand's, handed at once
    const char *name = stand == Stand::atPlay ? "1 s at Play" : stand == Stand::duringASeek ? "3 s during a seek" : "long";
    std::printf("  stand %s: first slot heard %.0f ms after the server went on\n", name,
                heard.empty() ? NAN : (heard.front().at - back) * 1000);
    printApart("from the first sound heard", monitor->pictureLessSound(looks, back, back + 4));
    if (stand != Stand::long_)
        return;
    player.pause();
    bool sought = false;
    player.seek(40, [&](bool) { sought = true; });
    waitFor([&] { return sought; }, 10'000);
    player.play();
    const double played = nowSeconds();
    playFor(4);
    player.pause();
    printApart("a later Play", monitor->pictureLessSound(looks, played, played + 4));
}

// Play to the first sound on the sink, on a fresh server, as soon as the device is
// there, the device made `after` seconds after the server started; then a later Play.
void firstPlay(SoundServer::Kind kind, const QString &clip, double after)
{
    SoundServer server(SoundServer::Latency::usual, kind);
    if (!server.start()) {
        std::printf("the server could not be started\n");
        return;
    }
    const double started = nowSeconds();
    SinkMonitor monitor(server);
    waitFor([&] { return nowSeconds() > started + after; }, int(after * 1000) + 1000);
    TimelinePlayer player;
    readyOnClip(player, clip, std::nullopt);
    std::printf("  device made %.1f s after the server started, Play %.1f s after:", after, nowSeconds() - started);
    for (int round = 0; round < 2; ++round) {
        bool sought = false;
        player.seek(1 + 10 * round, [&](bool) { sought = true; });
        waitFor([&] { return sought; }, 10'000);
        const qint64 before = monitor.size();
        const double at = nowSeconds();
        player.play();
        waitFor([&] { return monitor.firstLoud(before) >= 0 && nowSeconds() > at + 0.5; }, 5'000);
        player.pause();
        const qint64 first = monitor.firstLoud(before);
        std::printf(" %s %.0f ms", round == 0 ? "first sound" : "; a later Play",
                    first < 0 ? NAN : (monitor.timeOf(first) - at) * 1000);
        waitFor([] { return false; }, 300);
    }
    std::printf("\n");
    std::fflush(stdout);
}

int runStands(const QStringList &args)
{
    const double longSeconds = args.size() > 1 ? args[1].toDouble() : 35;
    QTemporaryDir dir;
    const QString clip = dir.filePath(QStringLiteral("slots.mov"));
    if (!ffmpeg(SinkMonitor::slotClipArguments(60, clip)))
        return 1;
    std::printf("%d cores, load %.1f at the start\n", QThread::idealThreadCount(), loadAverage());
    for (const SoundServer::Kind kind : {SoundServer::Kind::pulseAudio, SoundServer::Kind::pipeWire}) {
        std::printf("%s, null sink\n", kind == SoundServer::Kind::pipeWire ? "PipeWire's PulseAudio service" : "PulseAudio");
        for (const double after : {0.0, 1.0, 3.0})
            firstPlay(kind, clip, after);
        for (const Stand s : {Stand::atPlay, Stand::duringASeek, Stand::long_})
            if (s != Stand::long_ || longSeconds > 0)
                stand(kind, clip, s, longSeconds);
    }
    std::printf("load %.1f at the end\n", loadAverage());
    return 0;
}

struct Pace {
    SoundServer server;
    std::unique_ptr<SinkMonitor> monitor;
    TimelinePlayer player;
    std::vector<Look> looks;
    std::vector<std::pair<double, double>> playing; // wall time from each Play to its Pause

    Pace(SoundServer::Kind kind, SoundServer::Latency latency) : server(latency, kind) {}
    bool setUp(const QString &clip)
    {
        if (!server.start())
            return false;
        monitor = std::make_unique<SinkMonitor>(server);
        readyOnClip(player, clip, 1);
        playFor(2); // a fresh PulseAudio sink plays nothing before its first block has passed
        return monitor->isRecording();
    }
    void playFor(double seconds)
    {
        const double until = nowSeconds() + seconds;
        waitFor([&] {
            looks.push_back({nowSeconds(), player.currentTime()});
            return nowSeconds() > until;
        }, int(seconds * 1000) + 10'000, 2);
    }
    void play()
    {
        player.play();
        playing.emplace_back(nowSeconds(), INFINITY);
    }
    void pause()
    {
        player.pause();
        playing.back().second = nowSeconds();
    }
    // Slots heard again, and the sound heard again in all (from each going back to the
    // furthest heard before it); picture less sound while playing.
    void print(const char *what, double loadBefore)
    {
        int again = 0;
        double againSeconds = 0, furthest = -INFINITY, previous = 1;
        for (const SinkMonitor::Slot &slot : monitor->heardSlots(0)) {
            const double t = SinkMonitor::slotTime(slot.name, previous);
            if (t <= furthest) {
                ++again;
                if (previous >= furthest) // a new going back
                    againSeconds += furthest - t + SinkMonitor::slotSeconds;
            }
            furthest = std::max(furthest, t);
            previous = t;
        }
        std::vector<double> apart;
        for (const auto &[from, to] : playing) {
            const std::vector<double> some = monitor->pictureLessSound(looks, from, to);
            apart.insert(apart.end(), some.begin(), some.end());
        }
        std::vector<double> sizes;
        for (const double a : apart)
            sizes.push_back(std::abs(a));
        std::sort(sizes.begin(), sizes.end());
        const auto within = std::count_if(sizes.begin(), sizes.end(), [](double e) { return e <= 0.06; });
        std::printf("  %-34s load %4.1f -> %4.1f: heard twice %d slots, %.0f ms; picture less sound median %+.1f ms, "
                    "95th percentile |%.1f| ms, largest |%.1f| ms, %.1f%% within 60 ms, %zu slots\n",
                    what, loadBefore, loadAverage(), again, againSeconds * 1000, median(apart) * 1000,
                    sizes.empty() ? NAN : sizes[std::size_t(0.95 * double(sizes.size() - 1))] * 1000,
                    sizes.empty() ? NAN : sizes.back() * 1000,
                    sizes.empty() ? 0 : 100.0 * double(within) / double(sizes.size()), sizes.size());
        std::fflush(stdout);
    }
};

void quantumChanges(const QString &clip, double seconds, double loadBefore)
{
    Pace p(SoundServer::Kind::pipeWire, SoundServer::Latency::usual);
    if (!p.setUp(clip)) {
        std::printf("  PipeWire could not be started\n");
        return;
    }
    p.play();
    p.playFor(1.5);
    const int quanta[] = {8192, 1024, 4096, 0};
    for (int k = 0; k * 3 < seconds; ++k) {
        p.server.forceQuantum(quanta[k % 4]);
        p.playFor(3);
    }
    p.pause();
    p.playFor(0.6);
    for (const int quantum : {8192, 2048}) {
        p.server.forceQuantum(quantum);
        p.playFor(0.3);
        for (int round = 0; round < 6; ++round) {
            p.play();
            p.playFor(0.3);
            p.pause();
            p.playFor(0.3);
        }
    }
    p.print("PipeWire, the cycle changed", loadBefore);
}

void dropOuts(const QString &clip, double seconds, double loadBefore)
{
    Pace p(SoundServer::Kind::pulseAudio, SoundServer::Latency::fifthOfASecond);
    if (!p.setUp(clip)) {
        std::printf("  PulseAudio could not be started\n");
        return;
    }
    std::mt19937 random(74);
    std::uniform_real_distribution<double> hold(0.05, 0.3), between(1, 3);
    p.play();
    const double until = nowSeconds() + seconds;
    p.playFor(1.5);
    while (nowSeconds() < until) {
        p.server.stand(true);
        p.playFor(hold(random));
        p.server.stand(false);
        p.playFor(between(random));
    }
    p.pause();
    p.playFor(0.5);
    p.print("PulseAudio 0.2 s sink, drop-outs", loadBefore);
}

int runPace(const QStringList &args)
{
    const double seconds = args.size() > 1 ? args[1].toDouble() : 60;
    QTemporaryDir dir;
    const QString clip = dir.filePath(QStringLiteral("slots.mov"));
    if (!ffmpeg(SinkMonitor::slotClipArguments(120, clip)))
        return 1;
    std::printf("%d cores\n", QThread::idealThreadCount());
    for (const int loops : {0, 2 * QThread::idealThreadCount()}) {
        std::printf("%d busy loops\n", loops);
        const std::unique_ptr<BusyLoops> busy = loops ? std::make_unique<BusyLoops>(loops) : nullptr;
        QThread::msleep(loops ? 5000 : 0);
        quantumChanges(clip, seconds, loadAverage());
        dropOuts(clip, seconds, loadAverage());
    }
    return 0;
}

namespace heard = testsupport::soundheard;

void printFigures(const char *what, std::vector<double> v, const char *unit, int of)
{
    std::sort(v.begin(), v.end());
    if (v.empty()) {
        std::printf("    %-44s none of %d\n", what, of);
    } else {
        const auto over = std::count_if(v.begin(), v.end(), [](double e) { return e > 0.015; });
        std::printf("    %-44s %2zu of %d, median %+7.1f %s, largest %+7.1f %s, %td over 15 ms\n", what, v.size(), of,
                    median(v) * 1000, unit, v.back() * 1000, unit, over);
    }
    std::fflush(stdout);
}

// A player on its own server at `cycle` (0: the server's own) with the sink's monitor.
struct OnceRun {
    SoundServer server;
    std::unique_ptr<SinkMonitor> monitor;
    TimelinePlayer player;
    std::vector<Look> looks;
    OnceRun(SoundServer::Kind kind) : server(SoundServer::Latency::usual, kind) {}
    bool setUp(const PreviewPlan &plan, int cycle)
    {
        if (!server.start() || (cycle && !server.forceQuantum(cycle)))
            return false;
        monitor = std::make_unique<SinkMonitor>(server);
        const PreviewSound *sound = player.findChild<PreviewSound *>();
        waitFor([&] { return sound->hasOutput(); }, 10'000);
        player.replaceItem(plan);
        return waitFor([&] { return player.itemStatus() == PreviewPlayer::ItemStatus::readyToPlay; }, 10'000)
            && monitor->isRecording();
    }
    void seek(double t)
    {
        bool sought = false;
        player.seek(t, [&](bool) { sought = true; });
        waitFor([&] { return sought; }, 10'000);
    }
    template <typename Done>
    void playUntil(Done done, int mostMs)
    {
        waitFor([&] {
            looks.push_back({nowSeconds(), player.currentTime()});
            return done();
        }, mostMs, 2);
    }
    void playFor(double seconds)
    {
        const double until = nowSeconds() + seconds;
        playUntil([&] { return nowSeconds() > until; }, int(seconds * 1000) + 10'000);
    }
};

void cutsOnce(SoundServer::Kind kind, int cycle, const QString &slotClip, const std::vector<heard::Cut> &cuts, int rounds)
{
    OnceRun r(kind);
    if (!r.setUp(heard::cutPlan(slotClip, cuts, 15), cycle)) {
        std::printf("    the server could not be started\n");
        return;
    }
    std::vector<double> again;
    for (int round = 0; round < rounds; ++round) {
        const double cut = cuts[std::size_t(round) % cuts.size()].at;
        r.seek(cut - 0.3);
        const double played = nowSeconds();
        r.player.play();
        r.playUntil([&] { return r.player.currentTime() > cut + 0.8; }, 15'000);
        r.player.pause();
        const double paused = nowSeconds();
        r.playFor(0.5);
        const double reached = heard::reachedAt(r.looks, cut, played);
        const auto [silent, on] = heard::longestSilence(*r.monitor, reached - 0.1, paused);
        if (!std::isnan(silent) && on - silent >= 0.03)
            again.push_back(heard::heardAgainAcross(*r.monitor, played, silent, on, cut));
    }
    std::erase_if(again, [](double a) { return std::isnan(a); });
    char what[80];
    std::snprintf(what, sizeof what, "%s, cycle %s: heard again at a cut that waited",
                  kind == SoundServer::Kind::pipeWire ? "PipeWire" : "PulseAudio",
                  cycle ? QByteArray::number(cycle).constData() : "its own");
    printFigures(what, again, "ms", rounds);
}

void holdsOnce(const QString &slotClip, int rounds)
{
    OnceRun r(SoundServer::Kind::pipeWire);
    if (!r.setUp(testsupport::oneClipPlan(slotClip, 60), 8192)) {
        std::printf("    PipeWire could not be started\n");
        return;
    }
    r.seek(1);
    std::mt19937 random(79);
    std::uniform_real_distribution<double> hold(0.28, 0.40);
    r.player.play();
    r.playFor(1.5);
    for (int k = 0; k < rounds; ++k) {
        r.server.stand(true);
        r.playFor(hold(random));
        r.server.stand(false);
        r.playFor(1.2);
    }
    r.player.pause();
    r.playFor(0.5);
    printFigures("PipeWire, cycle 8192: heard again after a hold", heard::slotsHeardAgain(*r.monitor), "ms", rounds);
}

void endsOnce(int cycle, const QString &slotClip, int rounds)
{
    constexpr double end = 2.55;
    OnceRun r(SoundServer::Kind::pipeWire);
    if (!r.setUp(testsupport::oneClipPlan(slotClip, end), cycle)) {
        std::printf("    PipeWire could not be started\n");
        return;
    }
    bool ended = false;
    QObject::connect(&r.player, &PreviewPlayer::playedToEnd, [&] { ended = true; });
    std::vector<double> lost;
    for (int round = 0; round < rounds; ++round) {
        r.seek(1 + 0.2 * (round % 3));
        ended = false;
        const double played = nowSeconds();
        r.player.play();
        r.playUntil([&] { return ended; }, 15'000);
        r.playFor(0.8);
        lost.push_back(end - heard::heardTo(*r.monitor, played, nowSeconds(), end));
    }
    std::erase_if(lost, [](double a) { return std::isnan(a); });
    printFigures(cycle ? "PipeWire, cycle 8192: the end's sound not heard" : "PipeWire, its own cycle: the end's sound not heard",
                 lost, "ms", rounds);
}

int runHeardOnce(const QStringList &args)
{
    const int rounds = args.size() > 1 ? std::max(1, args[1].toInt()) : 8;
    QTemporaryDir dir;
    const QString slotClip = dir.filePath(QStringLiteral("slots.mov"));
    const QString far = dir.filePath(QStringLiteral("far.mov"));
    const std::vector<heard::Cut> cuts = heard::cutsBack(far);
    if (!ffmpeg(SinkMonitor::slotClipArguments(60, slotClip)) || !ffmpeg(heard::farClipArguments(4, far)))
        return 1;
    std::printf("%d cores\n", QThread::idealThreadCount());
    for (const int loops : {0, 2 * QThread::idealThreadCount()}) {
        const std::unique_ptr<BusyLoops> busy = loops ? std::make_unique<BusyLoops>(loops) : nullptr;
        QThread::msleep(loops ? 5000 : 0);
        std::printf("%d busy loops, load %.1f\n", loops, loadAverage());
        cutsOnce(SoundServer::Kind::pulseAudio, 0, slotClip, cuts, rounds);
        for (const int cycle : {1024, 0, 8192})
            cutsOnce(SoundServer::Kind::pipeWire, cycle, slotClip, cuts, rounds);
        holdsOnce(slotClip, rounds);
        endsOnce(0, slotClip, rounds);
        endsOnce(8192, slotClip, rounds);
        std::printf("  load %.1f at the end\n", loadAverage());
    }
    return 0;
}

int run(const QStringList &args)
{
    for (const SoundServer::Kind kind : {SoundServer::Kind::pulseAudio, SoundServer::Kind::pipeWire}) {
        if (!SoundServer::installed(kind)) {
            std::fprintf(stderr, "sound-truth: %s is not installed\n",
                         kind == SoundServer::Kind::pipeWire ? "pipewire, wireplumber or pipewire-pulse" : "pulseaudio");
            return 1;
        }
    }
    if (args.value(0) == QStringLiteral("--stands"))
        return runStands(args);
    if (args.value(0) == QStringLiteral("--pace"))
        return runPace(args);
    if (args.value(0) == QStringLiteral("--heard-once"))
        return runHeardOnce(args);
    const int rounds = args.isEmpty() ? 3 : std::max(1, args.first().toInt());
    QTemporaryDir dir;
    const QString clip = dir.filePath(QStringLiteral("tone.mov"));
    if (!ffmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                 QStringLiteral("color=c=gray:s=64x64:r=30:d=70"), QStringLiteral("-f"), QStringLiteral("lavfi"),
                 QStringLiteral("-i"), QStringLiteral("sine=frequency=441:sample_rate=48000:duration=70"),
                 QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-preset"),
                 QStringLiteral("ultrafast"), QStringLiteral("-c:a"), QStringLiteral("pcm_s16le"), clip}))
        return 1;
    std::printf("%d cores, load %.1f at the start\n", QThread::idealThreadCount(), loadAverage());
    Figures pulse, pipe;
    for (int pair = 0; pair < 2; ++pair) {
        play(SoundServer::Kind::pulseAudio, clip, rounds, pulse);
        play(SoundServer::Kind::pipeWire, clip, rounds, pipe);
    }
    print("PulseAudio, null sink", pulse);
    print("PipeWire's PulseAudio service, null sink", pipe);
    std::printf("load %.1f at the end\n", loadAverage());
    return 0;
}

const bool registered = registerCommand("sound-truth", "[ROUNDS] | --stands [LONG_SECONDS] | --pace [SECONDS] | --heard-once [ROUNDS]", run);

} // namespace
} // namespace routereel::bench
