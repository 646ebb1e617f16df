#pragma once

#include "media/soundreader.h"

#include <QAudioFormat>
#include <QElapsedTimer>
#include <QObject>

#include <memory>
#include <optional>
#include <thread>
#include <vector>

class QAudioSink;

namespace routereel {

// The preview's sound: the timeline's sound decoded on a thread of its own into a
// small buffer that the audio device pulls, and the timeline time being heard,
// which the player's clock follows. Without an audio device it does nothing and
// tells no time, so the player runs on its wall clock.
class PreviewSound : public QObject {
    Q_OBJECT
public:
    explicit PreviewSound(QObject *parent = nullptr);
    ~PreviewSound() override;

    void setPieces(std::vector<SoundPiece> pieces);
    // Output from that timeline time on; while playing, what was queued is dropped.
    void start(double timelineSeconds);
    // Silence at once, nothing left queued.
    void stop();
    bool hasOutput() const { return m_sink != nullptr; }
    // The timeline time of the sound heard now; none while stopped, without an
    // output device, before the first sample has reached it and once the sound
    // has run out (the timeline's end, the decoder falling behind). Never steps
    // back while playing.
    std::optional<double> playedTime() const;

signals:
    // A clip's sound cannot be read and plays as silence: the reason, in the
    // interface language.
    void readFailed(const QString &message);

private:
    struct Shared;
    class Queue;
    void decode();

    QAudioFormat m_format;
    std::shared_ptr<Shared> m_shared;
    std::unique_ptr<Queue> m_queue;
    QAudioSink *m_sink = nullptr;
    std::thread m_thread;

    bool m_playing = false;
    double m_startTime = 0;
    mutable QElapsedTimer m_clock;
    mutable std::optional<double> m_lastTime;
    mutable qint64 m_lastAt = 0; // m_clock's nanoseconds at m_lastTime
};

} // namespace routereel
