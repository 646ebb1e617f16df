#include "cycleheard.h"

#include <algorithm>
#include <iterator>

namespace routereel {

void CycleHeard::noticeStep(qint64 usec)
{
    m_steps[m_nextStep] = usec;
    m_nextStep = (m_nextStep + 1) % stepsKept;
}

qint64 CycleHeard::cycleUsec() const
{
    qint64 cycle = 0;
    for (const qint64 step : m_steps)
        if (step > 0 && (cycle == 0 || step < cycle))
            cycle = step;
    return cycle;
}

// By a reply, at least the position less the cycle the service's stream holds and
// the one the sink plays, less the device's own latency, has been heard: more by as
// long as the reply came after the cycle.
void CycleHeard::place(qint64 readUsec, qint64 sinkUsec, qint64 stamp, qint64 madeAt)
{
    const qint64 cycle = cycleUsec();
    if (cycle <= 0 || stamp == m_lastStamp)
        return;
    m_lastStamp = stamp;
    const qint64 placed = std::max<qint64>(readUsec, 0) - 2 * cycle - sinkUsec - madeAt;
    // The position moved after the reply before was made: at most this much later.
    const bool moved = m_lastRead >= 0 && readUsec > m_lastRead && madeAt > m_lastMadeAt;
    if (moved && m_placed > 0 && placed + (madeAt - m_lastMadeAt) < best() - lostMarginUsec)
        dropPlaces();
    m_lastRead = readUsec;
    m_lastMadeAt = madeAt;
    m_places[m_nextPlace] = placed;
    m_nextPlace = (m_nextPlace + 1) % placesKept;
    m_placed = std::min(m_placed + 1, placesKept);
}

std::optional<qint64> CycleHeard::heardUsec(qint64 now) const
{
    if (m_placed == 0)
        return std::nullopt;
    return best() + now;
}

qint64 CycleHeard::best() const
{
    return *std::max_element(m_places, m_places + m_placed);
}

void CycleHeard::forget()
{
    dropPlaces();
    m_lastStamp = -1;
    m_lastRead = -1;
}

void CycleHeard::dropPlaces()
{
    m_placed = 0;
    m_nextPlace = 0;
}

void CycleHeard::forgetSteps()
{
    std::fill(std::begin(m_steps), std::end(m_steps), 0);
}

} // namespace routereel
