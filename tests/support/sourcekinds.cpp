#include "sourcekinds.h"

#include "clipgenerator.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtEndian>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>

namespace testsupport {

namespace {

const QString cameraLike = QStringLiteral("-c:v libx264 -preset veryfast -bf 2 -pix_fmt yuv420p -sc_threshold 0");

QStringList words(const QString &line)
{
    return line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

QStringList gop(double keyframes, double fps)
{
    const QString frames = QString::number(std::max(1L, std::lround(keyframes * fps)));
    return {QStringLiteral("-g"), frames, QStringLiteral("-keyint_min"), frames};
}

QStringList encoder(double keyframes, double fps)
{
    return words(cameraLike) + gop(keyframes, fps);
}

QStringList lavfi(const QString &graph)
{
    return {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), graph};
}

QStringList sine(double seconds)
{
    return lavfi(QStringLiteral("sine=frequency=440:sample_rate=48000:duration=%1").arg(seconds));
}

double rateOf(const QString &rate)
{
    return rate.section(QLatin1Char('/'), 0, 0).toDouble()
        / (rate.contains(QLatin1Char('/')) ? rate.section(QLatin1Char('/'), 1).toDouble() : 1.0);
}

// MP4 boxes: a 32-bit size then a four-letter type.
struct Box {
    QByteArray type;
    qsizetype at;
    qsizetype size;
};

QList<Box> boxes(const QByteArray &data, qsizetype from, qsizetype to)
{
    QList<Box> found;
    while (from + 8 <= to) {
        const qsizetype size = qFromBigEndian<quint32>(data.constData() + from);
        if (size < 8 || from + size > to)
            return {};
        found.push_back({data.mid(from + 4, 4), from, size});
        from += size;
    }
    return found;
}

// Moves the movie's user data (where ffmpeg keeps the cover) ahead of its tracks, as
// some tools write it: the cover picture becomes the file's first video stream. The
// media data lies before the movie box, so no offset changes.
bool coverFirst(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    QByteArray data = file.readAll();
    for (const Box &movie : boxes(data, 0, data.size())) {
        if (movie.type != "moov")
            continue;
        QByteArray head, userData, rest;
        for (const Box &child : boxes(data, movie.at + 8, movie.at + movie.size)) {
            const QByteArray bytes = data.mid(child.at, child.size);
            (child.type == "mvhd" ? head : child.type == "udta" ? userData : rest) += bytes;
        }
        if (userData.isEmpty())
            return false;
        data.replace(movie.at + 8, movie.size - 8, head + userData + rest);
        file.seek(0);
        return file.write(data) == data.size();
    }
    return false;
}

using Maker = std::function<bool(const SourceKind &, const QString &path, const QString &dir)>;

// The kinds not made by encoding numbered pictures as a camera would, keyed by name.
const std::map<QString, Maker> &specialMakers()
{
    const auto numbered = [](const SourceKind &kind, int width = 320, int height = 180) {
        return lavfi(numberedPictures(kind.seconds, width, height, QString::fromLatin1(kind.rate)));
    };
    const auto plainOf = [](const QString &dir, const SourceKind &kind) {
        return QDir(dir).filePath(QStringLiteral("plain-") + QString::fromLatin1(kind.name));
    };
    // A camera's clip cut by stream copy between keyframes: the edit list starts after a keyframe.
    const auto copyCut = [=](bool sound) {
        return [=](const SourceKind &kind, const QString &path, const QString &dir) {
            const QString camera = plainOf(dir, kind) + QStringLiteral(".mp4");
            const double whole = kind.seconds + 2.3;
            return runFfmpeg(lavfi(numberedPictures(whole, 320, 180, QStringLiteral("30"))) + sine(whole)
                             + encoder(1, 30) + words(QStringLiteral("-c:a aac")) << camera)
                && runFfmpeg(words(QStringLiteral("-ss 2.3 -i")) << camera << words(QStringLiteral("-c copy"))
                                                                << (sound ? QStringList{} : words(QStringLiteral("-an")))
                                                                << path);
        };
    };
    // Picture drawn upright, stored turned a quarter back, shown upright by the rotation matrix.
    const auto rotated = [=](const SourceKind &kind, const QString &path, const QString &dir,
                             const QStringList &video) {
        const QString stored = plainOf(dir, kind);
        const QString graph = numberedPictures(kind.seconds, 180, 320, QString::fromLatin1(kind.rate))
            + QStringLiteral(",transpose=clock,setpts='(N*1001/30000+0.003*sin(N*2.1))/TB'");
        return runFfmpeg(lavfi(graph) + sine(kind.seconds) + video
                         + words(QStringLiteral("-fps_mode vfr -c:a aac -video_track_timescale 600")) << stored)
            && runFfmpeg(QStringList{QStringLiteral("-i"), stored}
                         + words(QStringLiteral("-c copy -video_track_timescale 600 -metadata:s:v:0 rotate=90"))
                         << path);
    };
    static const std::map<QString, Maker> makers{
        {QStringLiteral("vfr.mp4"),
         [](const SourceKind &, const QString &path, const QString &) {
             // 30 fps, a 15 fps stretch from 1 s to 2 s, frame 45 held from 2 s to 5 s, then 30 fps.
             return runFfmpeg(lavfi(numberedPictures(3, 320, 180, QStringLiteral("30")))
                              << QStringLiteral("-vf")
                              << QStringLiteral("setpts='if(lt(N,30),N/30,if(lt(N,45),1+(N-30)/15,if(eq(N,45),2,"
                                                "5+(N-46)/30)))/TB'")
                              << QStringLiteral("-fps_mode") << QStringLiteral("vfr") << encoder(1, 30)
                              << QStringLiteral("-video_track_timescale") << QStringLiteral("90000") << path);
         }},
        {QStringLiteral("emptyedit.mp4"),
         [=](const SourceKind &kind, const QString &path, const QString &dir) {
             // A stream copy that keeps the picture's time leaves an empty edit before it.
             const QString plain = plainOf(dir, kind);
             return runFfmpeg(numbered(kind) + encoder(kind.keyframes, 30) << plain)
                 && runFfmpeg(words(QStringLiteral("-itsoffset 1.466 -i")) << plain << words(QStringLiteral("-c copy"))
                                                                           << path);
         }},
        {QStringLiteral("noedit.mp4"),
         [=](const SourceKind &kind, const QString &path, const QString &) {
             return runFfmpeg(numbered(kind) + encoder(kind.keyframes, 30) + words(QStringLiteral("-use_editlist 0"))
                              << path);
         }},
        {QStringLiteral("soundfirst.mp4"),
         [=](const SourceKind &kind, const QString &path, const QString &dir) {
             const QString plain = plainOf(dir, kind);
             const QString beep = QStringLiteral("aevalsrc='if(lt(t,0.02),0.8*sin(2*PI*1000*t),0)':s=48000:d=%1")
                                      .arg(kind.seconds + 0.2);
             return runFfmpeg(numbered(kind) + encoder(kind.keyframes, 30) << plain)
                 && runFfmpeg(words(QStringLiteral("-itsoffset 0.2 -i"))
                              << plain << lavfi(beep)
                              << words(QStringLiteral("-map 0:v -map 1:a -c:v copy -c:a aac")) << path);
         }},
        {QStringLiteral("copycut.mov"), copyCut(true)},
        {QStringLiteral("copycut.mp4"), copyCut(false)},
        {QStringLiteral("soundlong.mp4"),
         [=](const SourceKind &kind, const QString &path, const QString &) {
             return runFfmpeg(numbered(kind) + sine(kind.seconds + 2) + encoder(kind.keyframes, 30)
                              + words(QStringLiteral("-c:a aac")) << path);
         }},
        {QStringLiteral("soundlate.mp4"),
         [=](const SourceKind &kind, const QString &path, const QString &) {
             return runFfmpeg(numbered(kind) + words(QStringLiteral("-itsoffset 0.5")) + sine(kind.seconds - 0.5)
                              + encoder(kind.keyframes, 30) + words(QStringLiteral("-c:a aac")) << path);
         }},
        {QStringLiteral("phone.mov"),
         [=](const SourceKind &kind, const QString &path, const QString &dir) {
             return rotated(kind, path, dir, encoder(kind.keyframes, 30));
         }},
        {QStringLiteral("hevc.mov"),
         [=](const SourceKind &kind, const QString &path, const QString &dir) {
             // x265's defaults: open GOPs, CRA keyframes with leading pictures.
             return rotated(kind, path, dir,
                            words(QStringLiteral("-c:v libx265 -pix_fmt yuv420p -tag:v hvc1 -x265-params "
                                                 "keyint=30:min-keyint=30:log-level=error")));
         }},
        {QStringLiteral("uhd.mp4"),
         [=](const SourceKind &kind, const QString &path, const QString &) {
             return runFfmpeg(numbered(kind, 3840, 2160)
                              + words(QStringLiteral("-c:v libx264 -preset ultrafast -bf 2 -pix_fmt yuv420p "
                                                     "-sc_threshold 0 -use_editlist 0"))
                              + gop(kind.keyframes, 30) << path);
         }},
        {QStringLiteral("cover.mp4"),
         [=](const SourceKind &kind, const QString &path, const QString &dir) {
             const QString plain = plainOf(dir, kind);
             const QString cover = QDir(dir).filePath(QStringLiteral("cover.png"));
             return runFfmpeg(numbered(kind) + encoder(kind.keyframes, 30) << plain)
                 && runFfmpeg(lavfi(QStringLiteral("color=c=blue:s=160x90:d=1"))
                              << words(QStringLiteral("-frames:v 1")) << cover)
                 && runFfmpeg(QStringList{QStringLiteral("-i"), cover, QStringLiteral("-i"), plain}
                              + words(QStringLiteral("-map 0 -map 1 -c copy -disposition:v:0 attached_pic")) << path)
                 && coverFirst(path);
         }},
        {QStringLiteral("sar43.mp4"),
         [=](const SourceKind &kind, const QString &path, const QString &) {
             // 1440 x 1080 stored, 4:3 pixels: shown 1920 x 1080.
             QStringList args = numbered(kind, 1440, 1080);
             args.last() += QStringLiteral(",setsar=4/3");
             return runFfmpeg(args + encoder(kind.keyframes, 30) << path);
         }},
        {QStringLiteral("opengop.mp4"),
         [=](const SourceKind &kind, const QString &path, const QString &) {
             // A fixed B-frame pattern puts two leading pictures before every keyframe after the first.
             return runFfmpeg(numbered(kind) + encoder(kind.keyframes, 30)
                              + words(QStringLiteral("-x264-params open-gop=1:b-adapt=0")) << path);
         }},
    };
    return makers;
}

} // namespace

const QList<SourceKind> &sourceKinds()
{
    static const QList<SourceKind> kinds{
        {"c23976.mp4", "24000/1001", 6, 1, false},
        {"c25.mp4", "25", 6, 1, false},
        {"c30.mp4", "30", 6, 1, false},
        {"c50.mp4", "50", 4, 1, false},
        {"c5994.mp4", "60000/1001", 4, 1, false},
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

const QList<SourceKind> &cameraKinds()
{
    static const QList<SourceKind> kinds{
        {"copycut.mov", "30", 5.7, 1, false, 69},
        {"copycut.mp4", "30", 5.7, 1, false, 69},
        {"soundlong.mp4", "30", 4, 1, false},
        {"soundlate.mp4", "30", 4, 1, false},
        {"phone.mov", "30000/1001", 4, 1, false},
        {"hevc.mov", "30000/1001", 4, 1, false},
        {"uhd.mp4", "30", 11, 10, false},
        {"cover.mp4", "30", 4, 1, false},
        {"sar43.mp4", "30", 4, 1, false},
        {"opengop.mp4", "30", 4, 1, false},
    };
    return kinds;
}

QString makeSourceKind(const QString &dir, const SourceKind &kind)
{
    const QString name = QString::fromLatin1(kind.name);
    const QString path = QDir(dir).filePath(name);
    const auto special = specialMakers().find(name);
    const bool made = special != specialMakers().end()
        ? special->second(kind, path, dir)
        : runFfmpeg(lavfi(numberedPictures(kind.seconds, 320, 180, QString::fromLatin1(kind.rate)))
                    + encoder(kind.keyframes, rateOf(QString::fromLatin1(kind.rate))) << path);
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
    const QStringList base = probe(words(QStringLiteral("-select_streams V:0 -show_entries stream=time_base")));
    const QString tb = base.isEmpty() ? QString() : base.first().section(QLatin1Char(','), 0, 0).trimmed();
    const double unit = tb.section(QLatin1Char('/'), 0, 0).toDouble() / tb.section(QLatin1Char('/'), 1).toDouble();
    QList<double> starts;
    for (const QString &line : probe(words(QStringLiteral("-select_streams V:0 -show_entries frame=best_effort_timestamp"))))
        starts << line.section(QLatin1Char(','), 0, 0).toLongLong() * unit - origin;
    return starts;
}

int frameOnScreen(const QList<double> &starts, double seconds)
{
    // The start time is printed in microseconds: a frame starting on the instant may read a hair after it.
    const auto after = std::upper_bound(starts.begin(), starts.end(), seconds + 1e-6);
    return std::max(0, int(after - starts.begin()) - 1);
}

QList<int> shownFrameNumbers(const QString &file)
{
    // Small and grey: the bars need a few columns each.
    const int w = 96, h = 32;
    QProcess p;
    p.start(QStringLiteral("ffmpeg"), words(QStringLiteral("-v error -i")) << file << QStringLiteral("-vf")
                                          << QStringLiteral("scale=%1:%2:flags=neighbor").arg(w).arg(h)
                                          << words(QStringLiteral("-f rawvideo -pix_fmt gray -")));
    p.waitForFinished(120'000);
    const QByteArray raw = p.readAllStandardOutput();
    QList<int> numbers;
    for (qsizetype at = 0; at + w * h <= raw.size(); at += w * h)
        numbers << frameNumberOf(QImage(reinterpret_cast<const uchar *>(raw.constData() + at), w, h, w,
                                        QImage::Format_Grayscale8));
    return numbers;
}

} // namespace testsupport
