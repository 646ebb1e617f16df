#include "previewclock.h"

#include <algorithm>
#include <cmath>

namespace routereel {

namespace {

// Sound is heard a device's buffer after it is handed over; within this the wall
// clock's reading is kept, further off the sound's is taken (a stall, a resume).
constexpr double soundSlack = 0.015;

} // namespace

void PreviewClock::start(double t)
{
    m_running = true;
    m_anchor = t;
    m_last = t;
    m_wall.start();
}

void PreviewClock::stop(double t)
{
    m_running = false;
    m_anchor = t;
    m_last = t;
}

double PreviewClock::now() const
{
    if (!m_running)
        return m_anchor;
    double t = m_anchor + m_wall.nsecsElapsed() / 1e9;
    if (m_sound) {
        if (const auto heard = m_sound(); heard && std::abs(*heard - t) > soundSlack) {
            m_anchor = *heard; // the sound leads: the wall clock goes on from there
            m_wall.start();
            t = *heard;
        }
    }
    m_last = std::max(m_last, t);
    return m_last;
}

} // namespace routereel
