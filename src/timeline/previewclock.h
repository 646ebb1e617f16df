#pragma once

#include <QElapsedTimer>

#include <functional>
#include <limits>
#include <optional>

namespace routereel {

// The preview's timeline clock. Started with a sound device, it waits at its start
// until the device hears the sound's first sample (at most as long as the device
// says its output may take), then runs from the sound's time, so that picture and
// sound begin together whatever the output's latency; without a device it runs on
// the wall clock at once. Running, follow() leans it gently toward the sound being
// heard, slows to a fifth for a sound that fell behind (a drop-out, for up to 0.3 s)
// and runs up to twice as fast to one ahead, however far: what was heard is never
// played again. A sound far behind goes on from the clock's time instead, which
// waits for it again as at its start. It never steps back nor leaps ahead while
// running, and stands still while held.
class PreviewClock {
public:
    // The timeline time of the sound heard now; none without sound.
    using SoundTime = std::function<std::optional<double>()>;
    // Has the sound go on from that timeline time.
    using SoundMove = std::function<void(double)>;
    // The longest a start waits for the first sound to be heard, seconds; 0 without a device.
    using SoundWait = std::function<double()>;
    void setSound(SoundTime heard, SoundMove moveTo, SoundWait startWait = {});

    void start(double t);
    void stop(double t);
    bool isRunning() const { return m_running; }
    double now() const;
    // Called often while running (each picture tick): takes the sound heard now into account.
    void follow();
    // The sound was lost and plays again: it goes on from the clock's time, which
    // waits for it as at a start.
    void soundResumed();

private:
    // Runs from `t` at `rate` for `seconds` of the wall clock, then at 1.
    void anchor(double t, double rate, double seconds = std::numeric_limits<double>::infinity());
    bool isSettling() const;
    double mostPlayed() const;
    // Where the clock goes on from when the first sound is heard at `heard`.
    double firstStep(double heard) const;
    void waitForSound();
    void moveSoundHere(double t);
    void waitFrom(double t);

    SoundTime m_heard;
    SoundMove m_moveTo;
    SoundWait m_startWait;
    bool m_running = false;
    double m_waitSeconds = 0; // while above 0, the clock stands at m_anchor for the first sound
    bool m_hearing = false;   // the sound was heard at the last look
    QElapsedTimer m_sinceHeard; // from the first sound heard after a start: the device's times settle
    QElapsedTimer m_sinceStart;
    QElapsedTimer m_behindSince; // from the look that found the sound fallen behind
    double m_startTime = 0;
    double m_anchor = 0;
    double m_rate = 1;
    double m_leanSeconds = 0;
    QElapsedTimer m_wall;
};

} // namespace routereel
