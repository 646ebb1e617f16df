#pragma once

#include "media/soundreader.h"

#include <QElapsedTimer>
#include <QObject>

#include <memory>
#include <optional>
#include <vector>

namespace routereel {

class SoundDecoder;
class SoundDevice;

// The preview's sound bound to the sound device: what the decoder gives is played
// from each start, and the timeline time being heard is told, which the player's
// clock follows. Without a device nothing is decoded and no time is told, so the
// player runs on its wall clock; a device that comes (back) while playing is
// played to from where the sound would be by then.
class PreviewSound : public QObject {
    Q_OBJECT
public:
    explicit PreviewSound(QObject *parent = nullptr);
    ~PreviewSound() override;

    void setPieces(std::vector<SoundPiece> pieces);
    // Output from that timeline time on; while playing, what was queued is dropped,
    // and what the server had already taken is heard once: the sound goes on after
    // it when that lies further on.
    void start(double timelineSeconds);
    // Silence at once, nothing left queued. Returns whether stoppedAt() will tell
    // where the sound ended.
    bool stop();
    // The timeline's end: what the decoder still gives and the server holds plays out.
    void finish();
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
    // While playing, the device can play again after a stand or a server that went:
    // a clock that follows the sound moves it to its own time (start()) and waits
    // for it. Unmoved, the sound goes on from where it would be by now.
    void resumed();
    // After a stop(), the timeline time the sound ended at: a server plays on what
    // its graph already held when stopped. NaN when that is not known.
    void stoppedAt(double timelineSeconds);

private:
    void deviceChanged(bool available);
    void deviceRenewed();
    void resume();
    void startNow(double timelineSeconds);

    std::unique_ptr<SoundDecoder> m_decoder;
    SoundDevice *m_device = nullptr;

    bool m_playing = false;
    quint64 m_stop = 0;
    quint64 m_starts = 0;
    double m_startTime = 0;
    // A start while playing waits for the stop before it to tell where the sound ended.
    std::optional<double> m_startAfterStop;
    quint64 m_awaitedStop = 0;
    QElapsedTimer m_sinceStart;
};

} // namespace routereel
