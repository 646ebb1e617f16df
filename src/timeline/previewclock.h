#pragma once

#include <QElapsedTimer>

#include <functional>
#include <optional>

namespace routereel {

// The preview's timeline clock. Running, it goes on the wall clock from the moment
// it starts, so the playhead moves at once and never stands still for a sound
// device; follow() leans it gently toward the sound being heard, so that picture
// and sound stay together, and has a sound that is far off go on from the clock's
// time instead. It never steps back while running, and stands still while held.
class PreviewClock {
public:
    // The timeline time of the sound heard now; none without sound.
    using SoundTime = std::function<std::optional<double>()>;
    // Has the sound go on from that timeline time.
    using SoundMove = std::function<void(double)>;
    void setSound(SoundTime heard, SoundMove moveTo);

    void start(double t);
    void stop(double t);
    bool isRunning() const { return m_running; }
    double now() const;
    // Called often while running (each picture tick): takes the sound heard now into account.
    void follow();

private:
    void anchor(double t, double rate);

    SoundTime m_heard;
    SoundMove m_moveTo;
    bool m_running = false;
    double m_anchor = 0;
    double m_rate = 1;
    QElapsedTimer m_wall;
};

} // namespace routereel
