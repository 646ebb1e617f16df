#include "piecefiles.h"

#include "libavinput.h"
#include "sourceframes.h"
#include "videoreaderror.h"

#include <QCoreApplication>

extern "C" {
#include <libavformat/avformat.h>
}

#include <cstring>
#include <limits>
#include <vector>

namespace routereel {

namespace {

// Packets copied past a piece's read end: a picture waits in the decoder for at
// most this many later ones (HEVC's largest picture buffer) before it comes out.
constexpr int packetsPastEnd = 16;

// An end-of-sequence NAL unit (type 36, layer 0, temporal id 0), as the clip's
// packets frame their units: behind a length of `lengthSize` bytes or a start code.
std::vector<std::uint8_t> endOfSequence(int lengthSize)
{
    std::vector<std::uint8_t> unit;
    if (lengthSize <= 0)
        unit = {0, 0, 0, 1};
    else {
        unit.assign(std::size_t(lengthSize), 0);
        unit.back() = 2;
    }
    unit.push_back(36 << 1);
    unit.push_back(1);
    return unit;
}

// `packet` with `prefix` in front of its data, its times and flags kept.
PacketPtr prefixed(const AVPacket *packet, const std::vector<std::uint8_t> &prefix)
{
    PacketPtr copy(av_packet_alloc());
    if (!copy || av_new_packet(copy.get(), packet->size + int(prefix.size())) < 0
        || av_packet_copy_props(copy.get(), packet) < 0)
        return nullptr;
    std::memcpy(copy->data, prefix.data(), prefix.size());
    if (packet->size > 0)
        std::memcpy(copy->data + prefix.size(), packet->data, std::size_t(packet->size));
    return copy;
}

struct OutputCloser {
    void operator()(AVFormatContext *context) const
    {
        if (context && context->pb)
            avio_closep(&context->pb);
        avformat_free_context(context);
    }
};
using OutputPtr = std::unique_ptr<AVFormatContext, OutputCloser>;

PieceFileWriter::Result unwritable(const PieceFile &piece, int code)
{
    return {PieceFileWriter::Outcome::unwritable,
            QCoreApplication::translate("VideoExporter", "Could not write a piece of a clip to %1: %2")
                .arg(piece.path, libavReason(code))};
}

} // namespace

PieceFileWriter::Result PieceFileWriter::write(const QString &clip, int stream, const QList<PieceFile> &pieces,
                                               const std::function<bool()> &cancelled)
{
    const auto unreadable = [&](const QString &reason) {
        return Result{Outcome::unreadable, libavFileName(clip) + QStringLiteral(": ") + reason};
    };
    std::unique_ptr<RetryingMediaFile> file;
    try {
        file = std::make_unique<RetryingMediaFile>(clip);
    } catch (const VideoReadError &error) {
        return unreadable(error.reason());
    }
    AVFormatContext *input = file->context();
    if (stream < 0 || stream >= int(input->nb_streams))
        return unreadable(libavReason(AVERROR_STREAM_NOT_FOUND));
    for (unsigned i = 0; i < input->nb_streams; ++i)
        input->streams[i]->discard = int(i) == stream ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    const AVStream *source = input->streams[stream];
    const std::vector<std::uint8_t> eos = endOfSequence(hevcNalLengthSize(source->codecpar));
    // A read that failed: what the disk said, which libav may have taken for the file's end.
    const auto readFailure = [&](int code, int failure) {
        return unreadable(libavReason(failure ? AVERROR(failure) : code));
    };

    PacketPtr packet(av_packet_alloc());
    if (!packet)
        return unreadable(libavReason(AVERROR(ENOMEM)));
    for (const PieceFile &piece : pieces) {
        if (cancelled && cancelled())
            return {Outcome::cancelled, {}};
        // Sought exactly as the concat reader seeks for the piece's in point.
        if (const int rc = avformat_seek_file(input, -1, std::numeric_limits<std::int64_t>::min(), piece.inpoint,
                                              piece.inpoint, 0);
            rc < 0) {
            return readFailure(rc, file->takeFailure());
        }

        AVFormatContext *raw = nullptr;
        const QByteArray name = libavFileName(piece.path).toUtf8();
        if (const int rc = avformat_alloc_output_context2(&raw, nullptr, "nut", name.constData()); rc < 0)
            return unwritable(piece, rc);
        OutputPtr output(raw);
        AVStream *copy = avformat_new_stream(raw, nullptr);
        if (!copy)
            return unwritable(piece, AVERROR(ENOMEM));
        if (const int rc = avcodec_parameters_copy(copy->codecpar, source->codecpar); rc < 0)
            return unwritable(piece, rc);
        copy->codecpar->codec_tag = 0;
        copy->time_base = source->time_base;
        copy->avg_frame_rate = source->avg_frame_rate;
        copy->r_frame_rate = source->r_frame_rate;
        copy->sample_aspect_ratio = source->sample_aspect_ratio;
        // The clip's own times: shifting them would move the piece on its input's time line.
        raw->avoid_negative_ts = AVFMT_AVOID_NEG_TS_DISABLED;
        if (const int rc = avio_open(&raw->pb, name.constData(), AVIO_FLAG_WRITE); rc < 0)
            return unwritable(piece, rc);
        if (const int rc = avformat_write_header(raw, nullptr); rc < 0)
            return unwritable(piece, rc);

        // Each packet is written once the next is read: the last one goes as a
        // keyframe. libav cannot seek in a NUT file whose only syncpoint is its
        // first, which a short piece would be, and the concat reader seeks to the
        // in point; the flag only makes the muxer put a syncpoint before the packet,
        // the decoder goes by the packet's own NAL units.
        PacketPtr held;
        const auto writeHeld = [&](bool last) {
            if (last)
                held->flags |= AV_PKT_FLAG_KEY;
            held->stream_index = 0;
            held->pos = -1;
            av_packet_rescale_ts(held.get(), source->time_base, copy->time_base);
            return av_write_frame(raw, held.get());
        };
        int past = 0;
        while (past <= packetsPastEnd) {
            if (cancelled && cancelled())
                return {Outcome::cancelled, {}};
            const int rc = av_read_frame(input, packet.get());
            const int failure = file->takeFailure();
            if (rc == AVERROR_EOF && !failure)
                break;
            if (rc < 0 || failure) {
                av_packet_unref(packet.get());
                return readFailure(rc, failure);
            }
            if (packet->stream_index != stream) {
                av_packet_unref(packet.get());
                continue;
            }
            const std::int64_t dts = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
            if (dts != AV_NOPTS_VALUE && av_compare_ts(dts, source->time_base, piece.readEnd, AV_TIME_BASE_Q) >= 0)
                ++past;
            if (held) {
                if (const int written = writeHeld(false); written < 0) {
                    av_packet_unref(packet.get());
                    return unwritable(piece, written);
                }
                held.reset(av_packet_alloc());
                if (!held || av_packet_ref(held.get(), packet.get()) < 0) {
                    av_packet_unref(packet.get());
                    return unwritable(piece, AVERROR(ENOMEM));
                }
            } else {
                held = prefixed(packet.get(), eos);
                if (!held) {
                    av_packet_unref(packet.get());
                    return unwritable(piece, AVERROR(ENOMEM));
                }
            }
            av_packet_unref(packet.get());
        }
        if (held) {
            if (const int written = writeHeld(true); written < 0)
                return unwritable(piece, written);
        }
        if (const int rc = av_write_trailer(raw); rc < 0)
            return unwritable(piece, rc);
        if (const int rc = avio_closep(&raw->pb); rc < 0)
            return unwritable(piece, rc);
    }
    return {};
}

} // namespace routereel
