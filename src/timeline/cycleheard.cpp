#include "cycleheard.h"

#include <algorithm>
#include <cstdlib>

namespace routereel {

// By a reply, at least the position less the cycle the service's stream holds and
// the one the sink plays, less the device's own latency, has been heard: more by as
// long as the reply came after the move.
void CycleHeard::place(qint64 readUsec, qint64 sinkUsec, qint64 stamp, qint64 madeAt)
{
    if (stamp == m_lastStamp)
        return;
    m_lastStamp = stamp;
    const qint64 read = std::max<qint64>(readUsec, 0);
    const bool moved = read > m_read;
    if (moved) {
        const qint64 step = read - m_read;
        // One cycle: as long as the last, or a reply that saw the position stand came
        // less than half the step before this one, so that no move hid between them.
        const bool whole = (m_cycle > 0 && std::abs(step - m_cycle) <= m_cycle / 10)
            || (m_lastMadeAt >= 0 && madeAt - m_lastMadeAt <= step / 2);
        // The graph changed its cycle: what earlier replies placed is placed anew from
        // the moves on both sides of the change.
        if (whole && m_handed != unknown && std::abs(step - m_handed) > m_handed / 10)
            dropPlaces();
        m_exact = whole && m_handedWhole;
        // The first since the start: this start is heard from the next cycle on, taken
        // as long as this one.
        m_handedBefore = m_handed == unknown ? step : m_handed;
        m_handed = step;
        m_handedWhole = whole;
        if (whole || m_cycle == 0)
            m_cycle = step;
        m_readBefore = m_read;
        m_read = read;
    }
    if (m_handed == unknown) {
        m_lastMadeAt = madeAt;
        return;
    }
    const qint64 placed = read - m_handed - m_handedBefore - sinkUsec - madeAt;
    // The move came after the reply before was made: at most this much was heard.
    if (moved && m_exact && m_placed > 0 && placed + (madeAt - m_lastMadeAt) < best() - lostMarginUsec)
        dropPlaces();
    m_lastMadeAt = madeAt;
    m_sinkUsec = sinkUsec;
    m_places[m_nextPlace] = placed;
    m_nextPlace = (m_nextPlace + 1) % placesKept;
    m_placed = std::min(m_placed + 1, placesKept);
}

std::optional<qint64> CycleHeard::heardUsec(qint64 now) const
{
    if (m_placed == 0)
        return std::nullopt;
    // The sink plays at most what was handed before the last move: after a shorter
    // cycle than its own, silence.
    return std::min(best() + now, m_readBefore - m_sinkUsec);
}

qint64 CycleHeard::best() const
{
    return *std::max_element(m_places, m_places + m_placed);
}

void CycleHeard::restart()
{
    dropPlaces();
    m_handed = m_handedBefore = unknown;
    m_handedWhole = m_exact = false;
    m_read = m_readBefore = 0;
    m_lastStamp = -1;
    m_lastMadeAt = -1;
}

void CycleHeard::silencePlayed()
{
    dropPlaces();
}

void CycleHeard::dropPlaces()
{
    m_placed = 0;
    m_nextPlace = 0;
}

void CycleHeard::forgetCycle()
{
    m_cycle = 0;
}

} // namespace routereel
