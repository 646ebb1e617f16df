#pragma once

#include <QtGlobal>

#include <optional>

namespace routereel {

// The time heard on PipeWire's PulseAudio service, placed from its timing replies.
// The service leaves its graph's cycles out of the latency it reports, so the time
// heard is worked out here from one model:
//
// - A move. The graph runs in cycles; at each, the service hands one cycle of this
//   stream to its own graph stream and the read position moves by that much. The
//   sink plays what one move handed during the cycle after the next move, as much of
//   it as that cycle holds, and silence after a shorter hand-over. So at a move,
//   what is heard is where the position stood two moves before, less the device's
//   own latency; and until the next move nothing past the position before the last
//   move is heard.
// - A reply tells the position and when the reply was made, not when the cycle
//   began: each reply is a lower bound of what is heard (the position less the last
//   two hand-overs and the latency, at the reply's time). The best of the recent
//   ones, from just after a move, places it.
// - A move as long as the cycle before, or one that replies close enough together
//   show whole (no move hid between them), is one cycle. A whole move of another
//   length: the graph changed its cycle (another program asked for one), and the
//   places are learnt anew from the moves on both sides of the change.
// - A lost cycle: the service was too starved to run one and the sink played that
//   cycle without this stream, so all after it is heard a cycle later. A whole move
//   whose reply places what is heard below what earlier replies placed (beyond the
//   stamps' jitter) shows it: the earlier places no longer hold and are dropped. The
//   same holds when the source fell behind and the sink played silence.
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
    // The moves (see the model above), microseconds.
    qint64 m_cycle = 0;          // the graph's cycle: the newest whole move
    qint64 m_handed = unknown;   // the last move, at most; unknown before one
    qint64 m_handedBefore = unknown; // the move before it
    bool m_handedWhole = false;  // the last move was one whole cycle, not a guess
    bool m_exact = false;        // so were both: a reply after it bounds a lost cycle
    qint64 m_read = 0;           // the position since the start
    qint64 m_readBefore = 0;     // the position before the last move: heard at most
    qint64 m_sinkUsec = 0;       // the device's own latency, by the newest reply
    // The replies' places: what each says was heard, less when it was made.
    static constexpr int placesKept = 64; // about 1.3 s of ticks: a device's clock that drifts is followed
    qint64 m_places[placesKept] = {};     // heard less monotonic microseconds, per reply
    int m_nextPlace = 0;
    int m_placed = 0;
    qint64 m_lastStamp = -1;
    qint64 m_lastMadeAt = -1; // of the reply before; -1 before any since the start
};

} // namespace routereel
