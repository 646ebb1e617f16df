#include "clipgenerator.h"

#include <QDir>
#include <QProcess>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace testsupport {

bool runFfmpeg(const QStringList &args)
{
    // A relative output lands in whatever folder the test runs in: in the work
    // tree when run from there (a failed QTemporaryDir gives an empty folder).
    const QString output = args.isEmpty() ? QString() : args.last();
    if (!output.isEmpty() && output != QStringLiteral("-") && !output.contains(QLatin1Char(':'))
        && !QDir::isAbsolutePath(output)) {
        ADD_FAILURE() << "ffmpeg would write into the working folder: " << output.toStdString();
        return false;
    }
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("ffmpeg"), QStringList{QStringLiteral("-hide_banner"), QStringLiteral("-nostdin"),
                                                  QStringLiteral("-loglevel"), QStringLiteral("error"),
                                                  QStringLiteral("-y")} + args);
    if (!p.waitForFinished(120'000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        ADD_FAILURE() << "ffmpeg failed: " << p.readAll().toStdString() << "\nargs: "
                      << args.join(QLatin1Char(' ')).toStdString();
        return false;
    }
    return true;
}

QString makeClip(const QString &dir, const QString &name, const ClipSpec &spec)
{
    const QString path = QDir(dir).filePath(name);
    const QString size = QStringLiteral("%1x%2").arg(spec.width).arg(spec.height);
    const QString rate = QString::number(spec.fps, 'g', 10);
    const QString duration = QString::number(spec.seconds, 'g', 10);
    const QString video = spec.color.isValid()
        ? QStringLiteral("color=c=%1:s=%2:r=%3:d=%4").arg(spec.color.name(), size, rate, duration)
        : QStringLiteral("testsrc2=s=%1:r=%2:d=%3").arg(size, rate, duration);
    QStringList args{QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), video};
    if (spec.audio)
        args << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i")
             << QStringLiteral("sine=frequency=440:sample_rate=48000:duration=%1").arg(duration);
    args << QStringLiteral("-c:v") << QStringLiteral("libx264") << QStringLiteral("-preset")
         << QStringLiteral("ultrafast") << QStringLiteral("-pix_fmt") << QStringLiteral("yuv420p");
    if (spec.audio)
        args << QStringLiteral("-c:a") << QStringLiteral("aac") << QStringLiteral("-shortest");
    if (spec.indexAtFront)
        args << QStringLiteral("-movflags") << QStringLiteral("+faststart");
    args << path;
    return runFfmpeg(args) ? path : QString();
}


// The numbered pictures as a lavfi source: drawn small and scaled up, as the pattern
// needs a column per bar only; with square pixels, which scaling alone would not keep.
QString numberedPictures(double seconds, int width, int height, const QString &rate)
{
    return QStringLiteral("nullsrc=s=48x16:r=%1:d=%2,geq=lum='255*mod(floor(N/pow(2,floor(X*12/W))),2)'"
                          ":cb=128:cr=128,scale=%3:%4:flags=neighbor,setsar=1")
        .arg(rate, QString::number(seconds, 'g', 10))
        .arg(width)
        .arg(height);
}

QString makeNumberedClip(const QString &dir, const QString &name, double seconds, bool audio, int width, int height,
                         double fps)
{
    const QString path = QDir(dir).filePath(name);
    const QString duration = QString::number(seconds, 'g', 10);
    QStringList args{QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                     numberedPictures(seconds, width, height, QString::number(fps, 'g', 10))};
    if (audio)
        args << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i")
             << QStringLiteral("sine=frequency=440:sample_rate=48000:duration=%1").arg(duration);
    args << QStringLiteral("-c:v") << QStringLiteral("libx264") << QStringLiteral("-preset")
         << QStringLiteral("ultrafast") << QStringLiteral("-pix_fmt") << QStringLiteral("yuv420p");
    if (audio)
        args << QStringLiteral("-c:a") << QStringLiteral("aac") << QStringLiteral("-shortest");
    args << path;
    return runFfmpeg(args) ? path : QString();
}

QString makeNumberedCameraClip(const QString &dir, const QString &name, double seconds, int width, int height,
                                      double fps, double keyframeSeconds)
{
    const QString path = QDir(dir).filePath(name);
    const QString gop = QString::number(std::max(1L, std::lround(keyframeSeconds * fps)));
    return runFfmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                      numberedPictures(seconds, width, height, QString::number(fps, 'g', 10)) + QStringLiteral(",noise=alls=12:allf=t"),
                      QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-preset"),
                      QStringLiteral("veryfast"), QStringLiteral("-bf"), QStringLiteral("2"), QStringLiteral("-pix_fmt"),
                      QStringLiteral("yuv420p"), QStringLiteral("-g"), gop, QStringLiteral("-keyint_min"), gop, QStringLiteral("-sc_threshold"),
                      QStringLiteral("0"), path})
        ? path
        : QString();
}

int frameNumberOf(const QImage &image)
{
    if (image.isNull())
        return -1;
    int n = 0;
    for (int bar = 0; bar < 12; ++bar) {
        const QColor c = image.pixelColor(int((bar + 0.5) * image.width() / 12), image.height() / 2);
        if (c.lightness() > 128)
            n |= 1 << bar;
    }
    return n;
}

QString makeAudioOnly(const QString &dir, const QString &name, double seconds)
{
    const QString path = QDir(dir).filePath(name);
    const bool ok = runFfmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                               QStringLiteral("sine=frequency=440:duration=%1").arg(seconds),
                               QStringLiteral("-c:a"), QStringLiteral("aac"), path});
    return ok ? path : QString();
}

QMap<QString, QString> probeStream(const QString &file, const QString &stream, const QString &entries)
{
    QProcess p;
    p.start(QStringLiteral("ffprobe"),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-count_frames"),
             QStringLiteral("-select_streams"), stream, QStringLiteral("-show_entries"), entries,
             QStringLiteral("-of"), QStringLiteral("default=noprint_wrappers=1"), file});
    p.waitForFinished(60'000);
    QMap<QString, QString> values;
    for (const QString &line : QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n'))) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq > 0)
            values.insert(line.left(eq), line.mid(eq + 1).trimmed());
    }
    return values;
}

QString makeClipWithSound(const QString &dir, const QString &name, const ClipSpec &spec, const QString &rate,
                          double soundSeconds, int sampleRate)
{
    const QString path = QDir(dir).filePath(name);
    const QString video = QStringLiteral("color=c=%1:s=%2x%3:r=%4:d=%5")
                              .arg(spec.color.name())
                              .arg(spec.width)
                              .arg(spec.height)
                              .arg(rate, QString::number(spec.seconds, 'g', 10));
    const QString sound = QStringLiteral("sine=frequency=440:sample_rate=%1:duration=%2")
                              .arg(sampleRate)
                              .arg(QString::number(soundSeconds, 'g', 10));
    return runFfmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), video,
                      QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), sound,
                      QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-preset"),
                      QStringLiteral("ultrafast"), QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"),
                      QStringLiteral("-c:a"), QStringLiteral("aac"), path})
        ? path
        : QString();
}

} // namespace testsupport
