#include "previewsound.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QIODevice>
#include <QMediaDevices>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>

namespace routereel {

namespace {

constexpr double queueSeconds = 0.25; // decoded ahead: a seek or a stop waits on nothing longer
constexpr double sinkSeconds = 0.1;   // the device's own buffer, heard after what was played
constexpr qint64 chunkFrames = 1024;
// How far the smoothed time may run ahead of what the device says it played:
// when the sound runs out, the time stops there.
constexpr double mostAheadSeconds = 0.05;
constexpr double resyncSeconds = 0.1;

} // namespace

struct PreviewSound::Shared {
    std::mutex mutex;
    std::condition_variable wake;
    bool quit = false;
    bool playing = false;
    quint64 generation = 0; // each start and stop: a decoded chunk of an older one is dropped
    double seekTo = 0;
    std::optional<std::vector<SoundPiece>> pieces;

    int channels = 2;
    std::vector<float> ring; // frames * channels
    std::size_t head = 0;    // in floats
    std::size_t size = 0;
    bool ended = false;      // the reader reached the timeline's end
    qint64 handed = 0;       // frames the device has taken since the start

    std::size_t freeFrames() const { return (ring.size() - size) / std::size_t(channels); }
    void clear()
    {
        head = size = 0;
        ended = false;
        handed = 0;
    }
};

// What the device pulls: the decoded frames, in the device's sample format.
class PreviewSound::Queue : public QIODevice {
public:
    Queue(std::shared_ptr<Shared> shared, QAudioFormat::SampleFormat format)
        : m_shared(std::move(shared)), m_format(format)
    {
    }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override
    {
        std::lock_guard lock(m_shared->mutex);
        return qint64(m_shared->size) * bytesPerSample() + QIODevice::bytesAvailable();
    }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        std::lock_guard lock(m_shared->mutex);
        Shared &s = *m_shared;
        const std::size_t frameBytes = std::size_t(bytesPerSample() * s.channels);
        const std::size_t frames = std::min(std::size_t(maxSize) / frameBytes, s.size / std::size_t(s.channels));
        const std::size_t count = frames * std::size_t(s.channels);
        for (std::size_t i = 0; i < count; ++i) {
            const float v = s.ring[(s.head + i) % s.ring.size()];
            if (m_format == QAudioFormat::Float) {
                std::memcpy(data + i * sizeof(float), &v, sizeof(float));
            } else {
                const auto n = qint16(std::clamp(v, -1.0f, 1.0f) * 32767.0f);
                std::memcpy(data + i * sizeof(qint16), &n, sizeof(qint16));
            }
        }
        s.head = (s.head + count) % std::max<std::size_t>(s.ring.size(), 1);
        s.size -= count;
        s.handed += qint64(frames);
        if (frames > 0)
            s.wake.notify_all();
        return qint64(frames * frameBytes);
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    qint64 bytesPerSample() const { return m_format == QAudioFormat::Float ? 4 : 2; }

    std::shared_ptr<Shared> m_shared;
    QAudioFormat::SampleFormat m_format;
};

PreviewSound::PreviewSound(QObject *parent)
    : QObject(parent), m_shared(std::make_shared<Shared>())
{
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull())
        return;
    m_format.setSampleRate(48000);
    m_format.setChannelCount(2);
    m_format.setSampleFormat(QAudioFormat::Float);
    if (!device.isFormatSupported(m_format)) {
        const QAudioFormat preferred = device.preferredFormat();
        m_format.setSampleRate(preferred.sampleRate() > 0 ? preferred.sampleRate() : 48000);
        m_format.setChannelCount(std::clamp(preferred.channelCount(), 1, 2));
        if (!device.isFormatSupported(m_format))
            m_format.setSampleFormat(QAudioFormat::Int16);
        if (!device.isFormatSupported(m_format))
            return;
    }
    m_shared->channels = m_format.channelCount();
    m_shared->ring.resize(std::size_t(queueSeconds * m_format.sampleRate()) * std::size_t(m_format.channelCount()));
    m_queue = std::make_unique<Queue>(m_shared, m_format.sampleFormat());
    m_queue->open(QIODevice::ReadOnly);
    m_sink = new QAudioSink(device, m_format, this);
    m_sink->setBufferSize(m_format.bytesForDuration(qint64(sinkSeconds * 1e6)));
    m_thread = std::thread([this] { decode(); });
}

PreviewSound::~PreviewSound()
{
    if (m_sink)
        m_sink->stop();
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->quit = true;
    }
    m_shared->wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void PreviewSound::setPieces(std::vector<SoundPiece> pieces)
{
    if (!m_sink)
        return;
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->pieces = std::move(pieces);
    }
    m_shared->wake.notify_all();
}

void PreviewSound::start(double timelineSeconds)
{
    if (!m_sink)
        return;
    m_sink->stop();
    {
        std::lock_guard lock(m_shared->mutex);
        ++m_shared->generation;
        m_shared->seekTo = timelineSeconds;
        m_shared->playing = true;
        m_shared->clear();
    }
    m_shared->wake.notify_all();
    m_playing = true;
    m_startTime = timelineSeconds;
    m_lastTime.reset();
    m_clock.start();
    m_sink->start(m_queue.get());
}

void PreviewSound::stop()
{
    m_playing = false;
    m_lastTime.reset();
    if (!m_sink)
        return;
    {
        std::lock_guard lock(m_shared->mutex);
        ++m_shared->generation;
        m_shared->playing = false;
        m_shared->clear();
    }
    m_sink->stop();
}

std::optional<double> PreviewSound::playedTime() const
{
    if (!m_sink || !m_playing)
        return std::nullopt;
    qint64 handed = 0;
    bool ranOut = false;
    {
        std::lock_guard lock(m_shared->mutex);
        handed = m_shared->handed;
        ranOut = m_shared->size == 0;
    }
    const int frameBytes = m_format.bytesPerFrame();
    const qint64 queued = std::max<qint64>(m_sink->bufferSize() - m_sink->bytesFree(), 0) / frameBytes;
    qint64 played = handed - queued;
    // The device's own count of what it played also knows the latency past its buffer.
    if (const qint64 processed = m_sink->processedUSecs(); processed > 0)
        played = std::min(played, qint64(double(processed) * m_format.sampleRate() / 1e6));
    if (played <= 0)
        return std::nullopt;
    const double heard = m_startTime + double(played) / m_format.sampleRate();
    if (ranOut && queued == 0 && played >= handed)
        return std::nullopt;
    // The device's counts move in steps of its periods: run on at real speed between
    // them, never more than a little ahead, and never back.
    const qint64 now = m_clock.nsecsElapsed();
    double time = heard;
    if (m_lastTime) {
        const double predicted = *m_lastTime + double(now - m_lastAt) / 1e9;
        if (std::abs(predicted - heard) < resyncSeconds)
            time = std::min(predicted + 0.1 * (heard - predicted), heard + mostAheadSeconds);
        time = std::max(time, *m_lastTime);
    }
    m_lastTime = time;
    m_lastAt = now;
    return time;
}

void PreviewSound::decode()
{
    Shared &s = *m_shared;
    SoundReader reader(m_format.sampleRate(), m_format.channelCount());
    std::vector<float> chunk(std::size_t(chunkFrames) * std::size_t(s.channels));
    quint64 seen = 0;
    std::unique_lock lock(s.mutex);
    for (;;) {
        s.wake.wait(lock, [&] {
            return s.quit || s.pieces || (s.playing && (s.generation != seen || (!s.ended && s.freeFrames() >= std::size_t(chunkFrames))));
        });
        if (s.quit)
            return;
        std::optional<std::vector<SoundPiece>> pieces = std::exchange(s.pieces, std::nullopt);
        const bool seek = s.generation != seen;
        seen = s.generation;
        const double seekTo = s.seekTo;
        // Only this thread fills the queue: the room seen here can only grow.
        const bool fill = s.playing && !s.ended && s.freeFrames() >= std::size_t(chunkFrames);
        lock.unlock();
        if (pieces)
            reader.setPieces(std::move(*pieces));
        if (seek)
            reader.seek(seekTo);
        qint64 got = 0;
        if (fill)
            got = reader.read(chunk.data(), chunkFrames);
        for (const VideoReadError &error : reader.takeErrors()) {
            QMetaObject::invokeMethod(this, [this, message = error.message()] { emit readFailed(message); },
                                      Qt::QueuedConnection);
        }
        lock.lock();
        if (!fill || s.generation != seen)
            continue;
        const std::size_t count = std::size_t(got) * std::size_t(s.channels);
        for (std::size_t i = 0; i < count; ++i)
            s.ring[(s.head + s.size + i) % s.ring.size()] = chunk[i];
        s.size += count;
        s.ended = got < chunkFrames;
    }
}

} // namespace routereel
