#include "timeline/previewcomposition.h"
#include "timeline/previewsound.h"
#include "timeline/views/timelineplayer.h"

#include "support/clipgenerator.h"
#include "support/soundserver.h"
#include "support/waitfor.h"
#include "mediatestutil.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

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
