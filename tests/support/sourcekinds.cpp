#include "sourcekinds.h"

#include "clipgenerator.h"

#include <QDir>
#include <QProcess>
#include <gtest/gtest.h>

#include <algorithm>

namespace testsupport {

namespace {

const QString cameraLike = QStringLiteral("-c:v libx264 -preset veryfast -bf 2 -pix_fmt yuv420p -sc_threshold 0");

QStringList words(const QString &line)
{
    return line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

QStringList encoder(double keyframes, double fps)
{
    const QString gop = QString::number(std::max(1L, std::lround(keyframes * fps)));
    return words(cameraLike) << QStringLiteral("-g") << gop << QStringLiteral("-keyint_min") << gop;
}

QStringList lavfi(const QString &graph)
{
    return {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), graph};
}

} // namespace

const QList<SourceKind> &sourceKinds()
{
    static const QList<SourceKind> kinds{
        {"c23976.mp4", "24000/1001", 6, 1, false},
        {"c25.mp4", "25", 6, 1, false},
        {"c30.mp4", "30", 6, 1, false},
        {"c60.mp4", "60", 6, 1, false},
        {"vfr.mp4", "30", 6.4667, 1, false},
        {"emptyedit.mp4", "30", 5, 1, false},
        {"noedit.mp4", "30", 5, 1, false},
        {"sparse.mp4", "30", 12, 10, false},
        {"soundfirst.mp4", "30", 3, 1, true},
        {"sparse.ts", "30", 12, 10, false},
    };
    return kinds;
}

QString makeSourceKind(const QString &dir, const SourceKind &kind)
{
    const QString name = QString::fromLatin1(kind.name);
    const QString path = QDir(dir).filePath(name);
    const QString plain = QDir(dir).filePath(QStringLiteral("plain-") + name);
    const QString rate = QString::fromLatin1(kind.rate);
    const double fps = rate.section(QLatin1Char('/'), 0, 0).toDouble()
        / (rate.contains(QLatin1Char('/')) ? rate.section(QLatin1Char('/'), 1).toDouble() : 1.0);
    const auto numbered = [&](const QString &to, const QStringList &more = {}) {
        return runFfmpeg(lavfi(numberedPictures(kind.seconds, 320, 180, rate)) + encoder(kind.keyframes, fps) + more
                         << to);
    };
    bool made = false;
    if (name == QLatin1String("vfr.mp4")) {
        // 30 fps, a 15 fps stretch from 1 s to 2 s, frame 45 held from 2 s to 5 s, then 30 fps.
        made = runFfmpeg(lavfi(numberedPictures(3, 320, 180, QStringLiteral("30")))
                         << QStringLiteral("-vf")
                         << QStringLiteral("setpts='if(lt(N,30),N/30,if(lt(N,45),1+(N-30)/15,if(eq(N,45),2,"
                                           "5+(N-46)/30)))/TB'")
                         << QStringLiteral("-fps_mode") << QStringLiteral("vfr") << encoder(1, 30)
                         << QStringLiteral("-video_track_timescale") << QStringLiteral("90000") << path);
    } else if (name == QLatin1String("emptyedit.mp4")) {
        // A stream copy that keeps the picture's time leaves an empty edit before it.
        made = numbered(plain)
            && runFfmpeg(words(QStringLiteral("-itsoffset 1.466 -i")) << plain << words(QStringLiteral("-c copy"))
                                                                      << path);
    } else if (name == QLatin1String("noedit.mp4")) {
        made = numbered(path, words(QStringLiteral("-use_editlist 0")));
    } else if (name == QLatin1String("soundfirst.mp4")) {
        const QString beep = QStringLiteral("aevalsrc='if(lt(t,0.02),0.8*sin(2*PI*1000*t),0)':s=48000:d=%1")
                                 .arg(kind.seconds + 0.2);
        made = numbered(plain)
            && runFfmpeg(words(QStringLiteral("-itsoffset 0.2 -i")) << plain << lavfi(beep)
                                                                   << words(QStringLiteral("-map 0:v -map 1:a -c:v copy -c:a aac"))
                                                                   << path);
    } else {
        made = numbered(path);
    }
    return made ? path : QString();
}

QList<double> frameStarts(const QString &file)
{
    const auto probe = [&](const QStringList &args) {
        QProcess p;
        p.start(QStringLiteral("ffprobe"), words(QStringLiteral("-v error -of csv=p=0")) + args << file);
        p.waitForFinished(120'000);
        return QString::fromLatin1(p.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    };
    const QStringList start = probe(words(QStringLiteral("-show_entries format=start_time")));
    const double origin = start.isEmpty() ? 0 : start.first().toDouble();
    // Whole timestamps in the stream's time base: printed seconds are rounded to microseconds.
    const QStringList base = probe(words(QStringLiteral("-select_streams v:0 -show_entries stream=time_base")));
    const QString tb = base.isEmpty() ? QString() : base.first().trimmed();
    const double unit = tb.section(QLatin1Char('/'), 0, 0).toDouble() / tb.section(QLatin1Char('/'), 1).toDouble();
    QList<double> starts;
    for (const QString &line : probe(words(QStringLiteral("-select_streams v:0 -show_entries frame=best_effort_timestamp"))))
        starts << line.section(QLatin1Char(','), 0, 0).toLongLong() * unit - origin;
    return starts;
}

int frameOnScreen(const QList<double> &starts, double seconds)
{
    // The start time is printed in microseconds: a frame starting on the instant may read a hair after it.
    const auto after = std::upper_bound(starts.begin(), starts.end(), seconds + 1e-6);
    return std::max(0, int(after - starts.begin()) - 1);
}

} // namespace testsupport
