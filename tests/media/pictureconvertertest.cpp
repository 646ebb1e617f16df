#include "support/clipgenerator.h"

#include "media/libavinput.h"
#include "media/pictureconverter.h"
#include "media/sdrmapping.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <utility>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
}

using namespace routereel;

namespace {

// The colours each clip is made of, side by side in equal patches.
const QList<QColor> patches{QColor(200, 40, 40), QColor(200, 200, 40), QColor(40, 200, 40), QColor(200, 200, 200),
                            QColor(40, 40, 40)};

QString patchPicture(int width, int height)
{
    QString graph, labels;
    for (int i = 0; i < patches.size(); ++i) {
        graph += QStringLiteral("color=c=%1:s=%2x%3:d=0.2[p%4];")
                     .arg(patches[i].name()).arg(width / 5).arg(height).arg(i);
        labels += QStringLiteral("[p%1]").arg(i);
    }
    return graph + labels + QStringLiteral("hstack=inputs=5,format=gbrp,");
}

struct Decoded {
    AVFrame *frame = nullptr;
    int rotation = 0;
    double pixelAspect = 1;
    ~Decoded() { av_frame_free(&frame); }
};

// The first picture as a deck decodes it, with the stream's display facts.
void decodeFirst(const QString &file, Decoded &out)
{
    FormatContextPtr format = openMediaFile(file);
    const int index = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    ASSERT_GE(index, 0);
    AVStream *stream = format->streams[index];
    const AVCodec *codec = avcodec_find_decoder(stream->codecpar->codec_id);
    AVCodecContext *context = avcodec_alloc_context3(codec);
    ASSERT_GE(avcodec_parameters_to_context(context, stream->codecpar), 0);
    ASSERT_GE(avcodec_open2(context, codec, nullptr), 0);
    AVPacket *packet = av_packet_alloc();
    out.frame = av_frame_alloc();
    bool got = false;
    while (!got && av_read_frame(format.get(), packet) >= 0) {
        if (packet->stream_index == index && avcodec_send_packet(context, packet) >= 0)
            got = avcodec_receive_frame(context, out.frame) >= 0;
        av_packet_unref(packet);
    }
    if (!got && avcodec_send_packet(context, nullptr) >= 0)
        got = avcodec_receive_frame(context, out.frame) >= 0;
    av_packet_free(&packet);
    avcodec_free_context(&context);
    ASSERT_TRUE(got);
    if (const uint8_t *matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr))
        out.rotation = int(std::lround(-av_display_rotation_get(reinterpret_cast<const int32_t *>(matrix))));
    const AVRational sar = av_guess_sample_aspect_ratio(format.get(), stream, out.frame);
    if (sar.num > 0 && sar.den > 0)
        out.pixelAspect = av_q2d(sar);
}

int worstChannel(QRgb a, QRgb b)
{
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

} // namespace

// Every kind of picture a camera or phone writes comes out in the colours ffmpeg
// gives it (the export's), at the displayed proportions and upright: limited and
// full range, BT.601/709, untagged, 8 and 10 bits, 4:2:0 and 4:2:2, HLG and PQ
// mapped to SDR as the export maps them, near the SDR picture they were made from.
TEST(PictureConverter, ConvertsEveryKindAsFfmpegDoes)
{
    const QString bt709 = QStringLiteral("-colorspace bt709 -color_primaries bt709 -color_trc bt709");
    const QString bt601 = QStringLiteral("-colorspace smpte170m -color_primaries smpte170m -color_trc smpte170m");
    const QString x264 = QStringLiteral("-c:v libx264 -preset ultrafast ");
    const QString hdr = QStringLiteral("zscale=tin=bt709:min=gbr:pin=bt709:t=%1:m=bt2020nc:p=bt2020:r=tv:npl=203,"
                                       "format=yuv420p10le");
    const QString x265 = QStringLiteral("-c:v libx265 -x265-params log-level=error -colorspace bt2020nc "
                                        "-color_primaries bt2020 -color_trc ");
    struct Kind {
        const char *name;
        QSize stored;
        QString filter; // after the patch picture
        QString encode;
        QSize bound;
        QSize expected;
        HdrTransfer transfer = HdrTransfer::none;
        QString container = QStringLiteral("mp4");
        QString rewrap = {}; // stream facts an encoding pass would drop
        QString reading = {}; // how the picture is to be read where it states nothing
    };
    const QList<Kind> kinds{
        // The first three differ in one tag only, which the converter must notice.
        {"full range BT.601", {640, 360}, "scale=out_color_matrix=bt601:out_range=pc,format=yuvj420p",
         x264 + bt601 + " -color_range pc", {320, 320}, {320, 180}},
        {"BT.601", {640, 360}, "scale=out_color_matrix=bt601,format=yuv420p", x264 + bt601, {320, 320}, {320, 180}},
        {"BT.709", {640, 360}, "scale=out_color_matrix=bt709,format=yuv420p", x264 + bt709, {320, 320}, {320, 180}},
        // HD stating no matrix is coded BT.709 by cameras and read so; ffmpeg alone would take BT.601.
        {"untagged 720p", {1280, 720}, "scale=out_color_matrix=bt709,format=yuv420p", x264, {960, 540}, {960, 540},
         HdrTransfer::none, "mp4", {}, "setparams=colorspace=bt709"},
        {"untagged SD", {640, 480}, "format=yuv420p", x264, {}, {640, 480}},
        {"full range BT.709 720p", {1280, 720}, "scale=out_color_matrix=bt709:out_range=pc,format=yuvj420p",
         x264 + bt709 + " -color_range pc", {640, 640}, {640, 360}},
        {"10-bit 4:2:0", {640, 360}, "scale=out_color_matrix=bt709,format=yuv420p10le", x264 + bt709, {}, {640, 360}},
        {"H.264 4:2:2", {640, 360}, "scale=out_color_matrix=bt709,format=yuv422p", x264 + bt709, {}, {640, 360}},
        {"H.264 4:2:2 10-bit", {640, 360}, "scale=out_color_matrix=bt709,format=yuv422p10le", x264 + bt709,
         {400, 400}, {400, 225}},
        {"ProRes 422", {640, 360},
         "scale=out_color_matrix=bt709,format=yuv422p10le,setparams=colorspace=bt709:color_primaries=bt709:"
         "color_trc=bt709",
         "-c:v prores_ks -profile:v 2", {}, {640, 360}, HdrTransfer::none, "mov"},
        {"RGB", {640, 360}, "format=bgr24", "-c:v libx264rgb -preset ultrafast", {320, 180}, {320, 180}},
        {"HLG", {640, 360}, hdr.arg("arib-std-b67"), x265 + "arib-std-b67", {320, 180}, {320, 180}, HdrTransfer::hlg},
        {"PQ", {640, 360}, hdr.arg("smpte2084"), x265 + "smpte2084", {}, {640, 360}, HdrTransfer::pq},
        {"HLG without its primaries", {640, 360}, hdr.arg("arib-std-b67") + ",setparams=color_primaries=unknown",
         "-c:v libx265 -x265-params log-level=error", {}, {640, 360}, HdrTransfer::hlg},
        {"rotated 90", {320, 180}, "format=yuv420p", x264, {200, 200}, {113, 200}, HdrTransfer::none, "mp4",
         "-metadata:s:v rotate=90"},
        {"4:3 pixels", {480, 360}, "format=yuv420p,setsar=4/3", x264, {320, 320}, {320, 180}},
    };
    QTemporaryDir dir;
    PictureConverter converter; // one for all, as a deck keeps one across clips
    for (const Kind &kind : kinds) {
        SCOPED_TRACE(kind.name);
        QString clip = dir.filePath(QStringLiteral("%1.%2").arg(kind.name, kind.container));
        ASSERT_TRUE(testsupport::runFfmpeg(
            QStringList{"-filter_complex", patchPicture(kind.stored.width(), kind.stored.height()) + kind.filter,
                        "-frames:v", "2"}
            + kind.encode.split(QLatin1Char(' '), Qt::SkipEmptyParts) + QStringList{clip}));
        if (!kind.rewrap.isEmpty()) {
            const QString encoded = std::exchange(clip, dir.filePath(QStringLiteral("rewrapped.") + kind.container));
            ASSERT_TRUE(testsupport::runFfmpeg(QStringList{"-i", encoded, "-c", "copy"}
                                               + kind.rewrap.split(QLatin1Char(' ')) + QStringList{clip}));
        }
        // ffmpeg's own picture: upright, to RGB by its auto-inserted scaler, HDR by the export's chain.
        const QString reference = dir.filePath(QStringLiteral("reference.png"));
        QStringList filter;
        if (kind.transfer != HdrTransfer::none) // with the primaries the chain assumes, which it needs
            filter << "-vf" << "setparams=color_primaries=bt2020," + sdrMappingFilter(kind.transfer);
        else if (!kind.reading.isEmpty())
            filter << "-vf" << kind.reading;
        ASSERT_TRUE(testsupport::runFfmpeg(QStringList{"-i", clip} + filter
                                           + QStringList{"-frames:v", "1", "-pix_fmt", "rgb24", reference}));
        const QImage expected(reference);
        ASSERT_FALSE(expected.isNull());

        Decoded decoded;
        ASSERT_NO_FATAL_FAILURE(decodeFirst(clip, decoded));
        const QImage image = converter.convert(decoded.frame, kind.bound, decoded.rotation, decoded.pixelAspect);
        ASSERT_EQ(image.format(), QImage::Format_RGB32);
        EXPECT_EQ(image.size(), kind.expected);
        for (int i = 0; i < patches.size(); ++i) {
            SCOPED_TRACE(i);
            // Turned upright, the patches run down the picture, from its top when turned clockwise.
            const int rotation = (decoded.rotation % 360 + 360) % 360;
            const bool turned = rotation % 180 != 0;
            const bool reversed = rotation == 180 || rotation == 270;
            const double along = ((reversed ? patches.size() - 1 - i : i) + 0.5) / patches.size();
            const auto at = [&](const QImage &picture) {
                return picture.pixel(int(picture.width() * (turned ? 0.5 : along)),
                                     int(picture.height() * (turned ? along : 0.5)));
            };
            const QRgb got = at(image);
            EXPECT_LE(worstChannel(got, at(expected)), 6)
                << QColor(got).name().toStdString() << " ffmpeg " << QColor(at(expected)).name().toStdString();
            EXPECT_LE(worstChannel(got, patches[i].rgb()), kind.transfer == HdrTransfer::none ? 6 : 20)
                << QColor(got).name().toStdString();
        }
    }
}

// Frames no scaler can read give a null image rather than a crash.
TEST(PictureConverter, RefusesWhatItCannotConvert)
{
    PictureConverter converter;
    EXPECT_TRUE(converter.convert(nullptr).isNull());
    AVFrame *frame = av_frame_alloc();
    frame->width = frame->height = 64;
    frame->format = AV_PIX_FMT_YUV420P;
    EXPECT_TRUE(converter.convert(frame).isNull()); // no planes
    ASSERT_GE(av_frame_get_buffer(frame, 0), 0);
    frame->format = AV_PIX_FMT_VAAPI; // a picture still on the graphics card
    EXPECT_TRUE(converter.convert(frame).isNull());
    av_frame_free(&frame);
}
