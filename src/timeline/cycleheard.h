#pragma once

#include <QtGlobal>

#include <optional>

namespace routereel {

// The time heard on PipeWire's PulseAudio service, placed from its timing replies.
// The service moves the read position by a graph cycle as it hands the cycle to its
// own stream, which the sink plays from the cycle after, and leaves both cycles out
// of the sink's latency; its replies carry the time of the reply, not of the cycle.
// So as the position moves, what is heard is where it stood two moves before. The
// graph's cycle changes when another program asks for another (a grown cycle hands
// more at once): each move is followed as it comes, and a move whose replies leave
// room for a move unseen in between counts as at most what it shows. Each reply
// bounds what has been heard from below: the best of them, from just after a move,
// places it.
class CycleHeard {
public:
    // The server's cycle, microseconds: the newest move of the read position; 0
    // before any on this stream.
    qint64 cycleUsec() const { return m_cycle; }
    // A reply: the read position since the start and the device's own latency, the
    // reply's stamp (the same reply is read at every look) and when it was made
    // (monotonic), all in microseconds. A reply that shows the position moved since
    // the one before also bounds what is heard from above: when that bound lies
    // below what earlier replies placed, the sink lost a cycle meanwhile (a service
    // too starved to run it) and they no longer hold.
    void place(qint64 readUsec, qint64 sinkUsec, qint64 stamp, qint64 madeAt);
    // What has been heard at monotonic `now`; none before a reply placed it.
    std::optional<qint64> heardUsec(qint64 now) const;
    // A new start from position 0: earlier moves and replies no longer hold.
    void restart();
    // The sink played silence meanwhile (the source fell behind): what earlier replies
    // placed lies that much ahead. The moves still tell what the sink plays next.
    void silencePlayed();
    // A new stream: its cycle is learnt again.
    void forgetCycle();

private:
    qint64 best() const;
    void dropPlaces();
    // Beyond the stamps' jitter: the best place lies within a millisecond of the truth.
    static constexpr qint64 lostMarginUsec = 5'000;
    static constexpr qint64 unknown = -1;
    qint64 m_cycle = 0;          // of this stream, for its latency and its stands
    qint64 m_handed = unknown;   // the last cycle handed to the sink, at most; unknown before a move
    qint64 m_handedBefore = unknown; // the one before it
    bool m_handedWhole = false;  // the last was seen whole, not a guess
    bool m_exact = false;        // both were
    qint64 m_read = 0;           // the position, microseconds since the start
    qint64 m_readBefore = 0;     // before its last move
    qint64 m_sinkUsec = 0;       // the device's own latency, by the newest reply
    static constexpr int placesKept = 64; // about 1.3 s of ticks: a device's clock that drifts is followed
    qint64 m_places[placesKept] = {};     // heard less monotonic microseconds, per reply
    int m_nextPlace = 0;
    int m_placed = 0;
    qint64 m_lastStamp = -1;
    qint64 m_lastMadeAt = -1; // of the reply before; -1 before any since the start
};

} // namespace routereel
