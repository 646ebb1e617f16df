#pragma once

#include <QFile>
#include <QString>

#include <algorithm>
#include <limits>
#include <utility>

extern "C" {
#include <libavformat/avformat.h>
}

namespace testsupport {

// The bytes of the file that hold the first stream of `type` whose packets are
// presented from `from` to `to` seconds (from the container's start): [first, end).
// (-1, -1) when the file cannot be read or no such packet lies there.
inline std::pair<qint64, qint64> packetBytes(const QString &path, AVMediaType type, double from, double to)
{
    AVFormatContext *context = nullptr;
    if (avformat_open_input(&context, QFile::encodeName(path).constData(), nullptr, nullptr) < 0)
        return {-1, -1};
    qint64 first = std::numeric_limits<qint64>::max(), end = -1;
    if (avformat_find_stream_info(context, nullptr) >= 0) {
        const int stream = av_find_best_stream(context, type, -1, -1, nullptr, 0);
        const double start = context->start_time == AV_NOPTS_VALUE ? 0 : double(context->start_time) / AV_TIME_BASE;
        AVPacket *packet = av_packet_alloc();
        while (stream >= 0 && av_read_frame(context, packet) >= 0) {
            if (packet->stream_index == stream && packet->pts != AV_NOPTS_VALUE && packet->pos >= 0) {
                const double t = packet->pts * av_q2d(context->streams[stream]->time_base) - start;
                if (t >= from && t < to) {
                    first = std::min<qint64>(first, packet->pos);
                    end = std::max<qint64>(end, packet->pos + packet->size);
                }
            }
            av_packet_unref(packet);
        }
        av_packet_free(&packet);
    }
    avformat_close_input(&context);
    return end < 0 ? std::pair<qint64, qint64>{-1, -1} : std::pair{first, end};
}

} // namespace testsupport
