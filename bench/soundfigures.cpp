// routereel-bench sound-figures [SECONDS] [SYNC_MINUTES]: the preview's sound with
// a PulseAudio server and null sink of the bench's own.
//   - dropouts per minute of play, at the machine's load as it is and with twice
//     the cores' number of busy loops added, beside ffplay on the same clip: what
//     reached the sink is recorded from its monitor and each silence of 2 ms or
//     more inside the played sine counts (SECONDS of play each, alternating);
//   - the server killed while playing: the longest the clock stands, and the time
//     from the server's return to sound heard again;
//   - Play to the playhead moving, and from the first sound heard to 3 s after the
//     playhead less the sound heard, without a server, with the null sink and with
//     one of about 1 s latency (--play-only [ROUNDS]: only these);
//   - the time heard against the clock (which places the picture) over SYNC_MINUTES.
#include "benchcommand.h"
#include "benchffmpeg.h"
#include "busyloops.h"

#include "support/soundplan.h"
#include "support/soundserver.h"
#include "support/waitfor.h"
#include "timeline/previewclock.h"
#include "timeline/previewcomposition.h"
#include "timeline/previewsound.h"
#include "timeline/timelineplayer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

namespace routereel::bench {
namespace {

using testsupport::SoundServer;
using testsupport::waitFor;

constexpr int rate = 48000;

double loadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    return f.open(QIODevice::ReadOnly) ? f.readAll().split(' ').value(0).toDouble() : -1;
}

// Records what reaches the null sink, mono float.
class SinkRecording {
public:
    SinkRecording(const SoundServer &server, const QString &file)
    {
        m_parec.setStandardOutputFile(file);
        m_parec.start(QStringLiteral("parec"), {QStringLiteral("-s"), server.address(), QStringLiteral("-d"),
                                                QStringLiteral("null.monitor"), QStringLiteral("--raw"),
                                                QStringLiteral("--format=float32le"), QStringLiteral("--rate=48000"),
                                                QStringLiteral("--channels=1")});
        m_parec.waitForStarted(5000);
        QThread::msleep(300);
    }
    ~SinkRecording()
    {
        m_parec.terminate();
        if (!m_parec.waitForFinished(5000)) {
            m_parec.kill();
            m_parec.waitForFinished(5000);
        }
    }

private:
    QProcess m_parec;
};

struct Dropouts {
    int count = 0;
    double seconds = 0; // from the first sound to the last
};

// Silences of 2 ms or more between the first and the last loud sample of a sine.
Dropouts countDropouts(const QString &file)
{
    QFile f(file);
    Dropouts d;
    if (!f.open(QIODevice::ReadOnly))
        return d;
    const QByteArray bytes = f.readAll();
    const auto *pcm = reinterpret_cast<const float *>(bytes.constData());
    const qint64 n = bytes.size() / 4;
    qint64 first = -1, last = -1;
    for (qint64 i = 0; i < n; ++i) {
        if (std::abs(pcm[i]) > 0.05f) {
            if (first < 0)
                first = i;
            last = i;
        }
    }
    if (first < 0)
        return d;
    qint64 quiet = 0;
    for (qint64 i = first; i <= last; ++i) {
        if (std::abs(pcm[i]) < 0.01f) {
            ++quiet;
        } else {
            if (quiet >= rate / 500)
                ++d.count;
            quiet = 0;
        }
    }
    d.seconds = double(last - first) / rate;
    return d;
}

// Plays like the player: the clock follows the sound each picture tick.
struct Playing {
    PreviewSound sound;
    PreviewClock clock;
    int moves = 0;

    explicit Playing(const QString &clip, double length)
    {
        sound.setPieces({{0, length, clip, 0}});
        clock.setSound([this] { return sound.playedTime(); }, [this](double t) {
            ++moves;
            sound.start(t);
        });
    }
    void start(double t)
    {
        clock.start(t);
        sound.start(t);
    }
    // Runs the event loop for `seconds`, calling `each` after every follow.
    template <typename Each>
    void run(double seconds, Each each, int tickMs = 16)
    {
        QElapsedTimer wall;
        wall.start();
        waitFor([&] {
            clock.follow();
            each();
            return wall.elapsed() >= qint64(seconds * 1000);
        }, int(seconds * 1000) + 10'000, tickMs);
    }
};

void dropoutFigures(const QString &clip, const QString &dir, double seconds)
{
    const int loops = 2 * QThread::idealThreadCount();
    SoundServer server;
    if (!server.start()) {
        std::printf("no PulseAudio server could be started\n");
        return;
    }
    for (const int load : {0, loops}) {
        for (int pair = 0; pair < 2; ++pair) {
            for (const bool ours : {true, false}) {
                std::unique_ptr<BusyLoops> busy = load ? std::make_unique<BusyLoops>(load) : nullptr;
                QThread::msleep(500);
                const double before = loadAverage();
                const QString file = dir + QStringLiteral("/rec.f32");
                {
                    SinkRecording recording(server, file);
                    if (ours) {
                        Playing playing(clip, seconds + 1);
                        waitFor([&] { return playing.sound.hasOutput(); }, 10'000);
                        playing.start(0);
                        playing.run(seconds, [] {});
                        playing.sound.stop();
                        if (playing.moves)
                            std::printf("    (the sound was moved to the clock's time %d times)\n", playing.moves);
                    } else {
                        QProcess ffplay;
                        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
                        env.insert(QStringLiteral("SDL_AUDIODRIVER"), QStringLiteral("pulseaudio"));
                        ffplay.setProcessEnvironment(env);
                        ffplay.start(QStringLiteral("ffplay"), {QStringLiteral("-nodisp"), QStringLiteral("-autoexit"),
                                                                QStringLiteral("-loglevel"), QStringLiteral("error"),
                                                                QStringLiteral("-t"), QString::number(seconds), clip});
                        ffplay.waitForFinished(int(seconds * 1000) + 60'000);
                    }
                    QThread::msleep(500);
                }
                const Dropouts d = countDropouts(file);
                std::printf("%-9s busy loops %2d (load %5.1f -> %5.1f): %3d dropouts in %5.1f s of sound = %6.1f per minute\n",
                            ours ? "routereel" : "ffplay", load, before, loadAverage(), d.count, d.seconds,
                            d.seconds > 0 ? d.count * 60 / d.seconds : 0.0);
                std::fflush(stdout);
            }
        }
    }
}

void comingAndGoingFigures(const QString &clip)
{
    SoundServer server;
    if (!server.start())
        return;
    Playing playing(clip, 600);
    waitFor([&] { return playing.sound.hasOutput(); }, 10'000);
    playing.start(0);
    playing.run(3, [] {});
    for (int round = 0; round < 5; ++round) {
        // The clock read every millisecond around the kill: its longest standstill.
        double last = playing.clock.now();
        QElapsedTimer since;
        since.start();
        qint64 longest = 0;
        server.stop();
        playing.run(1.5, [&] {
            const double t = playing.clock.now();
            if (t > last) {
                last = t;
                since.restart();
            }
            longest = std::max(longest, since.nsecsElapsed());
        }, 1);
        QElapsedTimer back;
        server.start();
        back.start();
        const qint64 before = playing.sound.framesPlayed();
        double heardAfter = -1;
        playing.run(8, [&] {
            if (heardAfter < 0 && playing.sound.playedTime() && playing.sound.framesPlayed() > before)
                heardAfter = double(back.nsecsElapsed()) / 1e6;
        });
        std::printf("server gone: the clock stood at most %.1f ms; back: sound heard again %.0f ms after the server answered"
                    " (load %.1f)\n", double(longest) / 1e6, heardAfter, loadAverage());
        std::fflush(stdout);
    }
}

// Play (and a seek while playing) through the player, as the window does, with no
// server, a null sink of the usual latency and one of about 1 s: the time from Play to
// the playhead moving, and from the first sound heard to 3 s after, the playhead
// (which places the picture) less the sound heard.
void playFigures(const QString &clip, int rounds)
{
    const PreviewPlan plan = testsupport::oneClipPlan(clip, 60);
    enum class Device { none, usual, oneSecond };
    const char *names[] = {"no server", "null sink", "null sink of 1 s"};
    for (const Device device : {Device::none, Device::usual, Device::oneSecond}) {
        SoundServer server(device == Device::oneSecond ? SoundServer::Latency::oneSecond : SoundServer::Latency::usual);
        if (device != Device::none && !server.start()) {
            std::printf("no PulseAudio server could be started\n");
            return;
        }
        TimelinePlayer player;
        const PreviewSound *sound = player.findChild<PreviewSound *>();
        if (device != Device::none)
            waitFor([&] { return sound->hasOutput(); }, 10'000);
        player.replaceItem(plan);
        waitFor([&] { return player.itemStatus() == PreviewPlayer::ItemStatus::readyToPlay; }, 10'000);
        waitFor([] { return false; }, 1000);
        std::vector<double> delays, off, firstHeard;
        const double before = loadAverage();
        for (int i = 0; i < rounds; ++i) {
            bool sought = false;
            player.seek(1.0 + 4.0 * (i % 12), [&](bool) { sought = true; });
            waitFor([&] { return sought; }, 10'000);
            const double from = player.currentTime();
            QElapsedTimer wall;
            wall.start();
            player.play();
            double moved = -1, heardAt = -1;
            waitFor([&] {
                const std::optional<double> a = sound->playedTime();
                const double t = player.currentTime();
                const std::optional<double> b = sound->playedTime();
                const double w = double(wall.nsecsElapsed()) / 1e6;
                if (moved < 0 && t > from)
                    moved = w;
                if (a && b) {
                    if (heardAt < 0)
                        heardAt = w;
                    // Outside the two readings only; a thread held between them widens the window.
                    off.push_back(t < std::min(*a, *b) ? t - std::min(*a, *b) : t > std::max(*a, *b) ? t - std::max(*a, *b) : 0);
                }
                return heardAt >= 0 ? w > heardAt + 3000 : w > 4000;
            }, 20'000, 2);
            delays.push_back(moved);
            firstHeard.push_back(heardAt);
            player.pause();
            waitFor([] { return false; }, 300);
        }
        std::printf("%-16s Play to the playhead moving:", names[int(device)]);
        for (double d : delays)
            std::printf(" %.0f", d);
        std::printf(" ms; to the first sound heard:");
        for (double d : firstHeard)
            std::printf(" %.0f", d);
        std::sort(off.begin(), off.end(), [](double x, double y) { return std::abs(x) < std::abs(y); });
        if (!off.empty()) {
            const auto within = std::count_if(off.begin(), off.end(), [](double e) { return std::abs(e) <= 0.04; });
            std::printf(" ms\n%-16s picture less sound, first sound heard to 3 s after: %zu readings, |median| %.1f ms,"
                        " largest %+.1f ms, %.2f%% within 40 ms", "", off.size(), std::abs(off[off.size() / 2]) * 1000,
                        off.back() * 1000, 100.0 * double(within) / double(off.size()));
        }
        std::printf(" (load %.1f -> %.1f)\n", before, loadAverage());
        std::fflush(stdout);
    }
}

void syncFigures(const QString &clip, double minutes)
{
    SoundServer server;
    if (!server.start())
        return;
    Playing playing(clip, minutes * 60 + 5);
    waitFor([&] { return playing.sound.hasOutput(); }, 10'000);
    playing.start(0);
    std::vector<double> off;
    double firstHeard = -1;
    QElapsedTimer wall;
    wall.start();
    playing.run(minutes * 60, [&] {
        if (const auto heard = playing.sound.playedTime()) {
            if (firstHeard < 0)
                firstHeard = double(wall.nsecsElapsed()) / 1e9;
            else if (double(wall.nsecsElapsed()) / 1e9 > firstHeard + 1) // the first second glides into step
                off.push_back(std::abs(*heard - playing.clock.now()));
        }
    });
    std::sort(off.begin(), off.end());
    const auto within = std::count_if(off.begin(), off.end(), [](double e) { return e <= 0.04; });
    std::printf("sound against clock over %.1f min (load %.1f): %zu readings, median %.1f ms, p99 %.1f ms, max %.1f ms,"
                " %.3f%% within 40 ms; the sound was moved to the clock %d times; first heard %.0f ms after Play\n",
                minutes, loadAverage(), off.size(), off.empty() ? 0 : off[off.size() / 2] * 1000,
                off.empty() ? 0 : off[std::size_t(0.99 * double(off.size() - 1))] * 1000, off.empty() ? 0 : off.back() * 1000,
                off.empty() ? 0 : 100.0 * double(within) / double(off.size()), playing.moves, firstHeard * 1000);
}

int run(const QStringList &args)
{
    QStringList rest = args;
    const bool playOnly = rest.removeAll(QStringLiteral("--play-only")) > 0;
    const double seconds = playOnly ? 0 : rest.size() > 0 ? rest[0].toDouble() : 60;
    const double syncMinutes = playOnly ? 0 : rest.size() > 1 ? rest[1].toDouble() : 10;
    const int rounds = playOnly && !rest.isEmpty() ? rest[0].toInt() : 5;
    if (!SoundServer::installed()) {
        std::fprintf(stderr, "sound-figures: pulseaudio is not installed\n");
        return 1;
    }
    QTemporaryDir dir;
    const QString clip = dir.filePath(QStringLiteral("sine.mp4"));
    const double length = std::max({seconds, syncMinutes * 60, 60.0}) + 30;
    if (!ffmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                 QStringLiteral("color=c=gray:s=64x64:r=30:d=%1").arg(length), QStringLiteral("-f"),
                 QStringLiteral("lavfi"), QStringLiteral("-i"),
                 QStringLiteral("sine=frequency=440:sample_rate=48000:duration=%1").arg(length), QStringLiteral("-c:v"),
                 QStringLiteral("libx264"), QStringLiteral("-preset"), QStringLiteral("ultrafast"),
                 QStringLiteral("-c:a"), QStringLiteral("aac"), clip}))
        return 1;
    std::printf("%d cores, load %.1f at the start\n", QThread::idealThreadCount(), loadAverage());
    if (seconds > 0)
        dropoutFigures(clip, dir.path(), seconds);
    if (!playOnly)
        comingAndGoingFigures(clip);
    playFigures(clip, std::max(1, rounds));
    if (syncMinutes > 0)
        syncFigures(clip, syncMinutes);
    return 0;
}

const bool registered = registerCommand("sound-figures", "[SECONDS] [SYNC_MINUTES] | --play-only [ROUNDS]", run);

} // namespace
} // namespace routereel::bench
