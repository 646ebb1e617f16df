// routereel-bench picture: what one decoded picture costs the preview's deck thread
// to become the image it paints, for 4K 8-bit 4:2:0, 4K 10-bit HLG, 2.7K and 1080p clips
// at 960x540 and 1920x1080; and, for the scaler's choice, swscale alone on a 4K
// picture by filter and thread count. Times are per picture, median and mean of
// repeated runs over a few decoded pictures; the load average is printed alongside.
// The filters' quality: PSNR against swscale's most careful downscale.
#include "benchcommand.h"
#include "benchffmpeg.h"

#include "media/libavinput.h"
#include "media/pictureconverter.h"

#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace routereel::bench {
namespace {


struct Frames {
    std::vector<AVFrame *> frames;
    ~Frames()
    {
        for (AVFrame *frame : frames)
            av_frame_free(&frame);
    }
};

bool decode(const QString &file, int count, Frames &out)
{
    FormatContextPtr format = openMediaFile(file);
    const int index = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0)
        return false;
    const AVCodec *codec = avcodec_find_decoder(format->streams[index]->codecpar->codec_id);
    AVCodecContext *context = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(context, format->streams[index]->codecpar);
    if (avcodec_open2(context, codec, nullptr) < 0)
        return false;
    AVPacket *packet = av_packet_alloc();
    auto receive = [&] {
        for (AVFrame *frame = av_frame_alloc(); avcodec_receive_frame(context, frame) >= 0; frame = av_frame_alloc())
            out.frames.push_back(frame);
    };
    while (int(out.frames.size()) < count && av_read_frame(format.get(), packet) >= 0) {
        if (packet->stream_index == index && avcodec_send_packet(context, packet) >= 0)
            receive();
        av_packet_unref(packet);
    }
    avcodec_send_packet(context, nullptr);
    receive();
    av_packet_free(&packet);
    avcodec_free_context(&context);
    return !out.frames.empty();
}

// Median and mean milliseconds of `run` over `rounds`, after one round to warm up.
template <typename Run>
void report(const char *label, int rounds, Run run)
{
    run();
    std::vector<double> times;
    QElapsedTimer timer;
    for (int i = 0; i < rounds; ++i) {
        timer.start();
        run();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    double sum = 0;
    for (double t : times)
        sum += t;
    std::nth_element(times.begin(), times.begin() + rounds / 2, times.end());
    std::printf("  %-44s median %6.2f ms  mean %6.2f ms\n", label, times[rounds / 2], sum / rounds);
    std::fflush(stdout);
}

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readLine()).section(QLatin1Char(' '), 0, 2)
                                          : QStringLiteral("?");
}

const std::pair<const char *, int> filters[] = {
    {"fast_bilinear", SWS_FAST_BILINEAR}, {"bilinear", SWS_BILINEAR}, {"area", SWS_AREA}, {"bicubic", SWS_BICUBIC}};

QImage scaled(const AVFrame *source, QSize size, int flags)
{
    QImage image(size, QImage::Format_RGB32);
    SwsContext *context = sws_getContext(source->width, source->height, AVPixelFormat(source->format), size.width(),
                                         size.height(), AV_PIX_FMT_RGB32, flags, nullptr, nullptr, nullptr);
    uint8_t *planes[4] = {image.bits()};
    const int strides[4] = {int(image.bytesPerLine())};
    sws_scale(context, source->data, source->linesize, 0, source->height, planes, strides);
    sws_freeContext(context);
    return image;
}

double psnr(const QImage &a, const QImage &b)
{
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto *p = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        const auto *q = reinterpret_cast<const QRgb *>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            const int r = qRed(p[x]) - qRed(q[x]), g = qGreen(p[x]) - qGreen(q[x]), l = qBlue(p[x]) - qBlue(q[x]);
            sum += r * r + g * g + l * l;
        }
    }
    const double mse = sum / (3.0 * a.width() * a.height());
    return mse > 0 ? 10 * std::log10(255.0 * 255.0 / mse) : 99;
}

int run(const QStringList &args)
{
    const int rounds = args.isEmpty() ? 40 : std::max(3, args.first().toInt());
    QTemporaryDir dir;
    const QString pattern = QStringLiteral("testsrc2=s=%1:r=30:d=0.3");
    struct Clip {
        const char *name;
        QStringList make;
        Frames frames;
    };
    Clip clips[] = {
        {"4K H.264 8-bit 4:2:0", {"-f", "lavfi", "-i", pattern.arg("3840x2160"), "-pix_fmt", "yuv420p", "-c:v",
                                  "libx264", "-preset", "ultrafast", "-colorspace", "bt709"}},
        {"4K HEVC 10-bit HLG", {"-f", "lavfi", "-i", pattern.arg("3840x2160"), "-vf",
                                "format=gbrp,zscale=tin=bt709:min=gbr:pin=bt709:t=arib-std-b67:m=bt2020nc:"
                                "p=bt2020:r=tv:npl=203,format=yuv420p10le",
                                "-c:v", "libx265", "-preset", "ultrafast", "-x265-params", "log-level=error",
                                "-colorspace", "bt2020nc", "-color_primaries", "bt2020", "-color_trc",
                                "arib-std-b67"}},
        {"2.7K H.264 8-bit 4:2:0", {"-f", "lavfi", "-i", pattern.arg("2704x1520"), "-pix_fmt", "yuv420p", "-c:v",
                                    "libx264", "-preset", "ultrafast", "-colorspace", "bt709"}},
        {"1080p H.264 8-bit 4:2:0", {"-f", "lavfi", "-i", pattern.arg("1920x1080"), "-pix_fmt", "yuv420p", "-c:v",
                                     "libx264", "-preset", "ultrafast", "-colorspace", "bt709"}},
    };
    std::printf("load average before: %s\n", qPrintable(loadAverage()));
    for (Clip &clip : clips) {
        const QString file = dir.filePath(QString::fromLatin1(clip.name).replace(QLatin1Char(' '), QLatin1Char('_'))
                                          + QStringLiteral(".mp4"));
        if (!ffmpeg(clip.make + QStringList{file}) || !decode(file, 8, clip.frames))
            return 1;
    }

    std::printf("PictureConverter::convert, per picture (%d rounds):\n", rounds);
    for (Clip &clip : clips) {
        for (const QSize bound : {QSize(960, 540), QSize(1920, 1080)}) {
            PictureConverter converter;
            std::size_t next = 0;
            const QByteArray label = QStringLiteral("%1 -> %2x%3")
                                         .arg(QString::fromLatin1(clip.name))
                                         .arg(bound.width())
                                         .arg(bound.height())
                                         .toLatin1();
            report(label.constData(), rounds, [&] {
                if (converter.convert(clip.frames.frames[next++ % clip.frames.frames.size()], bound).isNull())
                    std::fprintf(stderr, "no picture\n");
            });
        }
    }

    const AVFrame *source = clips[0].frames.frames.front(); // 4K 8-bit
    std::printf("swscale's filters against Lanczos (accurate, full chroma), PSNR of RGB, 4K 8-bit 4:2:0 ->\n");
    for (const QSize size : {QSize(960, 540), QSize(1366, 768), QSize(1920, 1080)}) {
        const QImage reference = scaled(source, size, SWS_LANCZOS | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT);
        std::printf("  %dx%d:", size.width(), size.height());
        for (const auto &[name, flags] : filters)
            std::printf("  %s %.1f dB", name, psnr(scaled(source, size, flags), reference));
        std::printf("\n");
    }
    std::printf("swscale alone, 4K 8-bit 4:2:0 -> 960x540 RGB32:\n");
    for (const auto &[name, flags] : filters) {
        for (int threads : {1, 2, 4}) {
            SwsContext *context = sws_alloc_context();
            av_opt_set_int(context, "srcw", source->width, 0);
            av_opt_set_int(context, "srch", source->height, 0);
            av_opt_set_int(context, "src_format", source->format, 0);
            av_opt_set_int(context, "dstw", 960, 0);
            av_opt_set_int(context, "dsth", 540, 0);
            av_opt_set_int(context, "dst_format", AV_PIX_FMT_RGB32, 0);
            av_opt_set_int(context, "sws_flags", flags, 0);
            av_opt_set_int(context, "threads", threads, 0);
            if (sws_init_context(context, nullptr, nullptr) < 0)
                return 1;
            AVFrame *out = av_frame_alloc();
            const QByteArray label =
                QStringLiteral("%1, %2 thread(s)").arg(QLatin1String(name)).arg(threads).toLatin1();
            report(label.constData(), rounds, [&] {
                av_frame_unref(out);
                sws_scale_frame(context, out, source);
            });
            av_frame_free(&out);
            sws_freeContext(context);
        }
    }
    std::printf("load average after: %s\n", qPrintable(loadAverage()));
    return 0;
}

const bool registered = registerCommand("picture", "[ROUNDS]", run);

} // namespace
} // namespace routereel::bench
