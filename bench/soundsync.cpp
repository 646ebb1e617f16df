// routereel-bench sound-sync [MINUTES] [SEED]: the sound side of "sound and picture
// stay together". A clip of beeps (AAC, 44.1 kHz, resampled to 48 kHz) is cut into
// random pieces (jumps forward and back, gaps, cuts a hair apart) and read whole
// through SoundReader, then again from random seeks; each beep's onset is compared
// with the timeline time its source time says. Source times are ffmpeg's own, read
// as the export reads the file. With --play: the time heard through an audio device
// against the wall clock.
#include "benchcommand.h"
#include "benchffmpeg.h"

#include "media/soundreader.h"
#include "support/waitfor.h"
#include "timeline/previewsound.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

namespace routereel::bench {
namespace {

constexpr int rate = 48000;


// Onsets in seconds from the first frame: the first loud sample after 10 ms quiet.
std::vector<double> onsets(const float *pcm, qint64 frames, int channels, double from)
{
    std::vector<double> found;
    qint64 lastLoud = -rate;
    for (qint64 i = 0; i < frames; ++i) {
        if (std::abs(pcm[i * channels]) < 0.25f)
            continue;
        if (i - lastLoud > rate / 100)
            found.push_back(from + double(i) / rate);
        lastLoud = i;
    }
    return found;
}

struct Errors {
    std::vector<double> all;   // seconds, found less expected
    std::vector<double> atCuts; // beeps within 1 s after a piece's start
    int missing = 0;
    int extra = 0;

    void print(const char *what) const
    {
        auto sorted = all;
        std::sort(sorted.begin(), sorted.end(), [](double a, double b) { return std::abs(a) < std::abs(b); });
        const auto percentile = [&](double p) {
            return sorted.empty() ? 0.0 : std::abs(sorted[std::size_t(p * double(sorted.size() - 1))]) * 1000;
        };
        double worstCut = 0;
        for (double e : atCuts)
            worstCut = std::max(worstCut, std::abs(e) * 1000);
        std::printf("%-14s beeps %6zu  |error| median %.3f ms  p99 %.3f ms  max %.3f ms  at cuts (%zu) max %.3f ms"
                    "  missing %d  extra %d\n",
                    what, all.size(), percentile(0.5), percentile(0.99), percentile(1.0), atCuts.size(), worstCut,
                    missing, extra);
    }
};

// Pairs each expected onset with the found one nearest it (within 40 ms).
void compare(const std::vector<double> &found, const std::vector<double> &expected,
             const std::vector<double> &cuts, Errors *errors)
{
    std::size_t matched = 0;
    for (double t : expected) {
        const auto it = std::lower_bound(found.begin(), found.end(), t - 0.04);
        if (it == found.end() || *it > t + 0.04) {
            ++errors->missing;
            continue;
        }
        ++matched;
        errors->all.push_back(*it - t);
        const auto cut = std::upper_bound(cuts.begin(), cuts.end(), t);
        if (cut != cuts.begin() && t - *(cut - 1) < 1.0)
            errors->atCuts.push_back(*it - t);
    }
    errors->extra += int(found.size() - matched);
}

// With an audio device: the time PreviewSound says is heard against the wall clock.
int play(const QString &clip, double seconds)
{
    PreviewSound sound;
    testsupport::waitFor([&] { return sound.hasOutput(); }, 5000); // the server is reached on a thread of its own
    if (!sound.hasOutput()) {
        std::printf("play: no audio output device\n");
        return 1;
    }
    sound.setPieces({{0, seconds + 1, clip, 0}});
    QElapsedTimer wall;
    sound.start(0);
    wall.start();
    std::optional<double> first;
    std::optional<double> settled;
    double firstWall = 0, settledWall = 0, last = 0, worstBack = 0;
    int samples = 0;
    while (wall.elapsed() < qint64(seconds * 1000)) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (const auto t = sound.playedTime()) {
            const double w = double(wall.nsecsElapsed()) / 1e9;
            if (!first) {
                first = *t;
                firstWall = w;
                std::printf("play: first sound heard %.1f ms after start, at %.4f s\n", w * 1000, *t);
            }
            if (!settled && w - firstWall >= 1) {
                settled = *t;
                settledWall = w;
                std::printf("play: %.3f s heard in the first second of wall clock\n", *t - *first);
            }
            worstBack = std::max(worstBack, last - *t);
            last = *t;
            ++samples;
        }
    }
    const double w = double(wall.nsecsElapsed()) / 1e9;
    std::printf("play: after that, %.3f s heard over %.3f s of wall clock (speed %.4f), %d readings, "
                "worst step back %.3f ms\n",
                last - settled.value_or(0), w - settledWall, (last - settled.value_or(0)) / (w - settledWall), samples,
                worstBack * 1000);
    sound.stop();
    return 0;
}

int run(const QStringList &args)
{
    if (args.size() >= 1 && args[0] == QStringLiteral("--play")) {
        QTemporaryDir dir;
        const QString clip = dir.filePath(QStringLiteral("tone.mp4"));
        const double seconds = args.size() > 1 ? args[1].toDouble() : 10;
        if (!ffmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                     QStringLiteral("sine=frequency=440:sample_rate=48000:duration=%1").arg(seconds + 1),
                     QStringLiteral("-c:a"), QStringLiteral("aac"), clip}))
            return 1;
        return play(clip, seconds);
    }

    const double minutes = args.size() > 0 ? args[0].toDouble() : 10;
    const unsigned seed = args.size() > 1 ? args[1].toUInt() : 1;
    if (minutes <= 0) {
        std::fprintf(stderr, "sound-sync: MINUTES must be positive\n");
        return 2;
    }
    const double length = minutes * 60;
    QTemporaryDir dir;
    const QString clip = dir.filePath(QStringLiteral("beeps.mp4"));
    // A 30 ms beep every 0.7 s (from 0.13 s): irregular against whole seconds, so a
    // piece read a second off does not line up again.
    std::printf("making a %.0f s clip of beeps...\n", length);
    if (!ffmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                 QStringLiteral("color=c=black:s=64x64:r=30:d=%1").arg(length),
                 QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                 QStringLiteral("aevalsrc=exprs='0.8*sin(2*PI*3000*t)*lt(mod(t+0.57\\,0.7)\\,0.03)':s=44100:d=%1")
                     .arg(length),
                 QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-preset"), QStringLiteral("ultrafast"),
                 QStringLiteral("-c:a"), QStringLiteral("aac"), clip}))
        return 1;
    const QString pcmFile = clip + QStringLiteral(".f32");
    if (!ffmpeg({QStringLiteral("-i"), clip, QStringLiteral("-filter_complex"),
                 QStringLiteral("[0:a]aresample=48000:async=1:first_pts=0,pan=mono|c0=c0"), QStringLiteral("-f"),
                 QStringLiteral("f32le"), pcmFile}))
        return 1;
    QFile pcm(pcmFile);
    if (!pcm.open(QIODevice::ReadOnly))
        return 1;
    const QByteArray bytes = pcm.readAll();
    const std::vector<double> beeps = onsets(reinterpret_cast<const float *>(bytes.constData()), bytes.size() / 4, 1, 0);

    // Random pieces over the timeline's length: 0.5-20 s each, from anywhere in the
    // clip; now and then a gap, or a cut a hair apart (a gap of 0.3 microseconds).
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> pieceLength(0.5, 20);
    std::uniform_real_distribution<double> unit(0, 1);
    std::vector<SoundPiece> pieces;
    std::vector<double> cuts;
    double at = 0;
    while (at < length) {
        const double d = std::min(pieceLength(random), length - at);
        if (d < 0.1)
            break;
        const double source = unit(random) * (length - d);
        pieces.push_back({at, at + d, clip, source});
        cuts.push_back(at);
        at += d;
        const double roll = unit(random);
        if (roll < 0.1)
            at += 0.2 + unit(random);
        else if (roll < 0.2)
            at += 3e-7;
    }
    std::vector<double> expected;
    for (const SoundPiece &p : pieces) {
        for (double beep : beeps) {
            // A beep begun before the piece's start is left out: its onset is the cut's.
            if (beep >= p.sourceStart + 0.001 && beep < p.sourceStart + (p.end - p.start) - 0.0002)
                expected.push_back(p.start + beep - p.sourceStart);
        }
    }
    std::printf("%zu pieces over %.0f s, %zu beeps, seed %u\n", pieces.size(), at, expected.size(), seed);

    SoundReader reader(rate, 2);
    reader.setPieces(pieces);
    const qint64 frames = qint64(std::ceil(at * rate));
    std::vector<float> out(std::size_t(frames) * 2);
    QElapsedTimer timer;
    timer.start();
    const qint64 got = reader.read(out.data(), frames);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    std::printf("read whole: %.1f s of sound in %.2f s (%.0fx real time)\n", double(got) / rate, seconds,
                double(got) / rate / seconds);
    // A beep cut by a piece's end leaves a loud tail that starts at the next piece's start.
    std::vector<double> found = onsets(out.data(), got, 2, 0);
    found.erase(std::remove_if(found.begin(), found.end(),
                               [&](double t) {
                                   return std::any_of(pieces.begin(), pieces.end(),
                                                      [&](const SoundPiece &p) { return std::abs(t - p.start) < 0.002; });
                               }),
                found.end());
    Errors whole;
    compare(found, expected, cuts, &whole);
    whole.print("played whole");

    // Seeks: 200 random instants, half a second read from each.
    Errors seeks;
    std::vector<float> window(std::size_t(rate / 2) * 2);
    double seekSeconds = 0;
    for (int i = 0; i < 200; ++i) {
        const double from = unit(random) * (at - 1);
        timer.restart();
        reader.seek(from);
        const qint64 n = reader.read(window.data(), rate / 2);
        seekSeconds += double(timer.nsecsElapsed()) / 1e9;
        std::vector<double> near = onsets(window.data(), n, 2, from);
        near.erase(std::remove_if(near.begin(), near.end(),
                                  [&](double t) {
                                      return t < from + 0.002 || std::any_of(pieces.begin(), pieces.end(), [&](const SoundPiece &p) {
                                                 return std::abs(t - p.start) < 0.002;
                                             });
                                  }),
                   near.end());
        std::vector<double> wanted;
        for (double t : expected) {
            if (t >= from + 0.002 && t < from + 0.5 - 0.002)
                wanted.push_back(t);
        }
        compare(near, wanted, cuts, &seeks);
    }
    seeks.print("after seeks");
    std::printf("a seek and its first 0.5 s: %.1f ms on average\n", seekSeconds / 200 * 1000);
    const bool ok = whole.missing == 0 && whole.extra == 0 && seeks.missing == 0 && seeks.extra == 0;
    return ok ? 0 : 1;
}

const bool registered = registerCommand("sound-sync", "[MINUTES] [SEED] | --play SECONDS", run);

} // namespace
} // namespace routereel::bench
