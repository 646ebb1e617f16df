#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>

namespace testsupport {

// How long this thread's event loop went without serving a timer that ticks
// every `intervalMs`: the longest gap between two ticks (from the start on).
class TickGapProbe {
public:
    explicit TickGapProbe(int intervalMs)
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_wall.nsecsElapsed();
            m_longest = std::max(m_longest, now - m_last);
            m_last = now;
        });
        m_wall.start();
        m_timer.start(intervalMs);
    }
    void stop() { m_timer.stop(); }
    double longestGapMs() const { return m_longest / 1e6; }

private:
    QElapsedTimer m_wall;
    QTimer m_timer;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

} // namespace testsupport
