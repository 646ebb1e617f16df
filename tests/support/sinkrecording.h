#pragma once

#include <QtGlobal>

#include <string>
#include <vector>

namespace testsupport {

// What a sink's monitor recorded, read apart from the recording itself so that a
// test can hand it samples and read stamps of its own making: mono samples at
// `rate`, taken in reads of `readFrames`, each stamped with the time it came.
//
// The sound is the slot tone (see SinkMonitor::slotTone): every 100 ms slot opens
// with 10 ms of silence, then a sine whose pitch names the slot. The samples are
// what the sink played, in order: a cycle the graph could not run delays what
// follows but drops none of it, so the samples alone tell what was heard and in
// which order; the read stamps tell only when.
class SinkRecording {
public:
    static constexpr int rate = 48000;
    static constexpr int readFrames = rate / 1000;

    // The slot tone.
    static constexpr double slotSeconds = 0.1;
    static constexpr int slotNames = 50; // names repeat every 5 s
    static constexpr double quietSeconds = 0.01; // the silence that opens each slot
    static constexpr double lowestPitch = 400; // slot 0's pitch, Hz
    static constexpr double pitchStep = 40;    // from one slot to the next
    static constexpr double toneSeconds = slotSeconds - quietSeconds;
    // Quieter than this is silence: the tone's peaks are 0.5.
    static constexpr float whisper = 0.02f;
    // Tone heard again for this long is a passage heard twice. A Pause may leave
    // the playhead up to 30 ms from where the sound ended, and Play goes on from there;
    // a passage of 50 ms holds at least 40 ms of tone.
    static constexpr double shortestRepeat = 0.035;

    // The tone's sample at `seconds` into it: what the sink plays of a slot clip.
    static float toneAt(double seconds);
    // When the slot named `name` opens its sound, the one nearest `near`.
    static double slotTime(int name, double near);

    // One read of readFrames samples that came at `arrival` (monotonic seconds).
    void append(const float *samples, double arrival);
    qint64 size() const { return qint64(m_samples.size()); }
    const std::vector<float> &samples() const { return m_samples; }

    // When `sample` was played, on the read stamps' clock; NaN before any read.
    double timeOf(qint64 sample) const;
    // The first sample at or after `from` louder than a whisper; -1 when none.
    qint64 firstLoud(qint64 from) const;
    // The last time between `from` and `to` a sample louder than a whisper played; NaN when none.
    double lastLoud(double from, double to) const;
    // That sample; -1 when none.
    qint64 lastLoudSample(double from, double to) const;

    struct Slot {
        double at; // when its sound began, on the stamps' clock
        int name;
        qint64 sample = 0; // where its sound began
    };
    // The slots whose sound began at or after sample `from`, each after its own silence,
    // but for those the stamps cannot place (a step in them soon after the start).
    std::vector<Slot> heardSlots(qint64 from) const;

    // Sound heard again: the tone went back by `seconds` at `sample` (heard at `at`).
    // `certain` is false where the recording cannot tell how far back it went (it may
    // be less than shortestRepeat): a test must not count that as nothing heard twice.
    struct Repeat {
        qint64 sample;
        double at;
        double seconds;
        bool certain;
    };
    // Every place from sample `from` on where at least shortestRepeat of the tone is
    // heard again, and every place the recording cannot tell.
    std::vector<Repeat> repeats(qint64 from = 0) const;

    // For a failure's message: how the samples from `from` to `to` were read (pieces,
    // their slots and silences) and placed (the stretches of stamps).
    std::string describe(qint64 from, qint64 to) const;

private:
    // Where stamps step up by more than a cycle (the graph lost one), the reads after
    // it are placed on the clock apart from those before.
    struct Stretch {
        qint64 from;   // the first sample
        double origin; // when sample 0 would have played, by this stretch's reads
    };
    void place() const;

    std::vector<float> m_samples;
    std::vector<double> m_arrivals; // one per read
    mutable std::vector<Stretch> m_stretches; // placed for m_placedReads reads
    mutable std::size_t m_placedReads = 0;
};

} // namespace testsupport
