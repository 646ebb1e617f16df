#include "pictureconverter.h"

#include "libavinput.h"
#include "sdrmapping.h"
#include "sourcecolour.h"

#include <QTransform>

#include <algorithm>
#include <cmath>
#include <cstring>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace routereel {

namespace {

// Area averaging: as fast as bilinear and closest to Lanczos at the preview's sizes;
// fast bilinear samples rather than averages, and aliases (routereel-bench picture).
constexpr int scaleFlags = SWS_AREA;
// Slices on four threads: a 4K picture converts in a quarter of the time on an idle
// machine, still in 60 % of it with every core busy.
constexpr int scaleThreads = 4;

// The layout of a "yuvj" format, whose full range is set apart from it (swscale
// would warn about the deprecated format on every rebuild); the format itself else.
AVPixelFormat plainLayout(int format)
{
    switch (format) {
    case AV_PIX_FMT_YUVJ420P:
        return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P:
        return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P:
        return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P:
        return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ411P:
        return AV_PIX_FMT_YUV411P;
    default:
        return AVPixelFormat(format);
    }
}

struct ScaleKey {
    int srcWidth = 0, srcHeight = 0, srcFormat = -1;
    int dstWidth = 0, dstHeight = 0, dstFormat = -1;
    int matrix = 0;
    bool fullRange = false;
    bool operator==(const ScaleKey &) const = default;
};

class Scaler {
public:
    ~Scaler() { sws_freeContext(context); }

    bool prepare(const ScaleKey &wanted)
    {
        if (context && key == wanted)
            return true;
        sws_freeContext(context);
        context = sws_alloc_context();
        key = wanted;
        if (!context)
            return false;
        av_opt_set_int(context, "srcw", key.srcWidth, 0);
        av_opt_set_int(context, "srch", key.srcHeight, 0);
        av_opt_set_int(context, "src_format", key.srcFormat, 0);
        av_opt_set_int(context, "dstw", key.dstWidth, 0);
        av_opt_set_int(context, "dsth", key.dstHeight, 0);
        av_opt_set_int(context, "dst_format", key.dstFormat, 0);
        av_opt_set_int(context, "sws_flags", scaleFlags, 0);
        // Small pictures are not worth the threads' hand-over. Nor is a picture kept at its
        // size: libswscale's converter for it, sliced, now and then writes the first pixels of
        // a slice wrong (a race), and unsliced it is quick.
        const bool scaled = key.srcWidth != key.dstWidth || key.srcHeight != key.dstHeight;
        const bool sliced = scaled && key.srcWidth * key.srcHeight >= 1280 * 720;
        av_opt_set_int(context, "threads", sliced ? scaleThreads : 1, 0);
        if (sws_init_context(context, nullptr, nullptr) < 0) {
            sws_freeContext(context);
            context = nullptr;
            return false;
        }
        // Only the input's matrix and range are set, as ffmpeg's scale filter does;
        // between YUV formats (the HDR path) both sides keep the source's.
        int *inverse = nullptr, *table = nullptr;
        int srcFull = 0, dstFull = 0, brightness = 0, contrast = 0, saturation = 0;
        sws_getColorspaceDetails(context, &inverse, &srcFull, &table, &dstFull, &brightness, &contrast,
                                 &saturation);
        const int *coefficients = sws_getCoefficients(key.matrix);
        const bool yuvOut = !(av_pix_fmt_desc_get(AVPixelFormat(key.dstFormat))->flags & AV_PIX_FMT_FLAG_RGB);
        sws_setColorspaceDetails(context, coefficients, key.fullRange, coefficients,
                                 yuvOut ? key.fullRange : dstFull, brightness, contrast, saturation);
        return true;
    }

    bool scale(const AVFrame *src, AVFrame *dst) { return sws_scale_frame(context, dst, src) >= 0; }

private:
    SwsContext *context = nullptr;
    ScaleKey key;
};

struct GraphKey {
    int width = 0, height = 0, format = -1;
    HdrTransfer transfer = HdrTransfer::none;
    bool fullRange = false;
    bool operator==(const GraphKey &) const = default;
};

// The export's HLG/PQ chain on libavfilter, fed one picture at a time.
class SdrMapper {
public:
    ~SdrMapper() { avfilter_graph_free(&graph); }

    bool prepare(const GraphKey &wanted)
    {
        if (graph && key == wanted)
            return true;
        avfilter_graph_free(&graph);
        key = wanted;
        graph = avfilter_graph_alloc();
        if (!graph)
            return false;
        const QByteArray args = QStringLiteral("video_size=%1x%2:pix_fmt=%3:time_base=1/90000:pixel_aspect=1/1")
                                    .arg(key.width)
                                    .arg(key.height)
                                    .arg(key.format)
                                    .toLatin1();
        AVFilterInOut *outputs = avfilter_inout_alloc();
        AVFilterInOut *inputs = avfilter_inout_alloc();
        bool ok = outputs && inputs
                  && avfilter_graph_create_filter(&source, avfilter_get_by_name("buffer"), "in", args.constData(),
                                                  nullptr, graph) >= 0
                  && avfilter_graph_create_filter(&sink, avfilter_get_by_name("buffersink"), "out", nullptr,
                                                  nullptr, graph) >= 0;
        if (ok) {
            outputs->name = av_strdup("in");
            outputs->filter_ctx = source;
            inputs->name = av_strdup("out");
            inputs->filter_ctx = sink;
            const QByteArray chain = sdrMappingFilter(key.transfer, key.fullRange).toLatin1();
            ok = avfilter_graph_parse_ptr(graph, chain.constData(), &inputs, &outputs, nullptr) >= 0
                 && avfilter_graph_config(graph, nullptr) >= 0;
        }
        avfilter_inout_free(&inputs);
        avfilter_inout_free(&outputs);
        if (!ok)
            avfilter_graph_free(&graph);
        return ok;
    }

    // Takes `picture` (the graph's input size and format); the SDR picture or null.
    FramePtr map(FramePtr picture)
    {
        picture->pts = pts++;
        FramePtr out(av_frame_alloc());
        if (!out || av_buffersrc_add_frame(source, picture.get()) < 0
            || av_buffersink_get_frame(sink, out.get()) < 0) {
            // A graph that failed once may hold a picture back: the next one starts afresh.
            avfilter_graph_free(&graph);
            return nullptr;
        }
        return out;
    }

private:
    AVFilterGraph *graph = nullptr;
    AVFilterContext *source = nullptr;
    AVFilterContext *sink = nullptr;
    GraphKey key;
    int64_t pts = 0;
};

// 10-bit kept (12 where the source has it), with the source's chroma layout, so
// the chain sees what ffmpeg would give it, only smaller.
AVPixelFormat hdrWorkingFormat(const AVPixFmtDescriptor *desc)
{
    const bool twelve = desc->comp[0].depth > 10;
    if (desc->log2_chroma_w == 0)
        return twelve ? AV_PIX_FMT_YUV444P12 : AV_PIX_FMT_YUV444P10;
    if (desc->log2_chroma_h == 0)
        return twelve ? AV_PIX_FMT_YUV422P12 : AV_PIX_FMT_YUV422P10;
    return twelve ? AV_PIX_FMT_YUV420P12 : AV_PIX_FMT_YUV420P10;
}

void releaseBuffer(void *buffer)
{
    auto *reference = static_cast<AVBufferRef *>(buffer);
    av_buffer_unref(&reference);
}

} // namespace

struct PictureConverter::Private {
    Scaler toRgb;
    Scaler shrink;
    SdrMapper sdr;

    // `src` at `size`. swscale's fast paths write whole blocks of pixels, on past a row's
    // end and the picture's (up to 32 bytes for 8-bit 4:2:0 at its stored size): it writes
    // into a frame it allocates itself, padded for that, which the image then wraps.
    QImage toImage(const AVFrame *src, int matrix, bool fullRange, QSize size)
    {
        if (!toRgb.prepare({src->width, src->height, plainLayout(src->format), size.width(), size.height(),
                            AV_PIX_FMT_RGB32, matrix, fullRange}))
            return {};
        FramePtr dst(av_frame_alloc());
        if (!dst || !toRgb.scale(src, dst.get()) || !dst->buf[0] || dst->width != size.width()
            || dst->height != size.height())
            return {};
        AVBufferRef *buffer = av_buffer_ref(dst->buf[0]);
        if (!buffer)
            return {};
        QImage image(dst->data[0], size.width(), size.height(), dst->linesize[0], QImage::Format_RGB32,
                     releaseBuffer, buffer);
        if (image.isNull())
            av_buffer_unref(&buffer);
        return image;
    }

    // HLG/PQ: shrunk in YUV first, so the float chain runs at the size shown.
    QImage hdrToImage(const AVFrame *frame, HdrTransfer transfer, bool fullRange, QSize size)
    {
        const AVPixFmtDescriptor *desc = av_pix_fmt_desc_get(AVPixelFormat(frame->format));
        const AVPixelFormat working = hdrWorkingFormat(desc);
        // Even sides, a pixel more where the picture has odd ones: the chain ends in 4:2:0,
        // which zscale makes of even sides only.
        const int width = (std::min(frame->width, size.width()) + 1) & ~1;
        const int height = (std::min(frame->height, size.height()) + 1) & ~1;
        if (!shrink.prepare({frame->width, frame->height, frame->format, width, height, working,
                             AVCOL_SPC_BT2020_NCL, fullRange}))
            return {};
        FramePtr small(av_frame_alloc());
        if (!small)
            return {};
        small->width = width;
        small->height = height;
        small->format = working;
        if (av_frame_get_buffer(small.get(), 0) < 0)
            return {};
        // zscale reads each line on into its padding, as table indices: cleared, they
        // are defined (a tenth of a millisecond at 960x540).
        for (AVBufferRef *buffer : small->buf) {
            if (buffer)
                std::memset(buffer->data, 0, buffer->size);
        }
        if (!shrink.scale(frame, small.get()))
            return {};
        av_frame_copy_props(small.get(), frame);
        // The chain reads the picture as BT.2020 but passes on the frame's own primaries,
        // and finds no way to BT.709 from untagged ones.
        small->color_primaries = AVCOL_PRI_BT2020;
        if (!sdr.prepare({width, height, working, transfer, fullRange}))
            return {};
        const FramePtr mapped = sdr.map(std::move(small));
        return mapped ? toImage(mapped.get(), AVCOL_SPC_BT709, false, size) : QImage();
    }
};

PictureConverter::PictureConverter() : d(std::make_unique<Private>()) {}

PictureConverter::~PictureConverter() = default;

QSize PictureConverter::outputSize(QSize stored, QSize bound, int rotation, double pixelAspect)
{
    if (stored.isEmpty())
        return {};
    const double aspect = std::isfinite(pixelAspect) && pixelAspect > 0 ? pixelAspect : 1;
    double width = stored.width() * aspect;
    double height = stored.height();
    if (rotation % 180 != 0)
        std::swap(width, height);
    double factor = 1;
    if (!bound.isEmpty())
        factor = std::min({1.0, bound.width() / width, bound.height() / height});
    return {std::max(1, int(std::lround(width * factor))), std::max(1, int(std::lround(height * factor)))};
}

QImage PictureConverter::convert(const AVFrame *frame, QSize bound, int rotation, double pixelAspect)
{
    if (!frame || frame->width <= 0 || frame->height <= 0 || !frame->data[0])
        return {};
    const auto format = AVPixelFormat(frame->format);
    const AVPixFmtDescriptor *desc = av_pix_fmt_desc_get(format);
    if (!desc || (desc->flags & AV_PIX_FMT_FLAG_HWACCEL) || !sws_isSupportedInput(format))
        return {};
    rotation = ((int(std::lround(rotation / 90.0)) % 4 + 4) % 4) * 90;
    const QSize upright = outputSize({frame->width, frame->height}, bound, rotation, pixelAspect);
    const QSize size = rotation % 180 ? upright.transposed() : upright;

    const bool yuv = !(desc->flags & AV_PIX_FMT_FLAG_RGB) && desc->nb_components >= 3;
    // Read by the export's rule for the clip (sourcecolour.h), from the picture's own tags.
    const bool fullRange = fullRangeReadAs(frame->color_range, frame->format);
    const HdrTransfer transfer = transferMappedAs(frame->color_trc, !yuv);
    const int matrix = matrixReadAs(frame->colorspace, frame->width, frame->height);
    const QImage image = transfer == HdrTransfer::none ? d->toImage(frame, matrix, fullRange, size)
                                                       : d->hdrToImage(frame, transfer, fullRange, size);
    if (image.isNull())
        return {};
    if (rotation == 0)
        return image;
    QImage turned = image.transformed(QTransform().rotate(rotation));
    if (turned.format() != QImage::Format_RGB32)
        turned.convertTo(QImage::Format_RGB32);
    return turned;
}

} // namespace routereel
