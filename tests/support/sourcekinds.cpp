#include "sourcekinds.h"

#include "clipgenerator.h"
#include "colourreference.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtEndian>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <future>
#include <map>
#include <optional>

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

QByteArray box(const QByteArray &type, const QByteArray &payload)
{
    QByteArray head(4, '\0');
    qToBigEndian<quint32>(quint32(8 + payload.size()), head.data());
    return head + type + payload;
}

quint32 word(const QByteArray &data, qsizetype at)
{
    return qFromBigEndian<quint32>(data.constData() + at);
}

// The first box of `type` among the children of `parent` (none: the file's top level).
std::optional<Box> child(const QByteArray &data, const std::optional<Box> &parent, const char *type)
{
    const qsizetype from = parent ? parent->at + 8 : 0, to = parent ? parent->at + parent->size : data.size();
    for (const Box &b : boxes(data, from, to))
        if (b.type == type)
            return b;
    return std::nullopt;
}

// Writes a duration into a version 0 or 1 full box whose version 0 keeps it at `at0`
// and version 1 (64-bit times) at `at1`.
void setDuration(QByteArray &fullBox, int at0, int at1, quint64 duration)
{
    if (fullBox.at(8) == 1)
        qToBigEndian<quint64>(duration, fullBox.data() + at1);
    else
        qToBigEndian<quint32>(quint32(duration), fullBox.data() + at0);
}

// Rewrites the only track's edit list to show source 0-2 s, then 3-5 s, as editing tools
// write a cut. The media data lies before the movie box, so no chunk offset moves.
bool twoEdits(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    QByteArray data = file.readAll();
    const auto moov = child(data, std::nullopt, "moov"), mdat = child(data, std::nullopt, "mdat");
    if (!moov || !mdat || mdat->at > moov->at || moov->at + moov->size != data.size())
        return false;
    const auto mvhd = child(data, moov, "mvhd"), trak = child(data, moov, "trak");
    const auto tkhd = child(data, trak, "tkhd"), mdhd = child(data, child(data, trak, "mdia"), "mdhd");
    if (!mvhd || !tkhd || !mdhd)
        return false;
    const quint32 movieScale = word(data, mvhd->at + (data.at(mvhd->at + 8) == 1 ? 28 : 20));
    const quint32 mediaScale = word(data, mdhd->at + (data.at(mdhd->at + 8) == 1 ? 28 : 20));
    // Keep the first entry's start: it covers the B-frames' delay.
    qint64 start = 0;
    if (const auto elst = child(data, child(data, trak, "edts"), "elst"); elst && word(data, elst->at + 12) > 0)
        start = data.at(elst->at + 8) == 1 ? qint64(qFromBigEndian<quint64>(data.constData() + elst->at + 24))
                                           : qint32(word(data, elst->at + 20));
    QByteArray entries(8 + 2 * 12, '\0');
    qToBigEndian<quint32>(2, entries.data() + 4);
    for (int i = 0; i < 2; ++i) {
        char *entry = entries.data() + 8 + 12 * i;
        qToBigEndian<quint32>(2 * movieScale, entry);
        qToBigEndian<qint32>(qint32(start + i * 3 * qint64(mediaScale)), entry + 4);
        qToBigEndian<quint32>(0x10000, entry + 8);
    }
    const QByteArray edts = box("edts", box("elst", entries));
    QByteArray track;
    for (const Box &b : boxes(data, trak->at + 8, trak->at + trak->size)) {
        QByteArray bytes = data.mid(b.at, b.size);
        if (b.type == "edts")
            continue;
        if (b.type == "tkhd") {
            setDuration(bytes, 28, 36, 4 * quint64(movieScale));
            bytes += edts;
        }
        track += bytes;
    }
    QByteArray movie;
    for (const Box &b : boxes(data, moov->at + 8, moov->at + moov->size)) {
        QByteArray bytes = data.mid(b.at, b.size);
        if (b.type == "mvhd")
            setDuration(bytes, 24, 32, 4 * quint64(movieScale));
        movie += b.type == "trak" ? box("trak", track) : bytes;
    }
    data = data.left(moov->at) + box("moov", movie);
    return file.resize(0) && file.write(data) == data.size();
}

// The pictures held on a screen recording: 30 fps stretches between pictures held
// 1.5, 0.5 and 2 s, as a setpts expression; the numbered source gives 93 pictures.
QString screenTimes()
{
    const QList<std::pair<int, double>> stretches{{30, 1 / 30.0}, {1, 1.5}, {15, 1 / 30.0}, {1, 0.5},
                                                  {15, 1 / 30.0}, {1, 2.0}, {30, 1 / 30.0}};
    QString expression = QStringLiteral("0");
    int first = 93;
    double at = 7.0;
    for (auto s = stretches.crbegin(); s != stretches.crend(); ++s) {
        first -= s->first;
        at -= s->first * s->second;
        expression = QStringLiteral("if(lt(N,%1),%2+(N-%3)*%4,%5)")
                         .arg(first + s->first)
                         .arg(at, 0, 'g', 12)
                         .arg(first)
                         .arg(s->second, 0, 'g', 12)
                         .arg(expression);
    }
    return QStringLiteral("setpts='(%1)/TB'").arg(expression);
}

QStringList tagged(const QString &matrix, const QString &primaries, const QString &transfer, const QString &range)
{
    return {QStringLiteral("-colorspace"), matrix, QStringLiteral("-color_primaries"), primaries,
            QStringLiteral("-color_trc"), transfer, QStringLiteral("-color_range"), range};
}

QStringList tagged(const QString &matrix, const QString &range)
{
    return tagged(matrix, matrix, matrix, range);
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
    const QStringList x264 = words(QStringLiteral("-c:v libx264 -preset veryfast -bf 2 -sc_threshold 0")) + gop(1, 30);
    // Pictures drawn in RGB (with the patches when the kind has them), then converted as `convert` says.
    const auto coloured = [](QSize size, const QString &convert, const QStringList &codec) -> Maker {
        return [=](const SourceKind &kind, const QString &path, const QString &) {
            const QString rate = QString::fromLatin1(kind.rate);
            QString graph = numberedPictures(kind.seconds, size.width(), size.height(), rate)
                + QStringLiteral(",format=rgb24");
            if (kind.patches)
                graph += QLatin1Char(',') + patchFilter(size);
            QStringList args = lavfi(graph + QLatin1Char(',') + convert);
            if (*kind.sound)
                args += sine(kind.seconds);
            args += codec;
            if (*kind.sound)
                args << QStringLiteral("-c:a") << QString::fromLatin1(kind.sound);
            return runFfmpeg(args << path);
        };
    };
    const QStringList x264422 = x264 + words(QStringLiteral("-profile:v high422"));
    // SDR pictures in `format` (full range for yuvj), by `matrix`'s coefficients and, when tagged, tags.
    const auto sdr = [=](const QString &matrix, const QString &format, const QStringList &codec,
                         QSize size = {320, 180}, bool tags = true) {
        const bool full = format.startsWith(QLatin1String("yuvj"));
        const QString convert = QStringLiteral("scale=out_color_matrix=%1:out_range=%2,format=%3")
                                    .arg(matrix, full ? QStringLiteral("full") : QStringLiteral("tv"), format);
        const QString tag = matrix == QLatin1String("bt601") ? QStringLiteral("smpte170m") : matrix;
        const QString range = full ? QStringLiteral("pc") : QStringLiteral("tv");
        return coloured(size, convert, codec + (tags ? tagged(tag, range) : QStringList{}));
    };
    // HEVC Main10 BT.2020 made from the SDR picture, as a phone records HLG (and PQ).
    const auto hdr = [=](const QString &transfer) {
        return coloured({320, 180},
                        QStringLiteral("format=gbrp,zscale=tin=bt709:min=gbr:pin=bt709:t=%1:m=bt2020nc:p=bt2020:r=tv:"
                                       "npl=203,format=yuv420p10le")
                            .arg(transfer),
                        words(QStringLiteral("-c:v libx265 -tag:v hvc1 -x265-params "
                                             "keyint=30:min-keyint=30:log-level=error"))
                            + tagged(QStringLiteral("bt2020nc"), QStringLiteral("bt2020"), transfer,
                                     QStringLiteral("tv")));
    };
    const auto withSound = [=](const SourceKind &kind, const QString &path, const QString &) {
        const QStringList sound{QStringLiteral("-c:a"), QString::fromLatin1(kind.sound)};
        return runFfmpeg(numbered(kind) + sine(kind.seconds) + encoder(kind.keyframes, 30) + sound << path);
    };
    // As screen recorders and some cameras write them: a fragment from each keyframe, the index empty.
    const auto fragmented = [=](const SourceKind &kind, const QString &path, const QString &) {
        const double fps = rateOf(QString::fromLatin1(kind.rate));
        QStringList args = numbered(kind);
        if (*kind.sound)
            args += sine(kind.seconds) + words(QStringLiteral("-c:a aac"));
        return runFfmpeg(args + encoder(kind.keyframes, fps)
                         + words(QStringLiteral("-movflags frag_keyframe+empty_moov")) << path);
    };
    // SD (or HD) coded by `matrix`, its stream stating what `metadata` says, values
    // ffmpeg's own options refuse among them.
    const auto stated = [=](const QString &matrix, QSize size, const QString &metadata) {
        return coloured(size, QStringLiteral("scale=out_color_matrix=%1:out_range=tv,format=yuv420p").arg(matrix),
                        x264 + QStringList{QStringLiteral("-bsf:v"), QStringLiteral("h264_metadata=") + metadata});
    };
    const QString hd = QStringLiteral("-c:v libx264rgb -preset veryfast -bf 2 -sc_threshold 0 -pix_fmt rgb24");
    static const std::map<QString, Maker> makers{
        {QStringLiteral("qtrle.mov"),
         coloured({1280, 720}, QStringLiteral("format=rgb24"), words(QStringLiteral("-c:v qtrle")))},
        {QStringLiteral("png.mov"),
         coloured({1280, 720}, QStringLiteral("format=rgb24"), words(QStringLiteral("-c:v png")))},
        {QStringLiteral("x264rgb.mp4"), coloured({1280, 720}, QStringLiteral("format=rgb24"), words(hd) + gop(1, 30))},
        {QStringLiteral("ntsc.mp4"),
         stated(QStringLiteral("bt601"), {320, 180}, QStringLiteral("colour_primaries=4:transfer_characteristics=4:"
                                                                    "matrix_coefficients=6"))},
        {QStringLiteral("pal.mp4"),
         stated(QStringLiteral("bt601"), {320, 180}, QStringLiteral("colour_primaries=5:transfer_characteristics=5:"
                                                                    "matrix_coefficients=5"))},
        {QStringLiteral("reserved.mp4"),
         stated(QStringLiteral("bt601"), {320, 180}, QStringLiteral("colour_primaries=0:transfer_characteristics=3:"
                                                                    "matrix_coefficients=3"))},
        {QStringLiteral("reservedhd.mp4"),
         stated(QStringLiteral("bt709"), {1280, 720}, QStringLiteral("colour_primaries=3:transfer_characteristics=0:"
                                                                     "matrix_coefficients=3"))},
        {QStringLiteral("screen.mp4"),
         [](const SourceKind &kind, const QString &path, const QString &) {
             return runFfmpeg(lavfi(numberedPictures(3.1, 320, 180, QStringLiteral("30")))
                              << QStringLiteral("-vf") << screenTimes() << words(QStringLiteral("-fps_mode vfr"))
                              << encoder(kind.keyframes, 30) << words(QStringLiteral("-video_track_timescale 90000"))
                              << path);
         }},
        {QStringLiteral("elst2.mp4"),
         [](const SourceKind &kind, const QString &path, const QString &) {
             return runFfmpeg(lavfi(numberedPictures(6, 320, 180, QStringLiteral("30"))) + encoder(kind.keyframes, 30)
                              << path)
                 && twoEdits(path);
         }},
        {QStringLiteral("frag.mp4"), fragmented},
        {QStringLiteral("frag60.mp4"), fragmented},
        {QStringLiteral("bt601.mp4"), sdr(QStringLiteral("bt601"), QStringLiteral("yuv420p"), x264)},
        {QStringLiteral("bt709.mp4"), sdr(QStringLiteral("bt709"), QStringLiteral("yuv420p"), x264)},
        // HD without tags, coded BT.709 as cameras write it.
        {QStringLiteral("untagged720.mp4"),
         sdr(QStringLiteral("bt709"), QStringLiteral("yuv420p"), x264, QSize(1280, 720), false)},
        {QStringLiteral("fullrange601.mp4"), sdr(QStringLiteral("bt601"), QStringLiteral("yuvj420p"), x264)},
        {QStringLiteral("fullrange709.mp4"), sdr(QStringLiteral("bt709"), QStringLiteral("yuvj420p"), x264)},
        {QStringLiteral("tenbit.mp4"), sdr(QStringLiteral("bt709"), QStringLiteral("yuv420p10le"), x264)},
        {QStringLiteral("h264422.mp4"), sdr(QStringLiteral("bt709"), QStringLiteral("yuv422p"), x264422)},
        {QStringLiteral("h264422p10.mp4"), sdr(QStringLiteral("bt709"), QStringLiteral("yuv422p10le"), x264422)},
        {QStringLiteral("prores422.mov"),
         // ProRes takes its tags from each frame, and lavfi's frames reach the encoder untagged.
         sdr(QStringLiteral("bt709"), QStringLiteral("yuv422p10le"),
             words(QStringLiteral("-vf setparams=range=tv:color_primaries=bt709:color_trc=bt709:colorspace=bt709 "
                                  "-c:v prores_ks -profile:v 2 -vendor apl0")))},
        {QStringLiteral("hlg.mov"), hdr(QStringLiteral("arib-std-b67"))},
        {QStringLiteral("pq.mp4"), hdr(QStringLiteral("smpte2084"))},
        {QStringLiteral("pcm16.mov"), withSound},
        {QStringLiteral("pcm24.mov"), withSound},
        {QStringLiteral("clip.m4v"),
         [=](const SourceKind &kind, const QString &path, const QString &) {
             // As video tools write .m4v: MP4 with Apple's brand.
             return runFfmpeg(numbered(kind) + sine(kind.seconds) + encoder(kind.keyframes, 30)
                              + words(QStringLiteral("-c:a aac -f ipod")) << path);
         }},
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

// The size kinds' makers: numbered pictures at the size the name tells ("w424x240.mp4"),
// and two sound tracks of which the second is flagged default.
bool makeSizeKind(const SourceKind &kind, const QString &path)
{
    const QString name = QString::fromLatin1(kind.name);
    const QString rate = QString::fromLatin1(kind.rate);
    QStringList args;
    if (name == QLatin1String("twosound.mp4")) {
        args = lavfi(numberedPictures(kind.seconds, 320, 180, rate)) + sine(kind.seconds)
            + lavfi(QStringLiteral("sine=frequency=1000:sample_rate=44100:duration=%1").arg(kind.seconds))
            + words(QStringLiteral("-map 0:v -map 1:a -map 2:a -c:a aac -disposition:a:0 0 -disposition:a:1 default"));
    } else {
        const QStringList size = name.mid(1).section(QLatin1Char('.'), 0, 0).split(QLatin1Char('x'));
        args = lavfi(numberedPictures(kind.seconds, size.value(0).toInt(), size.value(1).toInt(), rate));
    }
    return runFfmpeg(args + encoder(kind.keyframes, rateOf(rate)) << path);
}

} // namespace

const QList<SourceKind> &sizeKinds()
{
    static const QList<SourceKind> kinds{
        {"w424x240.mp4", "30", 2, 1, false},  {"w360x640.mp4", "30", 2, 1, false},
        {"w120x68.mp4", "30", 2, 1, false},   {"w200x112.mp4", "30", 2, 1, false},
        {"w568x320.mp4", "30", 2, 1, false},  {"w1000x562.mp4", "30", 2, 1, false},
        {"w1916x1078.mp4", "30", 1, 1, false},
        {.name = "twosound.mp4", .rate = "30", .seconds = 3, .keyframes = 1, .sound = "aac"},
    };
    return kinds;
}

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

const QList<SourceKind> &troubleKinds()
{
    static const QList<SourceKind> kinds{
        {.name = "screen.mp4", .rate = "30", .seconds = 7, .keyframes = 20},
        // Numbers jump from 59 to 90 at 2 s.
        {.name = "elst2.mp4", .rate = "30", .seconds = 4, .keyframes = 1, .skipFrom = 60, .skipped = 30},
        {.name = "frag.mp4", .rate = "30", .seconds = 4, .keyframes = 1, .sound = "aac"},
        {.name = "frag60.mp4", .rate = "60", .seconds = 5, .keyframes = 1},
        {.name = "fullrange601.mp4", .rate = "30", .seconds = 3, .keyframes = 1, .patches = true,
         .tags = "pix_fmt=yuvj420p,color_range=pc,color_space=smpte170m,color_primaries=smpte170m"},
        {.name = "fullrange709.mp4", .rate = "30", .seconds = 3, .keyframes = 1, .patches = true,
         .tags = "pix_fmt=yuvj420p,color_range=pc,color_space=bt709,color_primaries=bt709"},
        {.name = "h264422.mp4", .rate = "30", .seconds = 3, .keyframes = 1, .patches = true,
         .tags = "codec_name=h264,profile=High 4:2:2,pix_fmt=yuv422p,color_space=bt709"},
        {.name = "h264422p10.mp4", .rate = "30", .seconds = 3, .keyframes = 1, .patches = true,
         .tags = "codec_name=h264,profile=High 4:2:2,pix_fmt=yuv422p10le,color_space=bt709"},
        {.name = "prores422.mov", .rate = "30", .seconds = 3, .keyframes = 0, .patches = true,
         .tags = "codec_name=prores,pix_fmt=yuv422p10le,color_space=bt709"},
        {.name = "hlg.mov", .rate = "30", .seconds = 3, .keyframes = 1, .patches = true,
         .tags = "codec_name=hevc,profile=Main 10,pix_fmt=yuv420p10le,color_transfer=arib-std-b67,"
                 "color_primaries=bt2020,color_space=bt2020nc", .sound = "aac"},
        {.name = "pq.mp4", .rate = "30", .seconds = 3, .keyframes = 1, .patches = true,
         .tags = "codec_name=hevc,profile=Main 10,pix_fmt=yuv420p10le,color_transfer=smpte2084,"
                 "color_primaries=bt2020,color_space=bt2020nc"},
        {.name = "pcm16.mov", .rate = "30", .seconds = 3, .keyframes = 1, .sound = "pcm_s16le"},
        {.name = "pcm24.mov", .rate = "30", .seconds = 3, .keyframes = 1, .sound = "pcm_s24le"},
        {.name = "clip.m4v", .rate = "30", .seconds = 4, .keyframes = 1, .sound = "aac"},
        {.name = "c51.mp4", .rate = "51", .seconds = 4, .keyframes = 1},
    };
    return kinds;
}

const QList<SourceKind> &colourKinds()
{
    const auto of = [](const char *name) {
        return *std::find_if(troubleKinds().begin(), troubleKinds().end(),
                             [&](const SourceKind &k) { return qstrcmp(k.name, name) == 0; });
    };
    static const QList<SourceKind> kinds{
        {.name = "bt601.mp4", .rate = "30", .seconds = 2, .keyframes = 1, .patches = true,
         .tags = "pix_fmt=yuv420p,color_range=tv,color_space=smpte170m"},
        {.name = "bt709.mp4", .rate = "30", .seconds = 2, .keyframes = 1, .patches = true,
         .tags = "pix_fmt=yuv420p,color_range=tv,color_space=bt709"},
        {.name = "untagged720.mp4", .rate = "30", .seconds = 2, .keyframes = 1, .patches = true,
         .tags = "width=1280,height=720,pix_fmt=yuv420p,color_space=unknown,color_transfer=unknown"},
        of("fullrange709.mp4"),
        {.name = "tenbit.mp4", .rate = "30", .seconds = 2, .keyframes = 1, .patches = true,
         .tags = "profile=High 10,pix_fmt=yuv420p10le,color_space=bt709"},
        of("h264422.mp4"),
        of("hlg.mov"),
        of("pq.mp4"),
    };
    return kinds;
}

const QList<SourceKind> &exportColourKinds()
{
    static const QList<SourceKind> kinds{
        {.name = "qtrle.mov", .rate = "30", .seconds = 2, .keyframes = 1, .patches = true,
         .tags = "codec_name=qtrle,pix_fmt=rgb24,width=1280"},
        {.name = "png.mov", .rate = "30", .seconds = 2, .keyframes = 0, .patches = true,
         .tags = "codec_name=png,pix_fmt=rgb24,width=1280"},
        {.name = "x264rgb.mp4", .rate = "30", .seconds = 2, .keyframes = 1, .patches = true,
         .tags = "codec_name=h264,pix_fmt=gbrp,width=1280", .sound = "aac"},
        {.name = "ntsc.mp4", .rate = "30", .seconds = 2, .keyframes = 1, .patches = true,
         .tags = "color_space=smpte170m,color_transfer=bt470m,color_primaries=bt470m"},
        {.name = "pal.mp4", .rate = "30", .seconds = 2, .keyframes = 1, .patches = true,
         .tags = "color_space=bt470bg,color_transfer=bt470bg,color_primaries=bt470bg"},
        {.name = "reserved.mp4", .rate = "30", .seconds = 2, .keyframes = 1, .patches = true,
         .tags = "color_space=reserved,color_transfer=reserved,color_primaries=reserved"},
        {.name = "reservedhd.mp4", .rate = "30", .seconds = 2, .keyframes = 1, .patches = true,
         .tags = "color_space=reserved,color_transfer=reserved,color_primaries=reserved,width=1280"},
    };
    return kinds;
}

QStringList makeSourceKinds(const QString &dir, const QList<SourceKind> &kinds)
{
    std::vector<std::future<QString>> making;
    for (const SourceKind &kind : kinds)
        making.push_back(std::async(std::launch::async, [=] { return makeSourceKind(dir, kind); }));
    QStringList made;
    for (auto &m : making)
        made << m.get();
    return made;
}

QString makeSourceKind(const QString &dir, const SourceKind &kind)
{
    const QString name = QString::fromLatin1(kind.name);
    const QString path = QDir(dir).filePath(name);
    const auto special = specialMakers().find(name);
    const bool sized = std::any_of(sizeKinds().begin(), sizeKinds().end(),
                                   [&](const SourceKind &k) { return qstrcmp(k.name, kind.name) == 0; });
    const bool made = special != specialMakers().end() ? special->second(kind, path, dir)
        : sized                                         ? makeSizeKind(kind, path)
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

namespace {

QList<int> numbersOf(const QString &file, const QStringList &output)
{
    // Small and grey: the bars need a few columns each.
    const int w = 96, h = 32;
    QProcess p;
    p.start(QStringLiteral("ffmpeg"), words(QStringLiteral("-v error -i")) << file << QStringLiteral("-vf")
                                          << QStringLiteral("scale=%1:%2:flags=neighbor").arg(w).arg(h) << output
                                          << words(QStringLiteral("-f rawvideo -pix_fmt gray -")));
    p.waitForFinished(120'000);
    const QByteArray raw = p.readAllStandardOutput();
    QList<int> numbers;
    for (qsizetype at = 0; at + w * h <= raw.size(); at += w * h)
        numbers << frameNumberOf(QImage(reinterpret_cast<const uchar *>(raw.constData() + at), w, h, w,
                                        QImage::Format_Grayscale8));
    return numbers;
}

} // namespace

QList<int> shownFrameNumbers(const QString &file)
{
    return numbersOf(file, {});
}

QList<int> decodedFrameNumbers(const QString &file)
{
    return numbersOf(file, words(QStringLiteral("-fps_mode passthrough")));
}

} // namespace testsupport
