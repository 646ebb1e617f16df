#pragma once

#include "media/soundreader.h"

#include <QElapsedTimer>
#include <QObject>

#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace routereel {

class SoundDevice;

// The preview's sound: the timeline's sound decoded on a thread of its own into a
// small buffer that the sound device pulls, and the timeline time being heard,
// which the player's clock follows. Without a device it decodes nothing and tells
// no time, so the player runs on its wall clock; a device that comes (back) while
// playing is played to from where the sound would be by then.
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
    bool hasOutput() const;
    // The longest a start may take to be heard on the device; 0 without one.
    double startSeconds() const;
    // The timeline time of the sound heard now; none while stopped, without an
    // output device, before the first sample has reached it, while the device takes
    // no samples and once the sound has run out (the timeline's end, the decoder
    // falling behind).
    std::optional<double> playedTime() const;
    // Frames the device has taken, over every start: a sign of life.
    qint64 framesPlayed() const;

signals:
    // A clip's sound cannot be read and plays as silence: the reason, in the
    // interface language.
    void readFailed(const QString &message);

private:
    struct Shared;
    void decode();
    qint64 pull(float *out, qint64 frames);
    void deviceChanged(bool available);

    std::shared_ptr<Shared> m_shared;
    SoundDevice *m_device = nullptr;
    std::thread m_thread;

    bool m_playing = false;
    double m_startTime = 0;
    QElapsedTimer m_sinceStart;
};

} // namespace routereel
