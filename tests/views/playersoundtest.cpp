#include "timeline/previewcomposition.h"
#include "timeline/previewsound.h"
#include "timeline/timelineplayer.h"

#include "support/clipgenerator.h"
#include "support/soundplan.h"
#include "support/soundserver.h"
#include "support/waitfor.h"
#include "mediatestutil.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <vector>

using namespace routereel;
using testsupport::SoundServer;
using testsupport::waitFor;

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
// playhead (which places the picture) stays within 40 ms of the sound heard, on a
// sink of the usual latency and on one of about 1 s; without a sound device the
// playhead moves at once.
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
                }
                return wall.elapsed() > 3000;
            }, 10'000, 2);
            ASSERT_GE(movedAfter, 0) << "the playhead does not move";
            if (device == Device::none) {
                EXPECT_LT(movedAfter, 500) << "without a device the playhead waits";
                continue;
            }
            ASSERT_TRUE(heard);
            std::ostringstream around; // the looks about the worst: ms after the start; sound, playhead, sound
            for (std::size_t i = worstAt > 8 ? worstAt - 8 : 0; i < std::min(looks.size(), worstAt + 8); ++i)
                around << "\n  " << looks[i].wall << " ms: " << looks[i].before << " " << looks[i].t << " " << looks[i].after;
            EXPECT_LE(worst, 0.04) << "picture and sound apart" << around.str();
        }
        player.pause();
    }
}
