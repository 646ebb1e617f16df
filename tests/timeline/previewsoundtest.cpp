#include "timeline/previewclock.h"
#include "timeline/previewsound.h"

#include "support/clipgenerator.h"
#include "support/soundserver.h"
#include "support/waitfor.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace routereel;
using testsupport::SoundServer;
using testsupport::waitFor;

// Starts, seeks while playing and stops tell no time without a server; with one,
// the time heard starts at the start, never steps back and is gone once stopped.
// A file that cannot be read is told, not played.
TEST(PreviewSound, TellsTheTimeHeardOnlyWhilePlayingOnADevice)
{
    QTemporaryDir dir;
    const QString clip = testsupport::makeClip(dir.path(), QStringLiteral("clip.mp4"), {.seconds = 3});
    ASSERT_FALSE(clip.isEmpty());
    for (const bool device : {false, true}) {
        SCOPED_TRACE(device ? "null sink" : "no server");
        SoundServer server;
        if (device)
            ASSERT_TRUE(server.start()) << "the test command installs pulseaudio";
        PreviewSound sound;
        if (device)
            ASSERT_TRUE(waitFor([&] { return sound.hasOutput(); }, 10'000));
        QStringList failed;
        QObject::connect(&sound, &PreviewSound::readFailed, [&](const QString &message) { failed << message; });
        sound.setPieces({{0, 2, clip, 0.5}, {2, 2.5, dir.filePath(QStringLiteral("gone.mp4")), 0}});
        EXPECT_FALSE(sound.playedTime());

        sound.start(0.2);
        if (device) {
            ASSERT_TRUE(waitFor([&] { return sound.playedTime().has_value(); }, 10'000));
            double last = *sound.playedTime();
            EXPECT_GE(last, 0.2);
            sound.start(1.8); // a seek while playing, on to the unreadable file
            waitFor([&] {
                if (const auto t = sound.playedTime()) {
                    EXPECT_GE(*t, 1.8);
                    EXPECT_GE(*t, last);
                    last = *t;
                }
                return !failed.isEmpty();
            }, 10'000);
            ASSERT_EQ(failed.size(), 1);
            EXPECT_TRUE(failed.first().contains(QStringLiteral("gone.mp4")));
        } else {
            waitFor([] { return false; }, 300);
            EXPECT_FALSE(sound.hasOutput());
            EXPECT_FALSE(sound.playedTime());
            EXPECT_TRUE(failed.isEmpty()); // nothing is decoded for no one
        }
        sound.stop();
        EXPECT_FALSE(sound.playedTime());
    }
}

// A clock following the sound, as the player's does, while the server comes and
// goes: none at the start, one starting while playing, going away mid-play and
// coming back. The clock moves on throughout (standing at most while it waits for
// the sound) and reaches the end; a server that comes is played to, and the sound
// heard then is within 40 ms of the clock.
TEST(PreviewSound, AServerThatComesGoesOrComesBackLeavesTheClockRunningAndIsPlayedTo)
{
    ASSERT_TRUE(SoundServer::installed()) << "the test command installs pulseaudio";
    QTemporaryDir dir;
    const double length = 20;
    const QString clip = testsupport::makeClip(dir.path(), QStringLiteral("clip.mp4"), {.seconds = length, .width = 64, .height = 64});
    ASSERT_FALSE(clip.isEmpty());

    SoundServer server;
    PreviewSound sound;
    sound.setPieces({{0, length, clip, 0}});
    PreviewClock clock;
    clock.setSound([&] { return sound.playedTime(); }, [&](double t) { sound.start(t); },
                   [&] { return sound.startSeconds(); });
    clock.start(0);
    sound.start(0);
    double last = clock.now();
    double worstOff = 0;
    const auto playUntil = [&](auto done) {
        return waitFor([&] {
            clock.follow();
            const double t = clock.now();
            EXPECT_GE(t, last);
            last = t;
            if (const auto heard = sound.playedTime())
                worstOff = std::max(worstOff, std::abs(*heard - t));
            return done();
        }, 20'000, 16);
    };

    ASSERT_TRUE(playUntil([&] { return clock.now() > 0.5; }));
    EXPECT_FALSE(sound.playedTime()); // no server yet
    ASSERT_TRUE(server.start());
    const qint64 before = sound.framesPlayed();
    ASSERT_TRUE(playUntil([&] { return sound.framesPlayed() > before + 24000 && sound.playedTime(); }))
        << "a server started after launch is not played to";

    server.stop();
    ASSERT_TRUE(playUntil([&] { return !sound.playedTime(); }));
    const double gone = clock.now();
    ASSERT_TRUE(playUntil([&] { return clock.now() > gone + 1; })) << "the clock stands while the server is gone";

    ASSERT_TRUE(server.start());
    const qint64 again = sound.framesPlayed();
    ASSERT_TRUE(playUntil([&] { return sound.framesPlayed() > again + 24000 && sound.playedTime(); }))
        << "a server that came back is not played to";
    // Once heard, the sound stays in step with the clock.
    const double back = clock.now();
    worstOff = 0;
    ASSERT_TRUE(playUntil([&] { return clock.now() > back + 1; }));
    EXPECT_LT(worstOff, 0.04);
    ASSERT_TRUE(playUntil([&] { return clock.now() >= length; })) << "the end is never reached";
}
