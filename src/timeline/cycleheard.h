#pragma once

#include <QtGlobal>

#include <optional>

namespace routereel {

// The time heard on PipeWire's PulseAudio service, placed from its timing replies.
// The service moves the read position by a graph cycle as it hands the cycle to its
// own stream, which the sink plays from the cycle after, and leaves both cycles out
// of the sink's latency; its replies carry the time of the reply, not of the cycle.
// The position's smallest step lately is a cycle, and each reply bounds what has
// been heard from below: the best of them, from just after a cycle, places it.
class CycleHeard {
public:
    // A step of the read position while playing, microseconds.
    void noticeStep(qint64 usec);
    // The server's cycle: the smallest step lately; 0 before any.
    qint64 cycleUsec() const;
    // A reply: the read position since the start and the device's own latency, the
    // reply's stamp (the same reply is read at every look) and when it was made
    // (monotonic), all in microseconds. A reply that shows the position moved since
    // the one before also bounds what is heard from above: when that bound lies
    // below what earlier replies placed, the sink lost a cycle meanwhile (a service
    // too starved to run it) and they no longer hold.
    void place(qint64 readUsec, qint64 sinkUsec, qint64 stamp, qint64 madeAt);
    // What has been heard at monotonic `now`; none before a reply placed it.
    std::optional<qint64> heardUsec(qint64 now) const;
    // A new start, or silence played: what earlier replies said no longer holds.
    void forget();
    // A new stream: its cycle is learnt again.
    void forgetSteps();

private:
    qint64 best() const;
    void dropPlaces();
    // Beyond the stamps' jitter: the best place lies within a millisecond of the truth.
    static constexpr qint64 lostMarginUsec = 5'000;
    static constexpr int stepsKept = 16;
    qint64 m_steps[stepsKept] = {}; // 0 where none yet
    int m_nextStep = 0;
    static constexpr int placesKept = 64; // about 1.3 s of ticks: a device's clock that drifts is followed
    qint64 m_places[placesKept] = {};     // heard less monotonic microseconds, per reply
    int m_nextPlace = 0;
    int m_placed = 0;
    qint64 m_lastStamp = -1;
    qint64 m_lastRead = -1;   // of the reply before
    qint64 m_lastMadeAt = 0;
};

} // namespace routereel
