#include "clipdecoder.h"

#include "videoreaderror.h"
#include "videotimelineerror.h"

#include <QFileInfo>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <cmath>
#include <limits>

namespace routereel {

namespace {

// Frame times and asked times meet on boundaries that doubles carry a hair off.
constexpr double timeTolerance = 1e-7;
// Reading on from where the decoder stands beats a seek when the time asked for is
// this close ahead, whatever keyframes lie between.
constexpr double readOnSeconds = 1.0;
// Packets passed over after a seek while no keyframe has come: a stream that flags
// none is read as it is rather than not at all.
constexpr int mostSkippedWaitingForKey = 600;
// Pictures kept after they were handed out: a deck decodes this far ahead at most.
constexpr std::size_t recentPictures = 8;

} // namespace

namespace {

bool flagsNoKeyframe(const AVStream *stream)
{
    const int entries = avformat_index_get_entries_count(stream);
    for (int i = 0; i < entries; ++i) {
        if (avformat_index_get_entry(const_cast<AVStream *>(stream), i)->flags & AVINDEX_KEYFRAME)
            return false;
    }
    return entries > 0;
}

} // namespace

ClipDecoder::ClipDecoder(const QString &path)
    : m_file(std::make_unique<RetryingMediaFile>(path)), m_context(m_file->context())
{
    const QString name = QFileInfo(path).fileName();
    checkStartTime(m_context, name);
    for (unsigned i = 0; i < m_context->nb_streams; ++i) {
        if (m_stream < 0 && isPictureStream(m_context->streams[i]))
            m_stream = int(i);
        else
            m_context->streams[i]->discard = AVDISCARD_ALL;
    }
    if (m_stream < 0)
        throw VideoTimelineError::invalidVideo(name);
    AVStream *stream = m_context->streams[m_stream];
    const AVCodec *codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec)
        throw VideoTimelineError::invalidVideo(name);
    m_codec.reset(avcodec_alloc_context3(codec));
    m_packet.reset(av_packet_alloc());
    if (!m_codec || !m_packet || avcodec_parameters_to_context(m_codec.get(), stream->codecpar) < 0)
        throw VideoTimelineError::invalidVideo(name);
    m_codec->pkt_timebase = stream->time_base;
    m_codec->thread_count = 0;
    m_codec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    if (avcodec_open2(m_codec.get(), codec, nullptr) < 0)
        throw VideoTimelineError::invalidVideo(name);
    m_keylessIndex = flagsNoKeyframe(stream);

    m_startTime = double(startMicros(m_context)) / AV_TIME_BASE;
    m_rotation = clockwiseRotation(stream);
    const AVRational sar = stream->sample_aspect_ratio.num ? stream->sample_aspect_ratio
                                                           : stream->codecpar->sample_aspect_ratio;
    if (sar.num > 0 && sar.den > 0)
        m_pixelAspect = av_q2d(sar);
    const AVRational rate = stream->avg_frame_rate.num ? stream->avg_frame_rate : stream->r_frame_rate;
    if (rate.num > 0 && rate.den > 0)
        m_nominalFrame = 1.0 / av_q2d(rate);
    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0) {
        const double streamStart = stream->start_time == AV_NOPTS_VALUE ? m_startTime
                                                                        : stream->start_time * av_q2d(stream->time_base);
        m_length = streamStart + stream->duration * av_q2d(stream->time_base) - m_startTime;
    } else if (m_context->duration != AV_NOPTS_VALUE && m_context->duration > 0) {
        m_length = double(m_context->duration) / AV_TIME_BASE;
    }
}

ClipDecoder::~ClipDecoder() = default;

std::int64_t ClipDecoder::tickAt(double seconds) const
{
    const double tb = av_q2d(m_context->streams[m_stream]->time_base);
    return saturatedInt64(std::floor((m_startTime + seconds + timeTolerance) / tb));
}

double ClipDecoder::secondsOf(std::int64_t pts) const
{
    return double(pts) * av_q2d(m_context->streams[m_stream]->time_base) - m_startTime;
}

std::optional<double> ClipDecoder::position() const
{
    return m_lastStart;
}

// Whether a keyframe lies after `from` and at or before `to`, by the file's index
// (a file without one tells nothing: reading on is then the safe choice).
bool ClipDecoder::keyframeBetween(double from, double to) const
{
    AVStream *stream = m_context->streams[m_stream];
    const AVIndexEntry *entry = avformat_index_get_entry_from_timestamp(stream, tickAt(to), AVSEEK_FLAG_BACKWARD);
    return entry && entry->timestamp > tickAt(from);
}

void ClipDecoder::seek(double seconds)
{
    if (!m_fault && m_lastStart && seconds >= *m_lastStart - timeTolerance && (!m_drained || m_ahead)
        && (seconds - *m_lastStart < readOnSeconds || !keyframeBetween(*m_lastStart, seconds)))
        return;
    seekBefore(seconds);
}

void ClipDecoder::seekBefore(double seconds)
{
    forgetRefusal();
    const std::int64_t tick = tickAt(seconds);
    if (m_keylessIndex) {
        seekToFirstPicture(seconds);
        return;
    }
    // From the very start: a file without an index seeks by time stamps that its first
    // packets (stamped by decoding time) may lie on either side of.
    const bool byBytes = seconds <= 0 && !(m_context->iformat->flags & AVFMT_NO_BYTE_SEEK);
    if (byBytes ? av_seek_frame(m_context, m_stream, 0, AVSEEK_FLAG_BYTE) < 0
                : av_seek_frame(m_context, m_stream, tick, AVSEEK_FLAG_BACKWARD) < 0) {
        const std::int64_t start = startMicros(m_context);
        avformat_seek_file(m_context, -1, std::numeric_limits<std::int64_t>::min(), start, start, 0);
    }
    resetAfterSeek(seconds);
    m_afterSeek = true;
}

// With no keyframe in the index the demuxer lands anywhere but on one: read the whole
// clip from its first picture, decoding all as ffmpeg does.
void ClipDecoder::seekToFirstPicture(double seconds)
{
    forgetRefusal();
    AVStream *stream = m_context->streams[m_stream];
    const std::int64_t first = avformat_index_get_entry(stream, 0)->timestamp;
    if (av_seek_frame(m_context, m_stream, first, AVSEEK_FLAG_ANY | AVSEEK_FLAG_BACKWARD) < 0)
        avformat_seek_file(m_context, m_stream, std::numeric_limits<std::int64_t>::min(), first, first,
                           AVSEEK_FLAG_ANY);
    resetAfterSeek(seconds);
    m_afterSeek = false;
}

void ClipDecoder::resetAfterSeek(double seconds)
{
    avcodec_flush_buffers(m_codec.get());
    m_ahead.reset();
    m_lastStart.reset();
    m_recent.clear();
    m_replay = 0;
    m_drained = false;
    m_flushing = false;
    m_keyframeStart.reset();
    m_skippedBeforeKey = 0;
    m_seekFloor = seconds;
    m_readTo = seconds;
    m_fault.reset();
    m_faultDrained = false;
}

// libav's reader keeps a refused read as its end until told otherwise: a seek
// that reads forward would stop there.
void ClipDecoder::forgetRefusal()
{
    if (!m_fault || !m_context->pb)
        return;
    m_context->pb->eof_reached = 0;
    m_context->pb->error = 0;
}

bool ClipDecoder::resumeAfter(double seconds)
{
    forgetRefusal();
    // Forward: the first keyframe past the time. A stream that flags none is read
    // from any picture, and the decoder conceals what it lacks.
    const int flags = m_keylessIndex ? AVSEEK_FLAG_ANY : 0;
    const bool found = av_seek_frame(m_context, m_stream, tickAt(seconds) + 1, flags) >= 0;
    resetAfterSeek(seconds);
    m_afterSeek = !m_keylessIndex;
    if (!found)
        m_drained = true;
    return found;
}

std::optional<DecodedPicture> ClipDecoder::decodeOne(const std::atomic<bool> *cancel)
{
    FramePtr frame(av_frame_alloc());
    std::optional<double> lastStart;
    m_file->setCancel(cancel);
    while (!m_drained && !(m_fault && m_faultDrained)) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            return std::nullopt;
        const int received = avcodec_receive_frame(m_codec.get(), frame.get());
        if (received == 0) {
            const std::int64_t pts = frame->best_effort_timestamp;
            const double start = pts != AV_NOPTS_VALUE ? secondsOf(pts)
                                                       : (lastStart ? *lastStart + m_nominalFrame : m_seekFloor);
            // Pictures decoded before the seek's keyframe, or shown before it (the
            // leading pictures of an open GOP), lack their references.
            const bool broken = m_afterSeek && m_keyframeStart && start < *m_keyframeStart - timeTolerance;
            if (broken) {
                av_frame_unref(frame.get());
                continue;
            }
            const double duration = frame->pkt_duration > 0
                ? frame->pkt_duration * av_q2d(m_context->streams[m_stream]->time_base)
                : m_nominalFrame;
            DecodedPicture picture{start, start + duration, std::move(frame)};
            return picture;
        }
        if (received == AVERROR_EOF || (received == AVERROR(EAGAIN) && m_flushing)) {
            if (m_fault) {
                m_faultDrained = true; // what was read before the refused stretch is out
                break;
            }
            m_drained = true;
            break;
        }
        if (received != AVERROR(EAGAIN))
            continue; // a damaged picture: read on
        const int read = av_read_frame(m_context, m_packet.get());
        if (const int failure = m_file->takeFailure()) {
            // Demuxers take a refused read for the end, or hand on a packet cut short by it.
            av_packet_unref(m_packet.get());
            m_fault = ReadFault{libavReason(AVERROR(failure)), m_readTo};
            // The pictures decoded from what came before it still show.
            m_flushing = true;
            avcodec_send_packet(m_codec.get(), nullptr);
            continue;
        }
        if (read < 0) {
            m_flushing = true;
            avcodec_send_packet(m_codec.get(), nullptr);
            continue;
        }
        if (m_packet->stream_index == m_stream) {
            if (const std::int64_t at = m_packet->pts != AV_NOPTS_VALUE ? m_packet->pts : m_packet->dts;
                at != AV_NOPTS_VALUE)
                m_readTo = std::max(m_readTo, secondsOf(at));
            if (m_afterSeek && !m_keyframeStart && (m_packet->flags & AV_PKT_FLAG_KEY)) {
                const std::int64_t at = m_packet->pts != AV_NOPTS_VALUE ? m_packet->pts : m_packet->dts;
                m_keyframeStart = at != AV_NOPTS_VALUE ? secondsOf(at) : -std::numeric_limits<double>::infinity();
            }
            // Before the seek's keyframe nothing decodes whole (a file without an index
            // lands on any packet): not decoded at all, unless no keyframe is flagged,
            // when all that follows is decoded and the decoder judges it.
            if (m_afterSeek && !m_keyframeStart && ++m_skippedBeforeKey > mostSkippedWaitingForKey)
                m_keyframeStart = -std::numeric_limits<double>::infinity();
            if (!m_afterSeek || m_keyframeStart)
                avcodec_send_packet(m_codec.get(), m_packet.get());
        }
        av_packet_unref(m_packet.get());
    }
    return std::nullopt;
}

std::optional<DecodedPicture> ClipDecoder::next(const std::atomic<bool> *cancel)
{
    if (m_replay < m_recent.size()) { // back on a kept picture: the ones after it again
        m_lastStart = m_recent[m_replay].start;
        return copyOf(m_recent[m_replay++]);
    }
    if (!m_ahead)
        m_ahead = decodeOne(cancel);
    if (!m_ahead)
        return std::nullopt;
    std::optional<DecodedPicture> following = decodeOne(cancel);
    // A time stamp going back (a damaged file) would make a picture end before it starts.
    while (following && following->start <= m_ahead->start + timeTolerance)
        following = decodeOne(cancel);
    if (cancel && cancel->load(std::memory_order_relaxed) && !following && !m_drained)
        return std::nullopt; // cancelled while looking ahead: its end is unknown
    DecodedPicture picture = std::move(*m_ahead);
    if (following)
        picture.end = following->start;
    m_ahead = std::move(following);
    m_lastStart = picture.start;
    m_recent.push_back(copyOf(picture));
    if (m_recent.size() > recentPictures)
        m_recent.pop_front();
    m_replay = m_recent.size();
    return picture;
}

DecodedPicture ClipDecoder::copyOf(const DecodedPicture &picture)
{
    FramePtr frame(av_frame_alloc());
    if (frame && picture.frame)
        av_frame_ref(frame.get(), picture.frame.get());
    return {picture.start, picture.end, std::move(frame)};
}

std::optional<DecodedPicture> ClipDecoder::pictureAt(double seconds, const std::atomic<bool> *cancel,
                                                     const std::function<void(const DecodedPicture &)> &passing)
{
    for (std::size_t i = 0; i < m_recent.size(); ++i) {
        const DecodedPicture &recent = m_recent[i];
        const bool past = i + 1 == m_recent.size() && m_drained && !m_ahead; // the last picture's time goes on
        if (recent.start <= seconds + timeTolerance && (seconds + timeTolerance < recent.end || past)) {
            m_replay = i + 1;
            m_lastStart = recent.start;
            return copyOf(recent);
        }
    }
    seek(seconds);
    // Where the first picture read comes after the time, the seek landed too late (a
    // keyframe stamped before the time in the index yet shown after it: a B-frame
    // delay, an edit list's hidden stretch): read from further back.
    double back = 1.0;
    bool fromStart = false;
    std::optional<DecodedPicture> candidate;
    while (true) {
        const bool fresh = !m_lastStart;
        std::optional<DecodedPicture> picture = next(cancel);
        if (!picture) {
            if ((cancel && cancel->load(std::memory_order_relaxed)) || m_fault)
                return std::nullopt;
            if (candidate || !fresh || fromStart)
                return candidate;
            fromStart = true; // nothing from this seek at all: try from the start
            seekBefore(0);
            continue;
        }
        if (picture->start <= seconds + timeTolerance) {
            if (picture->end > seconds + timeTolerance)
                return picture;
            if (passing)
                passing(*picture);
            candidate = std::move(picture);
            continue;
        }
        if (candidate)
            return candidate;
        if (!fresh || fromStart)
            return picture; // the time lies before the clip's first picture
        const double from = seconds - back;
        back *= 2;
        if (from <= 0) {
            fromStart = true;
            seekBefore(0);
        } else {
            seekBefore(from);
        }
    }
}

} // namespace routereel
