#include "previewclock.h"

#include <algorithm>
#include <cmath>

namespace routereel {

namespace {

// Further off than this, the sound is what is out of step (a device that started
// late, came back, or fell behind): it goes on from the clock's time.
constexpr double farOffSeconds = 0.2;
// Nearer, the clock runs up to this much faster or slower until it is in step: the
// eye sees no jump, and a 40 ms difference is gone within a second.
constexpr double mostLean = 0.05;
constexpr double leanPerSecondOff = 2.0;

} // namespace

void PreviewClock::setSound(SoundTime heard, SoundMove moveTo)
{
    m_heard = std::move(heard);
    m_moveTo = std::move(moveTo);
}

void PreviewClock::start(double t)
{
    m_running = true;
    anchor(t, 1);
}

void PreviewClock::stop(double t)
{
    m_running = false;
    anchor(t, 1);
}

double PreviewClock::now() const
{
    if (!m_running)
        return m_anchor;
    return m_anchor + m_rate * double(m_wall.nsecsElapsed()) / 1e9;
}

void PreviewClock::follow()
{
    if (!m_running)
        return;
    const double t = now();
    const std::optional<double> heard = m_heard ? m_heard() : std::nullopt;
    if (!heard) {
        anchor(t, 1); // no sound, or a device that takes none: the wall clock alone
        return;
    }
    const double off = *heard - t;
    if (std::abs(off) > farOffSeconds) {
        anchor(t, 1);
        if (m_moveTo)
            m_moveTo(t);
        return;
    }
    anchor(t, 1 + std::clamp(off * leanPerSecondOff, -mostLean, mostLean));
}

void PreviewClock::anchor(double t, double rate)
{
    m_anchor = t;
    m_rate = rate;
    m_wall.start();
}

} // namespace routereel
