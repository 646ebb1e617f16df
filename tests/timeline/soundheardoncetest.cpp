#include "timeline/previewcomposition.h"
#include "timeline/previewsound.h"
#include "timeline/timelineplayer.h"

#include "support/clipgenerator.h"
#include "support/sinkmonitor.h"
#include "support/soundheard.h"
#include "support/soundplan.h"
#include "support/soundserver.h"
#include "support/waitfor.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <memory>
#include <random>
#include <sstream>
#include <vector>

using namespace routereel;
using testsupport::SinkMonitor;
using testsupport::SoundServer;
using testsupport::waitFor;
namespace heard = testsupport::soundheard;

namespace {

// The player, a server of the test's own at a cycle it forces (0: its own), and the
// sink's monitor; the playhead looked at every 2 ms while waiting.
struct Heard {
    QTemporaryDir dir;
    SoundServer server;
    std::unique_ptr<SinkMonitor> monitor;
    TimelinePlayer player;
    std::vector<SinkMonitor::Look> looks;

    explicit Heard(SoundServer::Kind kind) : server(SoundServer::Latency::usual, kind) {}
    void setUp(const PreviewPlan &plan, int cycle)
    {
        ASSERT_TRUE(SoundServer::installed(server.kind())) << "the test command installs pulseaudio and pipewire";
        ASSERT_TRUE(server.start());
        if (cycle) {
            ASSERT_TRUE(server.forceQuantum(cycle));
        }
        monitor = std::make_unique<SinkMonitor>(server);
        ASSERT_TRUE(monitor->isRecording());
        const PreviewSound *sound = player.findChild<PreviewSound *>();
        ASSERT_TRUE(waitFor([&] { return sound->hasOutput(); }, 10'000));
        player.replaceItem(plan);
        ASSERT_TRUE(waitFor([&] { return player.itemStatus() == PreviewPlayer::ItemStatus::readyToPlay; }, 10'000));
    }
    void seek(double t)
    {
        bool done = false;
        player.seek(t, [&](bool finished) { done = finished; });
        ASSERT_TRUE(waitFor([&] { return done; }, 10'000));
    }
    template <typename Done>
    void playUntil(Done done, int mostMs)
    {
        waitFor([&] {
            looks.push_back({SinkMonitor::now(), player.currentTime()});
            return done();
        }, mostMs, 2);
    }
    void playFor(double seconds)
    {
        const double until = SinkMonitor::now() + seconds;
        playUntil([&] { return SinkMonitor::now() > until; }, int(seconds * 1000) + 10'000);
    }
};

// Cuts into 1080p pieces that start near the end of a clip whose one keyframe is its
// first picture, each reached 0.3 s after Play: the piece's first picture is not
// decoded in time, and the cut waits for it. The sound the server already took of the
// piece is heard once, and the sound, clock and picture go on after it together.
void cutsHeardOnce(SoundServer::Kind kind, int cycle)
{
    Heard h(kind);
    const QString slotClip = h.dir.filePath(QStringLiteral("slots.mov"));
    ASSERT_TRUE(testsupport::runFfmpeg(SinkMonitor::slotClipArguments(16, slotClip)));
    const QString far = h.dir.filePath(QStringLiteral("far.mov"));
    ASSERT_TRUE(testsupport::runFfmpeg(heard::farClipArguments(4, far)));
    const std::vector<heard::Cut> cuts = heard::cutsBack(far);
    const PreviewPlan plan = heard::cutPlan(slotClip, cuts, 15);
    ASSERT_NO_FATAL_FAILURE(h.setUp(plan, cycle));
    // Rounds go on until three cuts waited for their picture: whether one waits depends
    // on how soon the machine decodes it.
    int waited = 0;
    for (int round = 0; round < 16 && waited < 3; ++round) {
        const double cut = cuts[std::size_t(round) % cuts.size()].at;
        SCOPED_TRACE(testing::Message() << "cut at " << cut << ", round " << round);
        ASSERT_NO_FATAL_FAILURE(h.seek(cut - 0.3));
        const double played = SinkMonitor::now();
        h.player.play();
        h.playUntil([&] { return h.player.currentTime() > cut + 0.8; }, 15'000);
        h.player.pause();
        const double paused = SinkMonitor::now();
        h.playFor(0.5);
        ASSERT_GT(h.player.currentTime(), cut + 0.7) << "the playhead stands";
        // The cut waited where the sound stops for a while after the playhead reached it.
        const double reached = heard::reachedAt(h.looks, cut, played);
        const auto [silent, on] = heard::longestSilence(*h.monitor, reached - 0.1, paused);
        if (std::isnan(silent) || on - silent < 0.03) {
            // The picture came in time and the sound went on: nothing of it goes back.
            for (const double again : heard::slotsHeardAgain(*h.monitor, played, paused, cut - 0.3))
                ADD_FAILURE() << "heard twice at a cut that did not wait: " << again * 1000 << " ms";
            continue;
        }
        // A slot on each side names what was heard there; a drop-out within one hides it.
        const double again = heard::heardAgainAcross(*h.monitor, played, silent, on, cut);
        if (std::isnan(again)) {
            std::cout << "[ cut ] " << cut << " s: no slot read on one side of its silence\n";
            continue;
        }
        ++waited;
        std::cout << "[ cut ] " << cut << " s: " << (on - silent) * 1000 << " ms silent, " << again * 1000
                  << " ms heard again\n";
        EXPECT_LT(again, 0.02) << "heard twice: " << again * 1000 << " ms";
        // The picture meets the sound there: apart by a lasting offset no more than 40 ms.
        std::vector<double> apart = h.monitor->pictureLessSound(h.looks, on, paused);
        ASSERT_FALSE(apart.empty());
        std::ostringstream each; // slot by slot, picture less sound in ms
        for (double &a : apart) {
            each << ' ' << std::lround(a * 1000);
            a = std::abs(a);
        }
        std::nth_element(apart.begin(), apart.begin() + std::ptrdiff_t(apart.size() / 2), apart.end());
        EXPECT_LE(apart[apart.size() / 2], 0.04) << "picture and sound apart after the cut:" << each.str();
    }
    EXPECT_GE(waited, 3) << "cuts that waited for their picture, read on both sides: the test tells nothing without";
}

} // namespace

TEST(SoundHeardOnceAtACut, PulseAudio)
{
    cutsHeardOnce(SoundServer::Kind::pulseAudio, 0);
}

TEST(SoundHeardOnceAtACut, PipeWireCycle1024)
{
    cutsHeardOnce(SoundServer::Kind::pipeWire, 1024);
}

TEST(SoundHeardOnceAtACut, PipeWireOwnCycle)
{
    cutsHeardOnce(SoundServer::Kind::pipeWire, 0);
}

TEST(SoundHeardOnceAtACut, PipeWireCycle8192)
{
    cutsHeardOnce(SoundServer::Kind::pipeWire, 8192);
}

// PipeWire's service held 0.28-0.40 s at a time while playing at a cycle of 8192: its
// graph plays on what it holds meanwhile, and no sound is heard twice after it.
TEST(SoundHeardOnce, AfterHoldsOnALargeCycle)
{
    Heard h(SoundServer::Kind::pipeWire);
    const QString slotClip = h.dir.filePath(QStringLiteral("slots.mov"));
    ASSERT_TRUE(testsupport::runFfmpeg(SinkMonitor::slotClipArguments(30, slotClip)));
    ASSERT_NO_FATAL_FAILURE(h.setUp(testsupport::oneClipPlan(slotClip, 30), 8192));
    ASSERT_NO_FATAL_FAILURE(h.seek(1));
    std::mt19937 random(79);
    std::uniform_real_distribution<double> hold(0.28, 0.40);
    h.player.play();
    h.playFor(1.5);
    for (int k = 0; k < 8; ++k) {
        h.server.stand(true);
        h.playFor(hold(random));
        h.server.stand(false);
        h.playFor(1.2);
    }
    h.player.pause();
    h.playFor(0.5);
    for (const double again : heard::slotsHeardAgain(*h.monitor))
        ADD_FAILURE() << again * 1000 << " ms heard again after a hold";
}

// Played to the timeline's end on PipeWire, at its own cycle and at 8192: the sound is
// heard to the end, its last part not dropped with the stream.
TEST(SoundHeardOnce, ToTheEndOfTheTimeline)
{
    for (const int cycle : {0, 8192}) {
        SCOPED_TRACE(cycle);
        Heard h(SoundServer::Kind::pipeWire);
        const QString slotClip = h.dir.filePath(QStringLiteral("slots.mov"));
        ASSERT_TRUE(testsupport::runFfmpeg(SinkMonitor::slotClipArguments(5, slotClip)));
        constexpr double end = 2.55; // within a slot's tone
        ASSERT_NO_FATAL_FAILURE(h.setUp(testsupport::oneClipPlan(slotClip, end), cycle));
        bool ended = false;
        QObject::connect(&h.player, &PreviewPlayer::playedToEnd, [&] { ended = true; });
        for (int round = 0; round < 3; ++round) {
            SCOPED_TRACE(round);
            ASSERT_NO_FATAL_FAILURE(h.seek(1 + 0.2 * round));
            ended = false;
            const double played = SinkMonitor::now();
            h.player.play();
            h.playUntil([&] { return ended; }, 15'000);
            ASSERT_TRUE(ended);
            h.playFor(0.8);
            const double heardTo = heard::heardTo(*h.monitor, played, SinkMonitor::now(), end);
            ASSERT_FALSE(std::isnan(heardTo)) << "nothing heard";
            std::cout << "[ end ] heard to " << heardTo << " s of " << end << " s\n";
            EXPECT_GE(heardTo, end - 0.012) << "the last " << (end - heardTo) * 1000 << " ms not heard";
        }
    }
}
