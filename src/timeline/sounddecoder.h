#pragma once

#include "media/soundreader.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace routereel {

// The timeline's sound decoded on a thread of its own into a small queue that the
// sound device pulls. Each clip's sound is checked on that thread too, and why one
// plays silent is told once.
class SoundDecoder {
public:
    // `failed` is called on the decoding thread with each message, in the interface language.
    SoundDecoder(int sampleRate, int channels, std::function<void(const QString &message)> failed);
    ~SoundDecoder(); // returns once the thread has stopped
    SoundDecoder(const SoundDecoder &) = delete;
    SoundDecoder &operator=(const SoundDecoder &) = delete;

    void setPieces(std::vector<SoundPiece> pieces);
    // Decodes from that timeline time on, what was queued dropped; nothing with `decode` false.
    void restart(double timelineSeconds, bool decode);
    // Decodes nothing more; nothing is left queued.
    void halt();
    // From the device's thread: up to `frames` interleaved frames; how many there were.
    qint64 pull(float *out, qint64 frames);
    // The sound since the restart has run out (the timeline's end, the decoder falling
    // behind) and all `heardFrames` that were taken have been heard.
    bool ranOut(double heardFrames) const;

private:
    void run();
    std::size_t freeFrames() const { return (m_ring.size() - m_size) / std::size_t(m_channels); }
    void clear();

    const int m_rate;
    const int m_channels;
    const std::function<void(const QString &)> m_failed;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_quit = false;
    bool m_decoding = false;
    quint64 m_generation = 0; // each restart and halt: a chunk decoded for an older one is dropped
    double m_seekTo = 0;
    std::optional<std::vector<SoundPiece>> m_pieces;
    std::vector<float> m_ring; // frames * channels
    std::size_t m_head = 0;    // in floats
    std::size_t m_size = 0;
    bool m_ended = false;      // the reader reached the timeline's end
    qint64 m_handed = 0;       // frames the device has taken since the restart

    std::thread m_thread;
};

} // namespace routereel
