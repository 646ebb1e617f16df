#include "timeline/previewcomposition.h"
#include "timeline/previewsound.h"
#include "timeline/timelineplayer.h"

#include "support/clipgenerator.h"
#include "support/sinkmonitor.h"
#include "support/soundplan.h"
#include "support/soundserver.h"
#include "support/waitfor.h"
#include "mediatestutil.h"

#include <QElapsedTimer>
#include <QThread>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <memory>
#include <random>
#include <string>
#include <sstream>
#include <utility>
#include <vector>

using namespace routereel;
using testsupport::SoundServer;
using testsupport::waitFor;

namespace {
// Picture and sound this far apart are seen apart (some 1.5 frames at 30 fps)...
constexpr double inStep = 0.04;
// ...when they stay so for longer than this; shorter is a thread held on a busy machine.
constexpr qint64 lastingMs = 100;
// A playhead that has not moved this long after Play stands; a busy machine starts it later than an idle one.
constexpr qint64 standsMs = 1500;
} // namespace

// The player with a sound server that is there, goes away mid-play, or comes
// only once playing: the playhead moves on from Play, reaches the end, and plays
// to the end again after a Play from the start; a server there is played to.
TEST(PlayerSound, ThePlayheadReachesTheEndWhateverTheSoundServerDoes)
{
    ASSERT_TRUE(SoundServer::installed()) << "the test command installs pulseaudio";
    QTemporaryDir dir;
    const QString clip = testsupport::makeClip(dir.path(), QStringLiteral("clip.mp4"), {.seconds = 3});
    ASSERT_FALSE(clip.isEmpty());
    PreviewPiece piece;
    piece.start = *compositionTicks(0);
    piece.length = *compositionTicks(2.5);
    piece.url = QUrl::fromLocalFile(clip);
    piece.sourceStart = *compositionTicks(0.2);
    piece.naturalSize = QSizeF(320, 240);
    PreviewPlan plan;
    plan.renderSize = QSizeF(320, 240);
    plan.pieces = {piece};

    enum class Server { there, goesAway, comesWhilePlaying };
    for (const Server kind : {Server::there, Server::goesAway, Server::comesWhilePlaying}) {
        SCOPED_TRACE(int(kind));
        SoundServer server;
        if (kind != Server::comesWhilePlaying)
            ASSERT_TRUE(server.start());
        TimelinePlayer player;
        const PreviewSound *sound = player.findChild<PreviewSound *>();
        ASSERT_TRUE(sound);
        player.replaceItem(plan);
        ASSERT_TRUE(waitFor([&] { return player.itemStatus() == PreviewPlayer::ItemStatus::readyToPlay; }, 10'000));
        bool ended = false;
        QObject::connect(&player, &PreviewPlayer::playedToEnd, [&] { ended = true; });
        for (int round = 0; round < 2; ++round) {
            ASSERT_TRUE(mediatest::seekAndWait(player, 0));
            ended = false;
            const qint64 frames = sound->framesPlayed();
            player.play();
            ASSERT_TRUE(waitFor([&] { return player.currentTime() > 0.1; }, 10'000)) << "Play does not move the playhead";
            if (round == 0 && kind == Server::goesAway)
                server.stop();
            if (round == 0 && kind == Server::comesWhilePlaying)
                ASSERT_TRUE(server.start());
            ASSERT_TRUE(waitFor([&] { return ended; }, 30'000)) << "round " << round << " stands at " << player.currentTime();
            EXPECT_FALSE(player.isPlaying());
            EXPECT_DOUBLE_EQ(player.currentTime(), 2.5);
            if (server.isRunning() && (round == 1 || kind == Server::there))
                EXPECT_GT(sound->framesPlayed(), frames) << "round " << round << ": the server is not played to";
        }
    }
}

// From the first sound heard after Play, and after a seek while playing, the
// playhead (which places the picture) keeps within 40 ms of the sound heard, on a
// sink of the usual latency and on one of about 1 s: apart by more for longer than
// 100 ms is seen; a look apart for a moment (a thread held on a busy machine) is
// printed. Without a sound device the playhead moves on from Play: it never stands.
TEST(PlayerSound, ThePictureKeepsWithTheSoundFromTheFirstSoundHeard)
{
    ASSERT_TRUE(SoundServer::installed()) << "the test command installs pulseaudio";
    QTemporaryDir dir;
    const QString clip = testsupport::makeClip(dir.path(), QStringLiteral("clip.mp4"),
                                               {.seconds = 10, .width = 64, .height = 64});
    ASSERT_FALSE(clip.isEmpty());
    const PreviewPlan plan = testsupport::oneClipPlan(clip, 10);

    enum class Device { none, usual, oneSecond };
    for (const Device device : {Device::none, Device::usual, Device::oneSecond}) {
        SCOPED_TRACE(int(device));
        SoundServer server(device == Device::oneSecond ? SoundServer::Latency::oneSecond : SoundServer::Latency::usual);
        if (device != Device::none)
            ASSERT_TRUE(server.start());
        TimelinePlayer player;
        const PreviewSound *sound = player.findChild<PreviewSound *>();
        ASSERT_TRUE(sound);
        if (device != Device::none)
            ASSERT_TRUE(waitFor([&] { return sound->hasOutput(); }, 10'000));
        player.replaceItem(plan);
        ASSERT_TRUE(waitFor([&] { return player.itemStatus() == PreviewPlayer::ItemStatus::readyToPlay; }, 10'000));
        ASSERT_TRUE(mediatest::seekAndWait(player, 0.5));
        for (const double seekTo : {-1.0, 5.0}) { // Play, then a seek while playing
            SCOPED_TRACE(seekTo);
            if (seekTo < 0)
                player.play();
            else
                player.seek(seekTo, {});
            const double from = seekTo < 0 ? 0.5 : seekTo;
            QElapsedTimer wall;
            wall.start();
            qint64 movedAfter = -1;
            bool heard = false;
            double worst = 0;
            struct Look {
                qint64 wall;
                double before, t, after; // -1: no sound heard
            };
            std::vector<Look> looks;
            std::size_t worstAt = 0;
            qint64 apartSince = -1, longestApart = 0; // ms the looks stayed apart by more than the bound
            waitFor([&] {
                // The sound read on both sides of the playhead: a thread held in between
                // widens the window instead of failing.
                const std::optional<double> before = sound->playedTime();
                const double t = player.currentTime();
                const std::optional<double> after = sound->playedTime();
                if (movedAfter < 0 && t > from)
                    movedAfter = wall.elapsed();
                looks.push_back({wall.elapsed(), before.value_or(-1), t, after.value_or(-1)});
                if (before && after) {
                    heard = true;
                    const double apart = std::max(std::min(*before, *after) - t, t - std::max(*before, *after));
                    if (apart > worst) {
                        worst = apart;
                        worstAt = looks.size() - 1;
                    }
                    if (apart <= inStep)
                        apartSince = -1;
                    else if (apartSince < 0)
                        apartSince = wall.elapsed();
                    longestApart = std::max(longestApart, apartSince < 0 ? 0 : wall.elapsed() - apartSince);
                }
                return wall.elapsed() > 3000;
            }, 10'000, 2);
            ASSERT_GE(movedAfter, 0) << "the playhead does not move";
            if (device == Device::none) {
                std::cout << "[ no device ] the playhead moved " << movedAfter << " ms after Play\n";
                EXPECT_LT(movedAfter, standsMs) << "without a device the playhead stands";
                continue;
            }
            ASSERT_TRUE(heard);
            std::ostringstream around; // the looks about the worst: ms after the start; sound, playhead, sound
            for (std::size_t i = worstAt > 8 ? worstAt - 8 : 0; i < std::min(looks.size(), worstAt + 8); ++i)
                around << "\n  " << looks[i].wall << " ms: " << looks[i].before << " " << looks[i].t << " " << looks[i].after;
            std::cout << "[ picture less sound ] largest " << worst * 1000 << " ms, beyond " << inStep * 1000
                      << " ms for " << longestApart << " ms at most" << (worst > inStep ? around.str() : "") << "\n";
            EXPECT_LE(longestApart, lastingMs) << "picture and sound apart" << around.str();
        }
        player.pause();
    }
}

namespace {

enum class Stand { atPlay, duringASeek, long_ };

using Look = testsupport::SinkMonitor::Look;

// The player on a clip whose sound names its slots, a server, and the sink's monitor;
// the playhead looked at every 2 ms while waiting.
struct SlotPlayer {
    using SinkMonitor = testsupport::SinkMonitor;
    QTemporaryDir dir;
    SoundServer server;
    std::unique_ptr<SinkMonitor> monitor;
    TimelinePlayer player;
    std::vector<Look> looks;

    explicit SlotPlayer(SoundServer::Kind kind, SoundServer::Latency latency = SoundServer::runLatency())
        : server(latency, kind)
    {
    }

    void setUp(int sinkRate = 0)
    {
        server.setSinkRate(sinkRate);
        const QString clip = dir.filePath(QStringLiteral("slots.mov"));
        ASSERT_TRUE(testsupport::runFfmpeg(SinkMonitor::slotClipArguments(60, clip)));
        ASSERT_TRUE(server.start());
        listen();
        const PreviewSound *sound = player.findChild<PreviewSound *>();
        ASSERT_TRUE(waitFor([&] { return sound->hasOutput(); }, 10'000));
        player.replaceItem(testsupport::oneClipPlan(clip, 60));
        ASSERT_TRUE(waitFor([&] { return player.itemStatus() == PreviewPlayer::ItemStatus::readyToPlay; }, 10'000));
        ASSERT_TRUE(mediatest::seekAndWait(player, 1));
    }
    // Recorded anew after a stand: libpulse gives up on a server that stands 30 s,
    // and the sink's samples no longer follow the clock across one.
    void listen()
    {
        monitor.reset();
        monitor = std::make_unique<SinkMonitor>(server);
        ASSERT_TRUE(monitor->isRecording());
    }
    void playFor(double seconds)
    {
        const double until = SinkMonitor::now() + seconds;
        waitFor([&] {
            looks.push_back({SinkMonitor::now(), player.currentTime()});
            return SinkMonitor::now() > until;
        }, int(seconds * 1000) + 10'000, 2);
    }
    // Plays until the first slot begun after wall time `played` is heard, for at most
    // `bound` seconds: on a busy machine a Play may be heard a second late. Returns
    // when it began, NaN when it was not heard.
    double playUntilHeard(double played, double bound = 10)
    {
        double began = NAN, lookedAt = 0;
        const qint64 from = monitor->size();
        const double until = SinkMonitor::now() + bound;
        waitFor([&] {
            const double now = SinkMonitor::now();
            looks.push_back({now, player.currentTime()});
            if (now - lookedAt < 0.02) // reading the recording holds its thread
                return false;
            lookedAt = now;
            const auto heard = monitor->heardSlots(from);
            const auto first = std::find_if(heard.begin(), heard.end(), [&](const auto &s) { return s.at >= played; });
            if (first != heard.end())
                began = first->at;
            return !std::isnan(began) || now > until;
        }, int(bound * 1000) + 10'000, 2);
        return began;
    }
    void expectWithTheSound(double from, double to, const char *what) { expectWithTheSound({{from, to}}, what); }
    // Over the spans of wall time, each from a Play to what followed it: picture and
    // sound apart by more than inStep at two slots in a row (100 ms apart) are seen
    // apart; at one slot alone it is printed.
    void expectWithTheSound(const std::vector<std::pair<double, double>> &spans, const char *what)
    {
        std::vector<double> apart;
        int lasting = 0;
        for (const auto &[from, to] : spans) {
            const std::vector<double> some = monitor->pictureLessSound(looks, from, to);
            for (std::size_t k = 1; k < some.size(); ++k)
                lasting += std::abs(some[k - 1]) > inStep && std::abs(some[k]) > inStep;
            apart.insert(apart.end(), some.begin(), some.end());
        }
        ASSERT_GT(apart.size(), 10u) << what << ": the sound is not heard";
        const auto worst = *std::max_element(apart.begin(), apart.end(),
                                             [](double a, double b) { return std::abs(a) < std::abs(b); });
        std::vector<double> sorted = apart;
        std::nth_element(sorted.begin(), sorted.begin() + std::ptrdiff_t(sorted.size() / 2), sorted.end());
        const auto beyond = std::count_if(apart.begin(), apart.end(), [](double a) { return std::abs(a) > inStep; });
        std::cout << "[ picture less sound ] " << what << ": median " << sorted[sorted.size() / 2] * 1000
                  << " ms, largest " << worst * 1000 << " ms, " << beyond << " of " << apart.size()
                  << " slots beyond " << inStep * 1000 << " ms\n";
        EXPECT_EQ(lasting, 0) << what << ": picture and sound apart for longer than a slot, up to " << worst * 1000 << " ms";
    }
    // After a Pause at wall time `paused`, once the sound has stopped: the paused
    // playhead is where the sound ended (heard from `from` on), read from the slot it
    // ended in, so that the next Play starts after all that was heard. Returns how
    // long the sound played on.
    // Only a slot heard after `played` (the round's Play) places it: where none began
    // before the sound ended (a Play heard late on a busy machine, or a Pause soon
    // after it), the round is not judged but counted (unplaced) and printed.
    int unplaced = 0;
    int restsOff = 0; // rounds whose paused playhead was 30 ms or more, up to a cycle more, from where the sound ended
    double expectRestsWhereTheSoundEnded(double paused, const std::string &what, double from = NAN,
                                         double played = -INFINITY)
    {
        const qint64 lastSample = monitor->lastLoudSample(std::isnan(from) ? paused : from, SinkMonitor::now());
        if (lastSample < 0)
            return NAN;
        const double last = monitor->timeOf(lastSample);
        const auto heard = monitor->heardSlots(0);
        const auto in = std::find_if(heard.rbegin(), heard.rend(), [&](const auto &s) { return s.sample <= lastSample; });
        if (in == heard.rend() || in->at < played) {
            ++unplaced;
            std::cout << "[ pause ] " << what << ": no slot began between Play and the sound's end "
                      << (last - paused) * 1000 << " ms after Pause; the sound began " << soundBegan(played, last)
                      << " ms after Play; " << monitor->recording().describe(lastSample - SinkMonitor::rate, lastSample + 1)
                      << '\n';
            return NAN;
        }
        const double playhead = player.currentTime();
        // How much of the slot was heard, in its samples: a stand of the server between
        // them delays the last one without adding sound.
        const double ended = SinkMonitor::slotTime(in->name, playhead) + double(lastSample - in->sample) / SinkMonitor::rate;
        std::cout << "[ pause ] " << what << ": sound for " << (last - paused) * 1000 << " ms after Pause, playhead "
                  << (playhead - ended) * 1000 << " ms from where it ended\n";
        // One cycle the sink or its monitor lost on a busy machine moves where the sound
        // ended seen here: a round off by up to that cycle is counted (restsOff; more than
        // one fails), one off further fails at once.
        const double lostCycle = double(SinkMonitor::longestCycleFrames) / SinkMonitor::rate;
        EXPECT_NEAR(playhead, ended, 0.03 + lostCycle) << what << ": the paused playhead is not where the sound ended";
        restsOff += std::abs(playhead - ended) > 0.03;
        return last - paused;
    }
    // When the first sound at or after wall time `played` and before `until` was heard, in
    // ms after `played`; NaN when none.
    double soundBegan(double played, double until) const
    {
        for (qint64 k = monitor->firstLoud(0); k >= 0; k = monitor->firstLoud(k + 1)) {
            const double at = monitor->timeOf(k);
            if (at > until)
                break;
            if (at >= played)
                return (at - played) * 1000;
        }
        return NAN;
    }
    // Nothing heard twice: the tone never goes back by a passage, and where the
    // recording cannot tell, that fails too.
    void expectNoneHeardTwice()
    {
        const auto again = monitor->repeats();
        for (std::size_t k = 0; k < again.size() && k < 5; ++k)
            ADD_FAILURE() << (again[k].certain ? "heard again: " : "cannot tell whether heard again: up to ")
                          << again[k].seconds * 1000 << " ms of sound, " << again[k].at - looks.front().wall
                          << " s after the looks began";
        EXPECT_TRUE(again.empty()) << again.size() << " places";
    }
    // The playhead never goes back while playing.
    void expectNeverBack(double from, double to)
    {
        double last = -1;
        for (const Look &look : looks) {
            if (look.wall < from || look.wall > to)
                continue;
            EXPECT_GE(look.playhead, last - 1e-9) << "the playhead went back at " << look.wall - from << " s";
            if (look.playhead < last - 1e-9)
                return;
            last = look.playhead;
        }
    }
};

// The player on a server that stands (stops answering, as one held by a busy machine
// does) for 1 s just after Play, for 3 s during a seek while playing, or for 35 s,
// longer than libpulse waits for a reply: the picture is within 40 ms of what the
// sink truly plays from the first sound heard after the stand, and after the long
// stand from a later Play's first sound.
void playThroughAStand(SoundServer::Kind kind, Stand stand)
{
    ASSERT_TRUE(SoundServer::installed(kind)) << "the test command installs pulseaudio and pipewire";
    SlotPlayer p(kind);
    ASSERT_NO_FATAL_FAILURE(p.setUp());
    p.player.play();
    const double standFor = stand == Stand::atPlay ? 1 : stand == Stand::duringASeek ? 3 : 35;
    p.playFor(stand == Stand::atPlay ? 0.03 : 1.5);
    if (stand == Stand::duringASeek)
        p.player.seek(20, {});
    p.server.stand(true);
    p.playFor(standFor);
    p.server.stand(false);
    const double back = testsupport::SinkMonitor::now();
    ASSERT_NO_FATAL_FAILURE(p.listen());
    p.playFor(3.5);
    // Every slot heard once the server goes on: stale sound from before the stand
    // is as far off as a picture left behind. After 35 s the stream is made again.
    double from = back;
    if (stand == Stand::long_) {
        // A server back from a long stand hands the monitor the stand's samples at once.
        const auto heard = p.monitor->heardSlots(0);
        const auto firstHeard = std::find_if(heard.begin(), heard.end(), [&](const auto &s) { return s.at >= back; });
        ASSERT_NE(firstHeard, heard.end()) << "no sound after the stand";
        from = firstHeard->at;
    }
    p.expectWithTheSound(from, back + 3.5, "after the stand");
    if (stand != Stand::long_)
        return;
    p.player.pause();
    ASSERT_TRUE(mediatest::seekAndWait(p.player, 40));
    p.player.play();
    const double played = testsupport::SinkMonitor::now();
    p.playFor(3.5);
    p.player.pause();
    p.expectWithTheSound(played, played + 3.5, "a later Play");
}

} // namespace

// Pause stops the sound, and Play goes on from the paused playhead: nothing is heard
// twice, nor what was queued before the Pause. PipeWire's service plays on the
// cycles its graph already holds (up to two of the longest) whatever the client
// does: the paused playhead goes on to where that sound ended.
TEST(PlayerSound, PauseStopsTheSoundAndPlayRepeatsNone)
{
    using testsupport::SinkMonitor;
    SlotPlayer p(SoundServer::runKind());
    ASSERT_NO_FATAL_FAILURE(p.setUp());
    const double inGraph = SoundServer::runKind() == SoundServer::Kind::pipeWire
        ? 2.0 * SinkMonitor::longestCycleFrames / SinkMonitor::rate : 0;
    // A sink that takes no rewinds plays out the block it has rendered; on a busy
    // machine that block ends up to about 50 ms after the Pause was handed over.
    const bool slow = SoundServer::runLatency() == SoundServer::Latency::oneSecond;
    const double slack = slow ? 0.1 : 0.04;
    // A Pause that reached the server late, as on a busy machine, is printed; one that
    // stopped nothing would leave half of what the stream holds (0.3 s, 1 s on the
    // slow sink) or more playing, and so would one late every time.
    const double unstopped = inGraph + (slow ? 0.5 : 0.15);
    int late = 0;
    // The picture keeps with the sound while playing; the sound that plays on after a
    // Pause is held to where the paused playhead goes below.
    std::vector<std::pair<double, double>> playing;
    for (int round = 0; round < 4; ++round) {
        p.player.play();
        const double played = SinkMonitor::now();
        // Paused once the sound has played a while, at different points of the graph's cycle.
        const double began = p.playUntilHeard(played);
        ASSERT_FALSE(std::isnan(began)) << "round " << round << ": no sound heard within 10 s of Play";
        // A null sink at rest plays a first stream after its period, up to 2 s.
        if (began - played > 0.3)
            std::cout << "[ play ] round " << round << ": the sound began " << (began - played) * 1000
                      << " ms after Play\n";
        p.playFor(1.2 + 0.13 * round - (SinkMonitor::now() - began));
        // The last Pause comes late, as on a busy machine: the playhead was told 0.7 s
        // before it, and the sound played on meanwhile.
        if (round == 3)
            QThread::msleep(700);
        const double pausing = SinkMonitor::now(); // the sound may stop before pause() returns
        p.player.pause();
        const double paused = SinkMonitor::now();
        playing.emplace_back(played, paused);
        p.playFor(0.6);
        const double after = p.expectRestsWhereTheSoundEnded(paused, "round " + std::to_string(round), pausing, played);
        if (!std::isnan(after)) {
            late += after > inGraph + slack;
            EXPECT_LE(after, unstopped) << "round " << round << ": the sound played on after Pause";
        }
    }
    EXPECT_LE(late, 1) << "rounds whose sound played on for longer than " << (inGraph + slack) * 1000
                       << " ms after Pause";
    EXPECT_LE(p.restsOff, 1) << "rounds whose paused playhead was not where the sound ended";
    EXPECT_LE(p.unplaced, 1) << "rounds with no slot heard between Play and Pause";
    p.expectWithTheSound(playing, "Pause and Play");
    p.expectNoneHeardTwice();
}

TEST(PlayerSound, ThePictureFollowsTheSoundAfterAShortStand)
{
    for (const Stand stand : {Stand::atPlay, Stand::duringASeek}) {
        SCOPED_TRACE(stand == Stand::atPlay ? "1 s at Play" : "3 s during a seek while playing");
        playThroughAStand(SoundServer::runKind(), stand);
    }
}

// Once per kind of server, each a test of its own: a stand takes 35 s.
TEST(PlayerSoundLongStand, PulseAudio)
{
    playThroughAStand(SoundServer::Kind::pulseAudio, Stand::long_);
}

TEST(PlayerSoundLongStand, PipeWire)
{
    playThroughAStand(SoundServer::Kind::pipeWire, Stand::long_);
}

// A Pause given 0.1 s into a stand of PulseAudio, on sinks at 48 and 44.1 kHz (the
// server resamples the stream): once the server goes on, the paused playhead rests
// where the sound ended, and the next Play repeats none of it.
TEST(PlayerSound, PauseDuringAStandRestsWhereTheSoundEnded)
{
    using testsupport::SinkMonitor;
    for (const int sinkRate : {48000, 44100}) {
        SCOPED_TRACE(sinkRate);
        SlotPlayer p(SoundServer::Kind::pulseAudio);
        ASSERT_NO_FATAL_FAILURE(p.setUp(sinkRate));
        p.playFor(2); // a fresh PulseAudio sink plays nothing before its first block of 2 s has passed
        int heard = 0;
        for (int round = 0; round < 5; ++round) {
            const std::string what = std::to_string(sinkRate) + " Hz, round " + std::to_string(round);
            p.player.play();
            p.playFor(1.0 + 0.07 * round);
            const double stood = SinkMonitor::now();
            p.server.stand(true);
            p.playFor(0.1);
            p.player.pause();
            const double paused = SinkMonitor::now();
            p.playFor(0.2);
            p.server.stand(false);
            p.playFor(0.8);
            heard += !std::isnan(p.expectRestsWhereTheSoundEnded(paused, what, stood - 0.3, stood - 1.0));
        }
        EXPECT_GE(heard, 4) << "rounds whose sound was heard";
        EXPECT_LE(p.restsOff, 1) << "rounds whose paused playhead was not where the sound ended";
        p.expectNoneHeardTwice();
    }
}

// PipeWire's graph takes another cycle when another program asks for one (here forced,
// 2048 frames to 8192, 1024, 4096 and back): while playing, the picture keeps with the
// sound from half a second after each change and nothing is heard twice; after a
// change while paused, Play and Pause every 0.3 s repeat nothing and each paused
// playhead rests where the sound ended.
TEST(PlayerSoundQuantum, PipeWire)
{
    using testsupport::SinkMonitor;
    ASSERT_TRUE(SoundServer::installed(SoundServer::Kind::pipeWire)) << "the test command installs pipewire";
    SlotPlayer p(SoundServer::Kind::pipeWire, SoundServer::Latency::usual);
    ASSERT_NO_FATAL_FAILURE(p.setUp());
    p.player.play();
    double from = SinkMonitor::now();
    p.playFor(1.5);
    std::vector<std::pair<double, double>> settled;
    for (const int quantum : {8192, 1024, 4096, 0}) {
        ASSERT_TRUE(p.server.forceQuantum(quantum));
        const double changed = SinkMonitor::now();
        settled.emplace_back(from, changed);
        from = changed + 0.5;
        p.playFor(2.5);
    }
    p.player.pause();
    settled.emplace_back(from, SinkMonitor::now());
    p.expectNeverBack(settled.front().first, settled.back().second);
    p.expectWithTheSound(settled, "the cycle changed while playing");
    p.playFor(0.6);
    for (const int quantum : {8192, 2048}) {
        ASSERT_TRUE(p.server.forceQuantum(quantum));
        p.playFor(0.3);
        for (int round = 0; round < 4; ++round) {
            p.player.play();
            const double played = SinkMonitor::now();
            p.playFor(0.3);
            p.player.pause();
            const double paused = SinkMonitor::now();
            p.playFor(0.6);
            p.expectRestsWhereTheSoundEnded(paused, std::to_string(quantum) + " frames, round " + std::to_string(round),
                                            NAN, played);
        }
        EXPECT_LE(std::exchange(p.restsOff, 0), 1)
            << quantum << " frames: rounds whose paused playhead was not where the sound ended";
    }
    p.expectNoneHeardTwice();
}

// Drop-outs as a Bluetooth output has them: the server held 50-300 ms every 1-3 s, on
// a sink of 0.2 s that takes no rewinds. The picture follows the sound heard: within
// 40 ms of it from 0.3 s after the server goes on, within 60 ms 95 % of the time
// throughout; the playhead never goes back and nothing is heard twice.
TEST(PlayerSoundDropOuts, PulseAudio)
{
    using testsupport::SinkMonitor;
    SlotPlayer p(SoundServer::Kind::pulseAudio, SoundServer::Latency::fifthOfASecond);
    ASSERT_NO_FATAL_FAILURE(p.setUp());
    std::mt19937 random(74);
    std::uniform_real_distribution<double> hold(0.05, 0.3), between(1, 3);
    p.player.play();
    const double played = SinkMonitor::now();
    p.playFor(1.5);
    std::vector<std::pair<double, double>> steady;
    double from = played + 1.0;
    while (SinkMonitor::now() < played + 20) {
        const double stood = SinkMonitor::now();
        steady.emplace_back(from, stood);
        p.server.stand(true);
        p.playFor(hold(random));
        p.server.stand(false);
        from = SinkMonitor::now() + 0.3;
        p.playFor(between(random));
    }
    p.player.pause();
    const double paused = SinkMonitor::now();
    steady.emplace_back(from, paused);
    p.expectNeverBack(played, paused);
    p.expectWithTheSound(steady, "from 0.3 s after each drop-out");
    std::vector<double> apart = p.monitor->pictureLessSound(p.looks, played + 1.0, paused);
    ASSERT_GT(apart.size(), 100u);
    const auto near = std::count_if(apart.begin(), apart.end(), [](double a) { return std::abs(a) <= 0.06; });
    EXPECT_GE(double(near), 0.95 * double(apart.size())) << "picture and sound within 60 ms, of " << apart.size() << " slots";
    p.expectNoneHeardTwice();
}
