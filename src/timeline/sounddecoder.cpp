#include "sounddecoder.h"

#include "soundcheck.h"

#include <algorithm>

namespace routereel {

namespace {

// Decoded ahead, beside the device's own buffer: a busy machine may hold the
// decoding thread that long without a dropout.
constexpr double queueSeconds = 0.5;
constexpr qint64 chunkFrames = 1024;

} // namespace

SoundDecoder::SoundDecoder(int sampleRate, int channels, std::function<void(const QString &)> failed)
    : m_rate(sampleRate), m_channels(channels), m_failed(std::move(failed))
{
    m_ring.resize(std::size_t(queueSeconds * m_rate) * std::size_t(m_channels));
    m_thread = std::thread([this] { run(); });
}

SoundDecoder::~SoundDecoder()
{
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void SoundDecoder::setPieces(std::vector<SoundPiece> pieces)
{
    {
        std::lock_guard lock(m_mutex);
        m_pieces = std::move(pieces);
    }
    m_wake.notify_all();
}

void SoundDecoder::restart(double timelineSeconds, bool decode)
{
    {
        std::lock_guard lock(m_mutex);
        ++m_generation;
        m_seekTo = timelineSeconds;
        m_decoding = decode;
        clear();
    }
    m_wake.notify_all();
}

void SoundDecoder::halt()
{
    std::lock_guard lock(m_mutex);
    ++m_generation;
    m_decoding = false;
    clear();
}

void SoundDecoder::clear()
{
    m_head = m_size = 0;
    m_ended = false;
    m_handed = 0;
}

bool SoundDecoder::ranOut(double heardFrames) const
{
    std::lock_guard lock(m_mutex);
    return m_ended && m_size == 0 && heardFrames >= double(m_handed);
}

qint64 SoundDecoder::pull(float *out, qint64 frames)
{
    std::lock_guard lock(m_mutex);
    const std::size_t count = std::min(std::size_t(frames), m_size / std::size_t(m_channels)) * std::size_t(m_channels);
    const std::size_t first = std::min(count, m_ring.size() - m_head);
    std::copy_n(m_ring.begin() + std::ptrdiff_t(m_head), first, out);
    std::copy_n(m_ring.begin(), count - first, out + first);
    m_head = (m_head + count) % std::max<std::size_t>(m_ring.size(), 1);
    m_size -= count;
    m_handed += qint64(count) / m_channels;
    if (count > 0)
        m_wake.notify_all();
    return qint64(count) / m_channels;
}

void SoundDecoder::run()
{
    SoundReader reader(m_rate, m_channels);
    SoundCheck check;
    std::vector<float> chunk(std::size_t(chunkFrames) * std::size_t(m_channels));
    quint64 seen = 0;
    const auto tell = [&](const QStringList &messages) {
        for (const QString &message : messages)
            m_failed(message);
    };
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [&] {
            return m_quit || m_pieces
                || (m_decoding && (m_generation != seen || (!m_ended && freeFrames() >= std::size_t(chunkFrames))));
        });
        if (m_quit)
            return;
        std::optional<std::vector<SoundPiece>> pieces = std::exchange(m_pieces, std::nullopt);
        const bool seek = m_generation != seen;
        seen = m_generation;
        const double seekTo = m_seekTo;
        // Only this thread fills the queue: the room seen here can only grow.
        const bool fill = m_decoding && !m_ended && freeFrames() >= std::size_t(chunkFrames);
        lock.unlock();
        if (pieces) {
            tell(check.check(*pieces));
            reader.setPieces(std::move(*pieces));
        }
        if (seek)
            reader.seek(seekTo);
        qint64 got = 0;
        if (fill)
            got = reader.read(chunk.data(), chunkFrames);
        tell(check.met(reader.takeErrors()));
        lock.lock();
        if (!fill || m_generation != seen)
            continue;
        const std::size_t count = std::size_t(got) * std::size_t(m_channels);
        for (std::size_t i = 0; i < count; ++i)
            m_ring[(m_head + m_size + i) % m_ring.size()] = chunk[i];
        m_size += count;
        m_ended = got < chunkFrames;
    }
}

} // namespace routereel
