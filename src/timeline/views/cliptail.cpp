#include "cliptail.h"

#include "timeline/libavinput.h"

#include <QException>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <cmath>
#include <functional>
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

// One clip's picture stream, read from a keyframe of libav's choosing.
class Reader {
public:
    explicit Reader(const QString &path)
        : m_ctx(openMediaFile(path))
    {
        for (unsigned i = 0; i < m_ctx->nb_streams && m_index < 0; ++i) {
            if (isPictureStream(m_ctx->streams[i]))
                m_index = int(i);
        }
        if (m_index >= 0)
            m_unit = av_q2d(m_ctx->streams[m_index]->time_base);
    }
    bool valid() const { return m_index >= 0; }
    double unit() const { return m_unit; }

    // The keyframe a seek to `seconds` lands on, as (shown at, decoded at); read
    // from there on.
    std::optional<std::pair<int64_t, int64_t>> seekKeyframe(double seconds)
    {
        return seekKeyframe(int64_t(std::floor(seconds / m_unit)));
    }

    // Seeks to a keyframe shown at or before `from`, so that every picture from
    // there on has its references: a seek there may land on a keyframe shown after
    // `from`, decoded before its leading pictures.
    bool seekBefore(double from)
    {
        auto key = seekKeyframe(from);
        for (int tries = 0; key && key->first * m_unit > from + 1e-6 && tries < 8; ++tries) {
            const int64_t decodedAt = key->second == AV_NOPTS_VALUE ? key->first : std::min(key->first, key->second);
            const auto earlier = seekKeyframe(decodedAt - 1);
            if (!earlier || *earlier == *key)
                break; // the file's first keyframe
            key = earlier;
        }
        return key.has_value();
    }

    // The earliest start among the pictures decoded after the keyframe just sought
    // (shown at `keyShown`) but shown before it: its leading pictures.
    std::optional<int64_t> firstLeading(int64_t keyShown)
    {
        std::optional<int64_t> first;
        std::unique_ptr<AVPacket, PacketCloser> packet(av_packet_alloc());
        for (int read = 0; read < 32 && av_read_frame(m_ctx.get(), packet.get()) >= 0;) {
            if (packet->stream_index == m_index) {
                ++read;
                if (packet->pts != AV_NOPTS_VALUE && packet->pts < keyShown)
                    first = std::min(first.value_or(packet->pts), packet->pts);
            }
            av_packet_unref(packet.get());
        }
        return first;
    }

    // Decodes from where the reader stands, handing each picture to `take` until it
    // answers false.
    void decode(const std::function<bool(const AVFrame *, double start, double length)> &take,
                const std::atomic<bool> *cancel)
    {
        AVStream *stream = m_ctx->streams[m_index];
        const AVCodec *codec = avcodec_find_decoder(stream->codecpar->codec_id);
        std::unique_ptr<AVCodecContext, CodecCloser> decoder(avcodec_alloc_context3(codec));
        if (!codec || !decoder || avcodec_parameters_to_context(decoder.get(), stream->codecpar) < 0
            || avcodec_open2(decoder.get(), codec, nullptr) < 0)
            return;
        std::unique_ptr<AVPacket, PacketCloser> packet(av_packet_alloc());
        std::unique_ptr<AVFrame, FrameCloser> picture(av_frame_alloc());
        bool more = true;
        const auto receive = [&] {
            while (more && avcodec_receive_frame(decoder.get(), picture.get()) >= 0) {
                const int64_t pts = picture->best_effort_timestamp;
                if (pts != AV_NOPTS_VALUE)
                    more = take(picture.get(), pts * m_unit,
                                picture->pkt_duration > 0 ? picture->pkt_duration * m_unit : 0);
                av_frame_unref(picture.get());
            }
        };
        if (m_pending) {
            avcodec_send_packet(decoder.get(), m_pending.get());
            m_pending.reset();
            receive();
        }
        while (more && !(cancel && *cancel) && av_read_frame(m_ctx.get(), packet.get()) >= 0) {
            if (packet->stream_index == m_index)
                avcodec_send_packet(decoder.get(), packet.get());
            av_packet_unref(packet.get());
            receive();
        }
        if (more && !(cancel && *cancel)) {
            avcodec_send_packet(decoder.get(), nullptr);
            receive();
        }
    }

private:
    std::optional<std::pair<int64_t, int64_t>> seekKeyframe(int64_t target)
    {
        m_pending.reset();
        if (av_seek_frame(m_ctx.get(), m_index, target, AVSEEK_FLAG_BACKWARD) < 0)
            return std::nullopt;
        std::unique_ptr<AVPacket, PacketCloser> packet(av_packet_alloc());
        while (av_read_frame(m_ctx.get(), packet.get()) >= 0) {
            if (packet->stream_index == m_index) {
                const std::pair<int64_t, int64_t> key{packet->pts, packet->dts};
                m_pending = std::move(packet); // decoded first
                if (key.first == AV_NOPTS_VALUE)
                    return std::nullopt;
                return key;
            }
            av_packet_unref(packet.get());
        }
        return std::nullopt;
    }

    FormatContextPtr m_ctx;
    int m_index = -1;
    double m_unit = 0;
    std::unique_ptr<AVPacket, PacketCloser> m_pending; // the keyframe packet already read
};

} // namespace

std::vector<ClipTail::Picture> ClipTail::decode(const QString &path, double from, int limit,
                                                const std::atomic<bool> *cancel)
{
    std::vector<Picture> out;
    try {
        Reader reader(path);
        if (!reader.valid() || !reader.seekBefore(from))
            return out;
        reader.decode([&](const AVFrame *picture, double start, double length) {
            if (start >= from - 1e-6) {
                if (!out.empty())
                    out.back().end = start;
                out.push_back({start, start + length, toVideoFrame(picture)});
            }
            return int(out.size()) < limit;
        }, cancel);
    } catch (const QException &) {
        out.clear();
    }
    return out;
}

std::optional<ClipTail::Picture> ClipTail::leadingPicture(const QString &path, double at,
                                                          const std::atomic<bool> *cancel)
{
    try {
        Reader reader(path);
        if (!reader.valid())
            return std::nullopt;
        const auto key = reader.seekKeyframe(at);
        if (!key || key->first * reader.unit() <= at + 1e-6)
            return std::nullopt; // a seek there decodes it whole
        const auto firstLeading = reader.firstLeading(key->first);
        if (!reader.seekBefore(at))
            return std::nullopt;
        std::unique_ptr<AVFrame, FrameCloser> last;
        double lastStart = 0, lastLength = 0;
        reader.decode([&](const AVFrame *picture, double start, double length) {
            // The decoder's first pictures after a seek may come with times out of
            // order: the latest one starting at or before `at`, until well past it.
            if (start > at + 1e-6)
                return start < at + 0.5;
            if (last && start < lastStart)
                return true;
            last.reset(av_frame_clone(picture));
            lastStart = start;
            lastLength = length;
            return true;
        }, cancel);
        if (!last || (cancel && *cancel))
            return std::nullopt;
        // Before the keyframe is decoded as well as before the first of them: a seek
        // finds its picture by decoding time. Half a millisecond and more before, as
        // the media player takes whole milliseconds.
        double wholeFrom = firstLeading ? std::min(*firstLeading * reader.unit(), lastStart) : lastStart;
        if (key->second != AV_NOPTS_VALUE)
            wholeFrom = std::min(wholeFrom, key->second * reader.unit());
        return Picture{lastStart, lastStart + lastLength, toVideoFrame(last.get()), wholeFrom - 0.0015};
    } catch (const QException &) {
        return std::nullopt;
    }
}

} // namespace routereel
