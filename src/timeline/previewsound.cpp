#include "previewsound.h"

#include "sounddevice.h"

#include "media/sounddecodecheck.h"

#include <QFileInfo>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <set>

namespace routereel {

namespace {

constexpr int rate = 48000; // the server converts to its sink's
constexpr int channels = 2;
// Decoded ahead, beside the device's own buffer: a busy machine may hold this
// thread that long without a dropout.
constexpr double queueSeconds = 0.5;
constexpr qint64 chunkFrames = 1024;

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

PreviewSound::PreviewSound(QObject *parent)
    : QObject(parent), m_shared(std::make_shared<Shared>())
{
    m_shared->channels = channels;
    m_shared->ring.resize(std::size_t(queueSeconds * rate) * std::size_t(channels));
    // The device's thread pulls; the shared part outlives neither.
    m_device = new SoundDevice(rate, channels, [this](float *out, qint64 frames) { return pull(out, frames); }, this);
    connect(m_device, &SoundDevice::availableChanged, this, &PreviewSound::deviceChanged);
    m_thread = std::thread([this] { decode(); });
}

PreviewSound::~PreviewSound()
{
    delete m_device; // no pull after this
    m_device = nullptr;
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
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->pieces = std::move(pieces);
    }
    m_shared->wake.notify_all();
}

void PreviewSound::start(double timelineSeconds)
{
    m_device->stop();
    m_playing = true;
    m_startTime = timelineSeconds;
    m_sinceStart.start();
    {
        std::lock_guard lock(m_shared->mutex);
        ++m_shared->generation;
        m_shared->seekTo = timelineSeconds;
        m_shared->playing = m_device->isAvailable(); // nothing decoded for no one
        m_shared->clear();
    }
    m_shared->wake.notify_all();
    m_device->start();
}

void PreviewSound::stop()
{
    m_playing = false;
    m_device->stop();
    std::lock_guard lock(m_shared->mutex);
    ++m_shared->generation;
    m_shared->playing = false;
    m_shared->clear();
}

bool PreviewSound::hasOutput() const
{
    return m_device->isAvailable();
}

double PreviewSound::startSeconds() const
{
    // Beside the device's latency: the first chunk's decode and a server's period.
    constexpr double margin = 0.25;
    return m_device->isAvailable() ? m_device->latencySeconds() + margin : 0;
}

qint64 PreviewSound::framesPlayed() const
{
    return m_device->framesTaken();
}

void PreviewSound::deviceChanged(bool available)
{
    // Back while playing: the clock has gone on meanwhile, and so does the sound.
    if (available && m_playing)
        start(m_startTime + double(m_sinceStart.nsecsElapsed()) / 1e9);
}

std::optional<double> PreviewSound::playedTime() const
{
    if (!m_playing)
        return std::nullopt;
    const std::optional<double> heard = m_device->heardSeconds();
    if (!heard)
        return std::nullopt;
    std::lock_guard lock(m_shared->mutex);
    // All that was handed over has been heard: the sound ran out.
    if (m_shared->ended && m_shared->size == 0 && *heard * rate >= double(m_shared->handed))
        return std::nullopt;
    return m_startTime + *heard;
}

qint64 PreviewSound::pull(float *out, qint64 frames)
{
    std::lock_guard lock(m_shared->mutex);
    Shared &s = *m_shared;
    const std::size_t count = std::min(std::size_t(frames), s.size / std::size_t(s.channels)) * std::size_t(s.channels);
    const std::size_t first = std::min(count, s.ring.size() - s.head);
    std::copy_n(s.ring.begin() + std::ptrdiff_t(s.head), first, out);
    std::copy_n(s.ring.begin(), count - first, out + first);
    s.head = (s.head + count) % std::max<std::size_t>(s.ring.size(), 1);
    s.size -= count;
    s.handed += qint64(count) / s.channels;
    if (count > 0)
        s.wake.notify_all();
    return qint64(count) / s.channels;
}

void PreviewSound::decode()
{
    Shared &s = *m_shared;
    SoundReader reader(rate, channels);
    std::vector<float> chunk(std::size_t(chunkFrames) * std::size_t(s.channels));
    quint64 seen = 0;
    std::set<QString> checked;  // paths
    std::set<QString> reported; // file names, each told once
    const auto tell = [&](const VideoReadError &error) {
        if (!reported.insert(error.fileName()).second)
            return;
        QMetaObject::invokeMethod(this, [this, message = error.message()] { emit readFailed(message); },
                                  Qt::QueuedConnection);
    };
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
        if (pieces) {
            // Told at once, device or not: waiting for the piece to be heard would
            // leave a silent clip unexplained on a machine without sound.
            // A clip that leaves the timeline and comes back is told again.
            std::set<QString> paths, names;
            for (const SoundPiece &piece : *pieces) {
                paths.insert(piece.path);
                names.insert(QFileInfo(piece.path).fileName());
            }
            std::erase_if(checked, [&](const QString &path) { return !paths.count(path); });
            std::erase_if(reported, [&](const QString &name) { return !names.count(name); });
            for (const SoundPiece &piece : *pieces) {
                if (piece.path.isEmpty() || !checked.insert(piece.path).second)
                    continue;
                if (const auto failure = soundDecodeFailure(piece.path, false))
                    tell(VideoReadError(QFileInfo(piece.path).fileName(), *failure));
            }
            reader.setPieces(std::move(*pieces));
        }
        if (seek)
            reader.seek(seekTo);
        qint64 got = 0;
        if (fill)
            got = reader.read(chunk.data(), chunkFrames);
        for (const VideoReadError &error : reader.takeErrors())
            tell(error);
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
