#include "timeline/views/previewsound.h"

#include "support/clipgenerator.h"
#include "support/waitfor.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace routereel;

// Starts, seeks while playing and stops tell no time where there is no device; with
// one, the time heard starts at the start, never steps back and is gone once
// stopped. A file that cannot be read is told, not played.
TEST(PreviewSound, TellsTheTimeHeardOnlyWhilePlayingOnADevice)
{
    QTemporaryDir dir;
    const QString clip = testsupport::makeClip(dir.path(), QStringLiteral("clip.mp4"), {.seconds = 3});
    ASSERT_FALSE(clip.isEmpty());
    const bool device = !QMediaDevices::defaultAudioOutput().isNull();

    PreviewSound sound;
    EXPECT_EQ(sound.hasOutput(), device);
    QSignalSpy failed(&sound, &PreviewSound::readFailed);
    sound.setPieces({{0, 2, clip, 0.5}, {2, 2.5, dir.filePath(QStringLiteral("gone.mp4")), 0}});
    EXPECT_FALSE(sound.playedTime());

    sound.start(0.2);
    if (device) {
        ASSERT_TRUE(testsupport::waitFor([&] { return sound.playedTime().has_value(); }, 10'000));
        double last = *sound.playedTime();
        EXPECT_GE(last, 0.2);
        sound.start(1.8); // a seek while playing, on to the unreadable file
        testsupport::waitFor([&] {
            if (const auto t = sound.playedTime()) {
                EXPECT_GE(*t, 1.8);
                EXPECT_GE(*t, last);
                last = *t;
            }
            return !failed.isEmpty();
        }, 10'000);
        ASSERT_EQ(failed.size(), 1);
        EXPECT_TRUE(failed.first().first().toString().contains(QStringLiteral("gone.mp4")));
    } else {
        sound.start(1.8);
        testsupport::waitFor([] { return false; }, 100);
        EXPECT_FALSE(sound.playedTime());
        EXPECT_TRUE(failed.isEmpty()); // nothing is decoded without a device
    }
    sound.stop();
    EXPECT_FALSE(sound.playedTime());
}
