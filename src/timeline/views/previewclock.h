#pragma once

#include <QElapsedTimer>

#include <functional>
#include <optional>

namespace routereel {

// The preview's timeline clock. Running, it follows the sound being heard when
// there is any, so that picture and sound stay together; else the wall clock. It
// never steps back while running, and stands still while held.
class PreviewClock {
public:
    // The timeline time of the sound heard now; none without sound.
    using SoundTime = std::function<std::optional<double>()>;
    void setSoundTime(SoundTime sound) { m_sound = std::move(sound); }

    void start(double t);
    void stop(double t);
    bool isRunning() const { return m_running; }
    double now() const;

private:
    SoundTime m_sound;
    bool m_running = false;
    mutable double m_anchor = 0;
    mutable QElapsedTimer m_wall;
    mutable double m_last = 0;
};

} // namespace routereel
