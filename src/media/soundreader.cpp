#include "soundreader.h"

#include "libavinput.h"
#include "soundlayout.h"

#include <QCoreApplication>
#include <QFileInfo>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace routereel {

namespace {

struct ResamplerCloser {
    void operator()(SwrContext *s) const { swr_free(&s); }
};

// aresample's async=1, which the export uses: within a stream, a jump in the
// timestamps smaller than this plays on without silence or a cut.
constexpr double hardCompensationSeconds = 0.1;

// Read from this far before a seek's target: the decoder's first frames after a
// seek lack the overlap of the frame before (AAC, Opus).
constexpr double seekPrerollSeconds = 0.2;

// A read the disk refused is tried again this much further on, silence between:
// a failing sector is passed over, a share that drops out is read again once back.
constexpr double refusedSilenceSeconds = 0.25;

// A decoded frame is resampled in slices of at most this much output: a rate stated
// far below the real one (LPCM stating 1 Hz) would make one frame hours of sound.
constexpr double sliceSeconds = 0.25;

// The first sound stream, as the probe, the composition and the export take it
// (not av_find_best_stream's pick, which prefers a track flagged default).
int firstSoundStream(const AVFormatContext *context)
{
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        if (context->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            return int(i);
    }
    return -1;
}

} // namespace

// The sound of one clip, decoded and resampled, each stretch with its source time.
class ClipSound {
public:
    // Throws VideoReadError when the file cannot be opened or its sound not decoded.
    ClipSound(const QString &path, int rate, int channels);
    ~ClipSound() { av_channel_layout_uninit(&m_inLayout); }

    const QString &path() const { return m_path; }
    bool hasSound() const { return m_stream >= 0; }
    void seek(double sourceSeconds);
    // The next stretch of sound, interleaved; false at its end. `sourceTime` is NaN
    // when the file gives the stretch no time: it follows on from the one before.
    bool next(std::vector<float> &samples, double &sourceTime);
    // The last next() ended on a read the disk refused, not at the sound's end.
    bool refused() const { return m_refused; }

private:
    bool convert(const AVFrame *frame, int from, int count, std::vector<float> &samples, double &sourceTime);
    void prepareResampler(const AVFrame *frame);
    // Source seconds of sample `sample` of a frame that has a time.
    double sourceOf(const AVFrame *frame, int sample) const;

    QString m_path;
    int m_rate;
    int m_channels;
    FormatContextPtr m_context;
    int m_stream = -1;
    AVRational m_timeBase{1, 1};
    std::int64_t m_startTicks = 0; // the container's start in the stream's ticks
    double m_startResidue = 0;     // what that rounding left, in seconds
    CodecContextPtr m_codec;
    std::unique_ptr<SwrContext, ResamplerCloser> m_resampler;
    int m_inFormat = -1;
    int m_inRate = 0;
    AVChannelLayout m_inLayout{};
    FramePtr m_frame{av_frame_alloc()};
    PacketPtr m_packet{av_packet_alloc()};
    double m_preroll = seekPrerollSeconds;
    int m_frameDone = 0;              // samples of m_frame already resampled or passed over
    double m_skipUntil = -INFINITY;   // after a seek: source seconds not needed before this
    bool m_draining = false;
    bool m_ended = false;
    bool m_refused = false;
};

ClipSound::ClipSound(const QString &path, int rate, int channels)
    : m_path(path), m_rate(rate), m_channels(channels), m_context(openMediaFile(path))
{
    const QString name = QFileInfo(path).fileName();
    checkStartTime(m_context.get(), name);
    m_stream = firstSoundStream(m_context.get());
    if (m_stream < 0)
        return;
    const AVCodec *decoder = avcodec_find_decoder(m_context->streams[m_stream]->codecpar->codec_id);
    const auto undecodable = [&] {
        return VideoReadError(name, QCoreApplication::translate("VideoReadError", "its sound cannot be decoded"));
    };
    if (!decoder)
        throw undecodable();
    for (unsigned i = 0; i < m_context->nb_streams; ++i) {
        if (int(i) != m_stream)
            m_context->streams[i]->discard = AVDISCARD_ALL;
    }
    const AVStream *stream = m_context->streams[m_stream];
    m_timeBase = stream->time_base;
    m_codec.reset(avcodec_alloc_context3(decoder));
    if (!m_codec || avcodec_parameters_to_context(m_codec.get(), stream->codecpar) < 0)
        throw undecodable();
    // The decoder moves a frame's time by the priming samples it skips only when it
    // knows the packets' time base.
    m_codec->pkt_timebase = stream->time_base;
    if (avcodec_open2(m_codec.get(), decoder, nullptr) < 0)
        throw undecodable();
    if (stream->codecpar->seek_preroll > 0 && stream->codecpar->sample_rate > 0)
        m_preroll += double(stream->codecpar->seek_preroll) / stream->codecpar->sample_rate;
    m_startTicks = av_rescale_q(startMicros(m_context.get()), AV_TIME_BASE_Q, m_timeBase);
    m_startResidue = double(startMicros(m_context.get())) / AV_TIME_BASE - double(m_startTicks) * av_q2d(m_timeBase);
}

void ClipSound::seek(double sourceSeconds)
{
    if (!hasSound())
        return;
    const double from = sourceSeconds - m_preroll;
    const std::int64_t ticks = m_startTicks + saturatedInt64(std::floor((from + m_startResidue) / av_q2d(m_timeBase)));
    if (avformat_seek_file(m_context.get(), m_stream, INT64_MIN, ticks, ticks, 0) < 0
        && av_seek_frame(m_context.get(), m_stream, ticks, AVSEEK_FLAG_BACKWARD) < 0)
        av_seek_frame(m_context.get(), -1, 0, AVSEEK_FLAG_BYTE);
    avcodec_flush_buffers(m_codec.get());
    m_resampler.reset();
    av_frame_unref(m_frame.get());
    m_frameDone = 0;
    m_skipUntil = from;
    m_draining = false;
    m_ended = false;
    m_refused = false;
}

bool ClipSound::next(std::vector<float> &samples, double &sourceTime)
{
    while (hasSound() && !m_ended) {
        if (m_frameDone < m_frame->nb_samples && m_frame->sample_rate > 0) {
            const AVFrame *frame = m_frame.get();
            const int from = m_frameDone;
            const int count = std::min(frame->nb_samples - from,
                                       std::max(1, int(sliceSeconds * std::min(frame->sample_rate, m_rate))));
            m_frameDone += count;
            // Before the seek's preroll and nothing resampled yet: passed over unconverted.
            if (!m_resampler && frame->best_effort_timestamp != AV_NOPTS_VALUE
                && sourceOf(frame, from + count) < m_skipUntil)
                continue;
            if (convert(frame, from, count, samples, sourceTime))
                return true;
            continue;
        }
        av_frame_unref(m_frame.get());
        m_frameDone = 0;
        const int received = avcodec_receive_frame(m_codec.get(), m_frame.get());
        if (received == 0) {
            continue;
        } else if (received == AVERROR(EAGAIN)) {
            const int read = av_read_frame(m_context.get(), m_packet.get());
            if (AVIOContext *io = m_context->pb; io && io->error < 0 && io->error != AVERROR_EOF) {
                // A read the disk refused: demuxers take it for the end, it is not.
                io->error = 0;
                io->eof_reached = 0; // else a seek that reads forward stops there
                av_packet_unref(m_packet.get());
                m_refused = true;
                return false;
            }
            if (read < 0) {
                // The end, or a file cut short: ffmpeg plays what came before too.
                avcodec_send_packet(m_codec.get(), nullptr);
                m_draining = true;
                continue;
            }
            if (m_packet->stream_index == m_stream)
                avcodec_send_packet(m_codec.get(), m_packet.get()); // a damaged packet is skipped, as ffmpeg does
            av_packet_unref(m_packet.get());
        } else if (received == AVERROR_EOF || m_draining) {
            m_ended = true;
            if (!m_resampler)
                return false;
            // What the resampler still holds.
            samples.resize(std::size_t(swr_get_out_samples(m_resampler.get(), 0) + 64) * m_channels);
            auto *out = reinterpret_cast<std::uint8_t *>(samples.data());
            const int got = swr_convert(m_resampler.get(), &out, int(samples.size() / m_channels), nullptr, 0);
            samples.resize(std::size_t(std::max(got, 0)) * m_channels);
            sourceTime = NAN;
            return got > 0;
        }
        // Other decoding errors: the frame is lost and decoding goes on.
    }
    return false;
}

void ClipSound::prepareResampler(const AVFrame *frame)
{
    if (m_resampler && m_inFormat == frame->format && m_inRate == frame->sample_rate
        && av_channel_layout_compare(&frame->ch_layout, &m_inLayout) == 0)
        return;
    av_channel_layout_uninit(&m_inLayout);
    av_channel_layout_copy(&m_inLayout, &frame->ch_layout);
    m_inFormat = frame->format;
    m_inRate = frame->sample_rate;
    m_resampler.reset(makeSoundMixer(m_inLayout, m_inFormat, m_inRate, m_channels, AV_SAMPLE_FMT_FLT, m_rate));
    if (!m_resampler)
        throw VideoReadError(QFileInfo(m_path).fileName(),
                             QCoreApplication::translate("VideoReadError", "its sound cannot be decoded"));
}

double ClipSound::sourceOf(const AVFrame *frame, int sample) const
{
    return double(frame->best_effort_timestamp - m_startTicks) * av_q2d(m_timeBase) - m_startResidue
        + double(sample) / frame->sample_rate;
}

bool ClipSound::convert(const AVFrame *frame, int from, int count, std::vector<float> &samples, double &sourceTime)
{
    if (count <= 0 || frame->sample_rate <= 0)
        return false;
    prepareResampler(frame);
    sourceTime = NAN;
    if (frame->best_effort_timestamp != AV_NOPTS_VALUE) {
        // The first sample out is the one the resampler was given `delay` before this slice.
        const std::int64_t base = std::int64_t(m_inRate) * m_rate;
        const double delay = double(swr_get_delay(m_resampler.get(), base)) / double(base);
        sourceTime = sourceOf(frame, from) - delay;
    }
    // The slice's samples: from `from` on in each plane, or interleaved in the one.
    const int bytes = av_get_bytes_per_sample(AVSampleFormat(frame->format));
    const int channels = std::max(frame->ch_layout.nb_channels, 1);
    const bool planar = av_sample_fmt_is_planar(AVSampleFormat(frame->format));
    std::vector<const std::uint8_t *> in(planar ? std::size_t(channels) : 1);
    for (std::size_t c = 0; c < in.size(); ++c)
        in[c] = frame->extended_data[c] + std::size_t(from) * bytes * (planar ? 1 : channels);
    const int capacity = swr_get_out_samples(m_resampler.get(), count) + 64;
    samples.resize(std::size_t(capacity) * m_channels);
    auto *out = reinterpret_cast<std::uint8_t *>(samples.data());
    const int got = swr_convert(m_resampler.get(), &out, capacity, in.data(), count);
    samples.resize(std::size_t(std::max(got, 0)) * m_channels);
    return got > 0;
}

SoundReader::SoundReader(int sampleRate, int channels)
    : m_rate(std::max(sampleRate, 1)), m_channels(std::max(channels, 1))
{
}

SoundReader::~SoundReader() = default;

qint64 SoundReader::sampleAt(double seconds) const
{
    return saturatedInt64(std::llround(seconds * m_rate));
}

void SoundReader::setPieces(std::vector<SoundPiece> pieces)
{
    std::stable_sort(pieces.begin(), pieces.end(), [](const SoundPiece &a, const SoundPiece &b) { return a.start < b.start; });
    m_pieces.clear();
    m_end = 0;
    for (const SoundPiece &p : pieces) {
        Piece piece{sampleAt(p.start), sampleAt(p.end), p.path, p.sourceStart - p.start};
        // Pieces a hair apart meet; overlapping ones play the later from where the earlier ends.
        if (!m_pieces.empty())
            piece.first = std::max(piece.first, m_pieces.back().last);
        if (piece.last <= piece.first)
            continue;
        m_end = std::max(m_end, piece.last);
        m_pieces.push_back(std::move(piece));
    }
    m_failed.clear();
    m_entered = SIZE_MAX;
}

void SoundReader::seek(double timelineSeconds)
{
    m_position = std::max<qint64>(sampleAt(timelineSeconds), 0);
    m_entered = SIZE_MAX;
    m_refusedPath.clear();
    m_placeNext = true; // seek the clip rather than decode on to a far target
}

QList<VideoReadError> SoundReader::takeErrors()
{
    return std::exchange(m_errors, {});
}

void SoundReader::silence(float *out, qint64 frames) const
{
    std::fill(out, out + frames * m_channels, 0.0f);
}

qint64 SoundReader::read(float *out, qint64 frames)
{
    qint64 written = 0;
    while (written < frames && m_position < m_end) {
        const auto it = std::upper_bound(m_pieces.begin(), m_pieces.end(), m_position,
                                         [](qint64 at, const Piece &p) { return at < p.last; });
        float *to = out + written * m_channels;
        qint64 n = frames - written;
        if (it == m_pieces.end() || it->first > m_position) {
            // A gap between pieces.
            if (it != m_pieces.end())
                n = std::min(n, it->first - m_position);
            silence(to, n);
        } else {
            n = std::min(n, it->last - m_position);
            if (enter(std::size_t(it - m_pieces.begin())))
                fromClip(*it, to, n);
            else
                silence(to, n);
        }
        written += n;
        m_position += n;
    }
    return written;
}

bool SoundReader::enter(std::size_t index)
{
    const Piece &piece = m_pieces[index];
    if (piece.path.isEmpty() || m_failed.contains(piece.path)
        || (piece.path == m_refusedPath && m_position < m_refusedUntil))
        return false;
    if (m_entered == index)
        return m_clip && m_clip->hasSound();
    m_entered = index;
    // A piece that takes up where the one before left off in the same clip plays on
    // from what is already decoded: no seek at a cut between them.
    const bool sameClip = m_clip && m_clip->path() == piece.path;
    if (sameClip && std::abs(piece.shift - m_clipShift) * m_rate < 0.5 && m_nextAt <= m_position
        && m_position - m_nextAt < m_rate && !m_placeNext && !m_clipEnded)
        return m_clip->hasSound();
    if (!sameClip) {
        m_clip.reset();
        try {
            m_clip = std::make_unique<ClipSound>(piece.path, m_rate, m_channels);
        } catch (const VideoReadError &error) {
            if (error.refused()) {
                // The disk refused (a share away): silence, and another try a moment on.
                m_entered = SIZE_MAX;
                m_refusedPath = piece.path;
                m_refusedUntil = m_position + qint64(refusedSilenceSeconds * m_rate);
                return false;
            }
            m_failed.insert(piece.path);
            m_errors.append(error);
            return false;
        }
    }
    m_clipShift = piece.shift;
    m_seekDue = false;
    m_clip->seek(double(m_position) / m_rate + piece.shift);
    m_clipEnded = false;
    m_placeNext = true;
    m_pending.clear();
    m_pendingAt = m_nextAt = m_position;
    return m_clip->hasSound();
}

void SoundReader::fromClip(const Piece &piece, float *out, qint64 frames)
{
    qint64 at = m_position;
    const qint64 end = m_position + frames;
    std::vector<float> chunk;
    while (at < end) {
        const qint64 pendingEnd = m_pendingAt + qint64(m_pending.size()) / m_channels;
        if (at >= m_pendingAt && at < pendingEnd) {
            const qint64 n = std::min(end, pendingEnd) - at;
            std::memcpy(out + (at - m_position) * m_channels, m_pending.data() + (at - m_pendingAt) * m_channels,
                        std::size_t(n * m_channels) * sizeof(float));
            at += n;
        } else if (at < m_pendingAt || m_clipEnded) {
            // Before the sound starts, or after it ends.
            const qint64 n = (m_clipEnded && at >= m_pendingAt) ? end - at : std::min(end, m_pendingAt) - at;
            silence(out + (at - m_position) * m_channels, n);
            at += n;
        } else {
            if (std::exchange(m_seekDue, false)) {
                m_clip->seek(double(at) / m_rate + piece.shift);
                m_placeNext = true;
            }
            double sourceTime = NAN;
            bool more = false;
            try {
                more = m_clip->next(chunk, sourceTime);
            } catch (const VideoReadError &error) {
                m_failed.insert(piece.path);
                m_errors.append(error);
            }
            if (!more && m_clip && m_clip->refused()) {
                // Silence over what the disk refused; then the clip is read again from there.
                m_pending.clear();
                m_pendingAt = m_nextAt = at + qint64(refusedSilenceSeconds * m_rate);
                m_seekDue = true;
                continue;
            }
            if (!more) {
                m_clipEnded = true;
                continue;
            }
            qint64 place = m_nextAt;
            if (!std::isnan(sourceTime)) {
                const qint64 stated = sampleAt(sourceTime - piece.shift);
                if (m_placeNext || std::abs(stated - m_nextAt) > hardCompensationSeconds * m_rate)
                    place = stated;
            }
            m_placeNext = false;
            m_pending.swap(chunk);
            m_pendingAt = place;
            m_nextAt = place + qint64(m_pending.size()) / m_channels;
        }
    }
}

} // namespace routereel
