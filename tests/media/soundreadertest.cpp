#include "support/clipdamage.h"
#include "support/clipgenerator.h"

#include "media/soundreader.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>

#include <sys/resource.h>

using namespace routereel;

namespace {

constexpr int rate = 48000;
constexpr double tolerance = 0.001;

// A 30 ms 3 kHz beep at 0.13 s and every 0.7 s after, from the sound's first sample.
// Where they lie in a file's source time is ffmpeg's word: muxers move a sound's
// start (priming, pre-skip, millisecond timestamps) in ways a reader must follow.
QString beeps(int sampleRate, double seconds)
{
    return QStringLiteral("aevalsrc=exprs='0.8*sin(2*PI*3000*t)*lt(mod(t+0.57\\,0.7)\\,0.03)':s=%1:d=%2")
        .arg(sampleRate)
        .arg(seconds);
}

struct ClipKind {
    const char *name;
    const char *file;
    const char *codec;
    int sampleRate;
    double soundDelay;   // the sound's start less the picture's
    double startOffset;  // "-output_ts_offset"
};

// Where beeps begin, in seconds from the first sample: the first loud sample after 10 ms quiet.
QList<double> onsets(const float *pcm, qsizetype frames, int channels, double from)
{
    QList<double> found;
    qint64 lastLoud = -rate;
    for (qsizetype i = 0; i < frames; ++i) {
        if (std::abs(pcm[i * channels]) < 0.25f)
            continue;
        if (i - lastLoud > rate / 100)
            found << from + double(i) / rate;
        lastLoud = i;
    }
    return found;
}

QList<double> onsets(const std::vector<float> &pcm, double from)
{
    return onsets(pcm.data(), qsizetype(pcm.size() / 2), 2, from);
}

// The source seconds at which ffmpeg, reading the file as the export does, puts the beeps.
QList<double> beepTimes(const QString &file)
{
    const QString out = file + QStringLiteral(".f32");
    if (!testsupport::runFfmpeg({QStringLiteral("-i"), file, QStringLiteral("-filter_complex"),
                                 QStringLiteral("[0:a:0]aresample=48000:async=1:first_pts=0,pan=mono|c0=c0"),
                                 QStringLiteral("-f"), QStringLiteral("f32le"), out}))
        return {};
    QFile f(out);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = f.readAll();
    return onsets(reinterpret_cast<const float *>(bytes.constData()), bytes.size() / 4, 1, 0);
}

QString makeBeepClip(const QString &dir, const ClipKind &kind)
{
    const QString path = QDir(dir).filePath(QString::fromLatin1(kind.file));
    QStringList args;
    if (kind.soundDelay < 0)
        args << QStringLiteral("-itsoffset") << QString::number(-kind.soundDelay);
    args << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i")
         << QStringLiteral("color=c=red:s=64x64:r=30:d=5");
    if (kind.soundDelay > 0)
        args << QStringLiteral("-itsoffset") << QString::number(kind.soundDelay);
    args << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i") << beeps(kind.sampleRate, 4)
         << QStringLiteral("-c:v") << QStringLiteral("libx264") << QStringLiteral("-preset") << QStringLiteral("ultrafast")
         << QStringLiteral("-c:a") << QString::fromLatin1(kind.codec);
    if (kind.startOffset != 0)
        args << QStringLiteral("-output_ts_offset") << QString::number(kind.startOffset);
    args << path;
    return testsupport::runFfmpeg(args) ? path : QString();
}

std::vector<float> readFrom(SoundReader &reader, double seconds, double length)
{
    reader.seek(seconds);
    std::vector<float> pcm(std::size_t(std::llround(length * rate)) * 2, 1.0f);
    pcm.resize(std::size_t(reader.read(pcm.data(), qint64(pcm.size() / 2))) * 2);
    return pcm;
}

void expectOnsets(const QList<double> &found, const QList<double> &expected)
{
    const auto text = [](const QList<double> &times) {
        QStringList out;
        for (double t : times)
            out << QString::number(t, 'f', 4);
        return out.join(QLatin1Char(' ')).toStdString();
    };
    ASSERT_EQ(found.size(), expected.size()) << "found " << text(found) << "\nexpected " << text(expected);
    for (qsizetype i = 0; i < found.size(); ++i)
        EXPECT_NEAR(found[i], expected[i], tolerance) << "beep " << i;
}

} // namespace

// Every beep of every kind of clip comes out at its timeline sample: through cuts
// within a clip, a jump back, a gap, a cut to another clip, and after seeks.
TEST(SoundReader, BeepsLandOnTheirTimelineSamplesInEveryKindOfClip)
{
    const ClipKind kinds[] = {
        {"AAC 48 kHz", "aac48.mp4", "aac", 48000, 0, 0},
        {"AAC 44.1 kHz", "aac44.mp4", "aac", 44100, 0, 0},
        {"sound after the picture", "after.mp4", "aac", 48000, 0.5, 0},
        {"sound before the picture", "before.mkv", "aac", 48000, -0.5, 0},
        {"LPCM .mov starting at 3 s", "lpcm.mov", "pcm_s16le", 48000, 0, 3},
        {"Opus .mp4 starting at 3 s", "opus.mp4", "libopus", 48000, 0, 3},
        {"MPEG-TS", "aac.ts", "aac", 44100, 0, 0},
    };
    QTemporaryDir dir;
    const QString other = makeBeepClip(dir.path(), kinds[0]);
    const QList<double> otherBeeps = beepTimes(other);
    for (const ClipKind &kind : kinds) {
        SCOPED_TRACE(kind.name);
        const QString file = makeBeepClip(dir.path(), kind);
        ASSERT_FALSE(file.isEmpty());
        const QList<double> beeps = beepTimes(file);
        ASSERT_EQ(beeps.size(), 6);
        const std::vector<SoundPiece> pieces{
            {0.0, 1.0, file, 0.5},  {1.3, 2.5, file, 2.0}, {2.5, 3.4, file, 0.0},
            {3.4, 4.2, file, 0.9},  {4.2, 4.9, other, 1.0},
        };
        QList<double> expected;
        for (const SoundPiece &p : pieces) {
            for (double beep : p.path == other ? otherBeeps : beeps) {
                if (beep >= p.sourceStart && beep < p.sourceStart + (p.end - p.start))
                    expected << p.start + beep - p.sourceStart;
            }
        }
        SoundReader reader(rate, 2);
        reader.setPieces(pieces);
        const std::vector<float> whole = readFrom(reader, 0, 6);
        EXPECT_EQ(qint64(whole.size() / 2), qint64(4.9 * rate));
        expectOnsets(onsets(whole, 0), expected);
        for (double from : {0.2, 1.45, 2.6, 3.95}) {
            SCOPED_TRACE(from);
            QList<double> within;
            for (double t : expected) {
                if (t >= from && t < from + 0.5)
                    within << t;
            }
            expectOnsets(onsets(readFrom(reader, from, 0.5), from), within);
        }
        EXPECT_TRUE(reader.takeErrors().isEmpty());
    }
}

// A file that cannot be read plays silence, and its error is told once; a clip
// without sound and a gap play silence without one.
TEST(SoundReader, UnreadableFilesAndClipsWithoutSoundPlaySilence)
{
    QTemporaryDir dir;
    const QString silent = testsupport::makeClip(dir.path(), QStringLiteral("silent.mp4"), {.seconds = 1, .audio = false});
    const QString notMedia = dir.filePath(QStringLiteral("notes.mp4"));
    QFile text(notMedia);
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a clip");
    text.close();
    const QString missing = dir.filePath(QStringLiteral("gone.mov"));
    // AAC naming an object type libavcodec does not decode.
    const QString sound = testsupport::makeClip(dir.path(), QStringLiteral("sound.mp4"), {.seconds = 1});
    const QString celp = dir.filePath(QStringLiteral("celp.mp4"));
    ASSERT_TRUE(testsupport::damageCopy(sound, celp, testsupport::Damage::unknownSoundType));

    SoundReader reader(rate, 2);
    reader.setPieces({{0, 0.5, silent, 0}, {0.5, 1, notMedia, 0}, {1.2, 1.5, missing, 0}, {1.5, 1.8, notMedia, 0.2},
                      {1.8, 2.3, celp, 0}});
    std::vector<float> pcm = readFrom(reader, 0, 3);
    ASSERT_EQ(qint64(pcm.size() / 2), std::llround(2.3 * rate));
    EXPECT_TRUE(std::all_of(pcm.begin(), pcm.end(), [](float v) { return v == 0.0f; }));
    const QList<VideoReadError> errors = reader.takeErrors();
    ASSERT_EQ(errors.size(), 3);
    EXPECT_EQ(errors[0].fileName(), QStringLiteral("notes.mp4"));
    EXPECT_EQ(errors[1].fileName(), QStringLiteral("gone.mov"));
    EXPECT_EQ(errors[2].fileName(), QStringLiteral("celp.mp4"));
    EXPECT_TRUE(reader.takeErrors().isEmpty());
}

// The first sound track plays, as the probe and the export take it, also when a
// later one is flagged default (the beeps are on the first, silence on the second).
TEST(SoundReader, PlaysTheFirstSoundTrackWhateverTrackIsFlaggedDefault)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("twotracks.mp4"));
    ASSERT_TRUE(testsupport::runFfmpeg(
        {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), QStringLiteral("color=c=red:s=64x64:r=30:d=3"),
         QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), beeps(48000, 3), QStringLiteral("-f"),
         QStringLiteral("lavfi"), QStringLiteral("-i"), QStringLiteral("anullsrc=r=48000:cl=stereo:d=3"),
         QStringLiteral("-map"), QStringLiteral("0:v"), QStringLiteral("-map"), QStringLiteral("1:a"), QStringLiteral("-map"),
         QStringLiteral("2:a"), QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-preset"),
         QStringLiteral("ultrafast"), QStringLiteral("-c:a"), QStringLiteral("aac"), QStringLiteral("-disposition:a:0"),
         QStringLiteral("0"), QStringLiteral("-disposition:a:1"), QStringLiteral("default"), file}));
    const QList<double> beeps = beepTimes(file);
    ASSERT_EQ(beeps.size(), 5);
    SoundReader reader(rate, 2);
    reader.setPieces({{0, 3, file, 0}});
    expectOnsets(onsets(readFrom(reader, 0, 3), 0), beeps);
}

// A clip stating 1 Hz LPCM (each packet of 1024 samples, 17 minutes at that rate) is
// read slice by slice: seeks into it and reads of 2 s hold memory to a few buffers.
TEST(SoundReader, SoundStatingAFarTooLowRateIsReadInBoundedMemory)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("hz1.mov"));
    ASSERT_TRUE(testsupport::runFfmpeg(
        {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), QStringLiteral("color=c=red:s=64x64:r=30:d=4"),
         QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), QStringLiteral("sine=sample_rate=48000:d=0.05"),
         QStringLiteral("-af"), QStringLiteral("asetrate=1"), QStringLiteral("-c:v"), QStringLiteral("libx264"),
         QStringLiteral("-preset"), QStringLiteral("ultrafast"), QStringLiteral("-c:a"), QStringLiteral("pcm_s16le"), file}));
    const auto peakMegabytes = [] {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return usage.ru_maxrss / 1024.0;
    };
    const double before = peakMegabytes();
    SoundReader reader(rate, 2);
    reader.setPieces({{0, 2, file, 0}, {2, 4, file, 700}});
    for (double from : {0.0, 1.0, 2.5, 0.5}) {
        SCOPED_TRACE(from);
        const std::vector<float> pcm = readFrom(reader, from, 2);
        EXPECT_EQ(qint64(pcm.size() / 2), qint64(std::min(2.0, 4 - from) * rate));
        EXPECT_TRUE(std::any_of(pcm.begin(), pcm.end(), [](float v) { return v != 0.0f; }));
    }
#if defined(__SANITIZE_ADDRESS__)
    // Freed blocks wait in the sanitizer's quarantine (256 MB) before they are reused.
    constexpr double allowance = 200 + 256;
#else
    constexpr double allowance = 200;
#endif
    EXPECT_LT(peakMegabytes() - before, allowance) << "megabytes more at the peak";
    EXPECT_TRUE(reader.takeErrors().isEmpty());
}
