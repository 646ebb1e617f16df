#include "cliptail.h"

#include "timeline/libavinput.h"

#include <QException>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <cmath>
#include <cstring>
#include <memory>

namespace routereel {

namespace {

struct CodecCloser {
    void operator()(AVCodecContext *c) const { avcodec_free_context(&c); }
};
struct FrameCloser {
    void operator()(AVFrame *f) const { av_frame_free(&f); }
};
struct PacketCloser {
    void operator()(AVPacket *p) const { av_packet_free(&p); }
};

QVideoFrame toVideoFrame(const AVFrame *picture)
{
    const int w = picture->width, h = picture->height;
    QVideoFrame frame(QVideoFrameFormat(QSize(w, h), QVideoFrameFormat::Format_YUV420P));
    SwsContext *sws = sws_getContext(w, h, AVPixelFormat(picture->format), w, h, AV_PIX_FMT_YUV420P, SWS_POINT,
                                     nullptr, nullptr, nullptr);
    if (!sws || !frame.map(QVideoFrame::WriteOnly)) {
        sws_freeContext(sws);
        return {};
    }
    uint8_t *planes[4] = {frame.bits(0), frame.bits(1), frame.bits(2), nullptr};
    int strides[4] = {frame.bytesPerLine(0), frame.bytesPerLine(1), frame.bytesPerLine(2), 0};
    sws_scale(sws, picture->data, picture->linesize, 0, h, planes, strides);
    sws_freeContext(sws);
    frame.unmap();
    return frame;
}

} // namespace

std::vector<ClipTail::Picture> ClipTail::decode(const QString &path, double from, int limit)
{
    std::vector<Picture> out;
    try {
        const FormatContextPtr ctx = openMediaFile(path);
        const int index = av_find_best_stream(ctx.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        if (index < 0)
            return out;
        AVStream *stream = ctx->streams[index];
        const AVCodec *codec = avcodec_find_decoder(stream->codecpar->codec_id);
        std::unique_ptr<AVCodecContext, CodecCloser> decoder(avcodec_alloc_context3(codec));
        if (!codec || !decoder || avcodec_parameters_to_context(decoder.get(), stream->codecpar) < 0
            || avcodec_open2(decoder.get(), codec, nullptr) < 0)
            return out;
        const double unit = av_q2d(stream->time_base);
        av_seek_frame(ctx.get(), index, int64_t(std::floor(from / unit)), AVSEEK_FLAG_BACKWARD);
        std::unique_ptr<AVPacket, PacketCloser> packet(av_packet_alloc());
        std::unique_ptr<AVFrame, FrameCloser> picture(av_frame_alloc());
        const auto take = [&] {
            while (avcodec_receive_frame(decoder.get(), picture.get()) >= 0) {
                const int64_t pts = picture->best_effort_timestamp;
                const double start = pts == AV_NOPTS_VALUE ? -1 : pts * unit;
                if (start >= from - 1e-6 && int(out.size()) < limit) {
                    if (!out.empty())
                        out.back().end = start;
                    const double length = picture->pkt_duration > 0 ? picture->pkt_duration * unit : 0;
                    out.push_back({start, start + length, toVideoFrame(picture.get())});
                }
                av_frame_unref(picture.get());
            }
        };
        while (av_read_frame(ctx.get(), packet.get()) >= 0) {
            if (packet->stream_index == index)
                avcodec_send_packet(decoder.get(), packet.get());
            av_packet_unref(packet.get());
            take();
        }
        avcodec_send_packet(decoder.get(), nullptr);
        take();
    } catch (const QException &) {
        out.clear();
    }
    return out;
}

} // namespace routereel
