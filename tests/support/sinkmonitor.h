#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include "sinkrecording.h"

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

struct pa_simple;

namespace testsupport {

class SoundServer;

// What the test server's null sink really plays, recorded from its monitor (mono,
// 48 kHz) in 1 ms reads on a thread of its own, each stamped with the time it came;
// SinkRecording reads it. On PipeWire the recording asks for no shorter cycle than
// the graph's longest, so that it leaves the graph's cycle as the player alone has it.
class SinkMonitor {
public:
    static constexpr int rate = SinkRecording::rate;
    static constexpr int longestCycleFrames = 2048; // PipeWire's default clock.max-quantum
    // Divides every cycle PipeWire's graph takes here (powers of two from 256 frames).
    static constexpr int cycleFragmentFrames = 256;
    // The recording's client name, which the PipeWire server's rules know.
    static constexpr const char *monitorName = "routereel sink monitor";
    explicit SinkMonitor(const SoundServer &server);
    ~SinkMonitor();
    SinkMonitor(const SinkMonitor &) = delete;
    SinkMonitor &operator=(const SinkMonitor &) = delete;

    bool isRecording() const { return m_simple; }
    // Monotonic seconds, the clock that stamps the reads.
    static double now();
    // When `sample` was played, on now()'s clock; NaN before any read.
    double timeOf(qint64 sample) const;
    // The first sample at or after `from` louder than a whisper; -1 when none.
    qint64 firstLoud(qint64 from) const;
    qint64 size() const;
    // The last time between `from` and `to` (on now()'s clock) the sink played sound
    // louder than a whisper; NaN when it played none.
    double lastLoud(double from, double to) const;
    // That sample; -1 when none.
    qint64 lastLoudSample(double from, double to) const;

    // A tone that names its own slots: each 100 ms opens with 10 ms of silence, then
    // a sine whose pitch names the slot, modulo slotNames. As an ffmpeg lavfi source
    // of `seconds`, 48 kHz.
    static constexpr double slotSeconds = SinkRecording::slotSeconds;
    static constexpr int slotNames = SinkRecording::slotNames;
    static QString slotTone(double seconds);
    // ffmpeg's arguments for a clip of `seconds` to `output`: a small grey picture
    // and the slot tone, kept as PCM so that no encoder delay blurs the slots.
    static QStringList slotClipArguments(double seconds, const QString &output);
    using Slot = SinkRecording::Slot;
    // The slots whose sound began at or after sample `from`, each after its own silence.
    std::vector<Slot> heardSlots(qint64 from) const;
    using Repeat = SinkRecording::Repeat;
    // Where the tone was heard again, or the recording cannot tell (SinkRecording::repeats).
    std::vector<Repeat> repeats(qint64 from = 0) const;
    // What was recorded so far.
    SinkRecording recording() const;
    // The timeline time a slot's sound began at, its name read as the slot nearest `near`.
    static double slotTime(int name, double near) { return SinkRecording::slotTime(name, near); }
    // The playhead seen at a moment on now()'s clock.
    struct Look {
        double wall, playhead;
    };
    // Picture less sound for each slot whose sound began between `from` and `to`: the
    // playhead there, from the looks on both sides of it, where they lie close enough
    // (a thread held between them tells nothing).
    std::vector<double> pictureLessSound(const std::vector<Look> &looks, double from, double to) const;

private:
    pa_simple *m_simple = nullptr;
    std::thread m_thread;
    std::atomic<bool> m_done = false;
    mutable std::mutex m_mutex;
    SinkRecording m_recording;
};

} // namespace testsupport
