#include "support/sinkrecording.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <iostream>
#include <random>
#include <vector>

using testsupport::SinkRecording;

namespace {

constexpr int rate = SinkRecording::rate;

// A stretch of what the sink played: the tone from `from` on for `seconds`; silence
// (a pause, a stand) where `from` is NaN; sound that names no slot where it is -1.
struct Span {
    double from, seconds;
};

// The graph's cycles here, the recording's read stamps, as the sink's monitor makes them.
struct Stamps {
    int cycle;          // frames handed over at once, when the cycle has played
    qint64 stepAt = 0;  // from the read holding this sample on, every read comes later by
    double step = 0;    // this (PipeWire's graph settling into a new cycle)
};

constexpr std::array<int, 6> cycles{256, 512, 1024, 2048, 4096, 8192};

SinkRecording record(const std::vector<Span> &spans, const Stamps &stamps, unsigned seed)
{
    std::vector<float> samples;
    samples.reserve(std::size_t(rate * 1.5));
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
    for (const Span &span : spans)
        for (qint64 i = 0; i < qint64(span.seconds * rate); ++i)
            samples.push_back(std::isnan(span.from) ? 0.0f
                              : span.from < 0       ? noise(random)
                                                    : SinkRecording::toneAt(span.from + double(i) / rate));
    samples.resize((samples.size() / SinkRecording::readFrames + 1) * SinkRecording::readFrames, 0.0f);
    // Now and then the reading thread is held a little, as on a busy machine.
    std::uniform_real_distribution<double> held(0, 0.004);
    SinkRecording r;
    double heldUntil = 0;
    for (std::size_t k = 0; k * SinkRecording::readFrames < samples.size(); ++k) {
        const qint64 end = qint64(k + 1) * SinkRecording::readFrames;
        const qint64 handedOver = (end + stamps.cycle - 1) / stamps.cycle * stamps.cycle;
        double at = 10 + double(handedOver) / rate + double(k) * 1e-6 + (end > stamps.stepAt ? stamps.step : 0);
        if (random() % 50 == 0)
            heldUntil = at + held(random);
        r.append(samples.data() + k * SinkRecording::readFrames, std::max(at, heldUntil));
    }
    return r;
}

qint64 sampleAt(const std::vector<Span> &spans, std::size_t span)
{
    double seconds = 0;
    for (std::size_t k = 0; k < span; ++k)
        seconds += spans[k].seconds;
    return qint64(seconds * rate);
}

} // namespace

// Sound heard again, 50 to 300 ms of it, at every millisecond of a slot: straight on
// (the player restarts behind what was heard) and after a 0.3 s pause, with the read
// stamps steady or stepping by 12 or 25 ms within 0.3 s of it, in bursts of every
// cycle the graph takes. Each is found once, within a slot of where it is heard
// again, as long as it is (less the silence a pause may have taken); none is left to
// a rule that cannot tell.
TEST(SinkRecording, FindsEverySoundHeardAgain)
{
    const double repeatsOf[] = {0.05, 0.07, 0.1, 0.13, 0.2, 0.3};
    for (const double repeat : repeatsOf) {
        int missed = 0, cases = 0;
        for (int ms = 0; ms < 100; ++ms) {
            for (const bool paused : {false, true}) {
                for (const double step : {0.0, 0.012, 0.025}) {
                    const double x = 2 + ms / 1000.0;
                    std::vector<Span> spans{{x - 0.4, 0.4}, {x - repeat, 0.4}};
                    if (paused)
                        spans.insert(spans.begin() + 1, {NAN, 0.3});
                    const qint64 again = sampleAt(spans, spans.size() - 1);
                    const Stamps stamps{cycles[std::size_t(ms) % cycles.size()],
                                        again + qint64((ms % 7 - 3) * 0.1 * rate), step};
                    const auto found = record(spans, stamps, unsigned(ms)).repeats();
                    ++cases;
                    const bool right = found.size() == 1 && found[0].certain
                        && std::abs(found[0].seconds - repeat) < 0.012
                        && std::abs(found[0].sample - again) <= qint64(SinkRecording::slotSeconds * rate);
                    if (!right && ++missed <= 3) {
                        ADD_FAILURE() << repeat * 1000 << " ms heard again at " << x << " s" << (paused ? " after a pause" : "")
                                      << ", stamps stepping " << step * 1000 << " ms: " << found.size() << " found"
                                      << (found.empty() ? "" : found[0].certain ? ", of " : ", cannot tell, up to ")
                                      << (found.empty() ? 0 : found[0].seconds * 1000) << " ms";
                    }
                }
            }
        }
        std::cout << "[ repeats ] " << repeat * 1000 << " ms: missed " << missed << " of " << cases << "\n";
        EXPECT_EQ(missed, 0) << repeat * 1000 << " ms heard again";
    }
}

// What is heard once, at every millisecond of a slot: a pause resumed where it
// stopped or 20 ms on, a drop-out of 3 to 12 ms, a cycle's worth of tone the
// recording lost (from 256 to 8192 frames), each with stamps that step. No sound is
// heard again and nothing is left unsure; every slot played whole is named in order.
// Sound that names no slot where the tone went back 30 ms cannot tell: it is said so.
TEST(SinkRecording, FindsNoneWhereEachSoundIsHeardOnce)
{
    enum class Kind { pause, pauseGoingOn, dropOut, lost, steady };
    for (const Kind kind : {Kind::pause, Kind::pauseGoingOn, Kind::dropOut, Kind::lost, Kind::steady}) {
        int wrong = 0;
        for (int ms = 0; ms < 100; ++ms) {
            const double x = 2 + ms / 1000.0;
            const int cycle = cycles[std::size_t(ms) % cycles.size()];
            const Span before{x - 0.4, 0.4};
            const std::vector<Span> spans = kind == Kind::pause ? std::vector<Span>{before, {NAN, 0.3}, {x, 0.4}}
                : kind == Kind::pauseGoingOn ? std::vector<Span>{before, {NAN, 0.2}, {x + 0.02, 0.4}}
                : kind == Kind::dropOut      ? std::vector<Span>{before, {NAN, 0.003 + (ms % 10) / 1000.0}, {x, 0.4}}
                : kind == Kind::lost         ? std::vector<Span>{before, {x + double(cycle) / rate, 0.4}}
                                             : std::vector<Span>{{1.4, 1.2}};
            const SinkRecording r = record(spans, {cycle, sampleAt(spans, 1) - qint64(0.1 * rate), 0.015}, unsigned(ms));
            const auto found = r.repeats();
            if (!found.empty() && ++wrong <= 3)
                ADD_FAILURE() << "kind " << int(kind) << " at " << x << " s: heard again at sample " << found[0].sample
                              << (found[0].certain ? ", " : ", cannot tell, up to ") << found[0].seconds * 1000 << " ms";
            if (kind == Kind::steady) {
                const auto slots = r.heardSlots(0);
                ASSERT_EQ(slots.size(), 11u) << "slots 15 to 25 open after their own silence";
                for (std::size_t k = 0; k < slots.size(); ++k)
                    EXPECT_EQ(slots[k].name, 15 + int(k));
            }
        }
        EXPECT_EQ(wrong, 0) << "kind " << int(kind);
    }
    const std::vector<Span> unsure{{1.5, 0.55}, {-1, 0.02}, {2.02, 0.5}};
    const auto found = record(unsure, {1024}, 1).repeats();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_FALSE(found[0].certain);
}
