// Clips whose disk refuses reads while they play: a failing sector (a byte range
// answering EIO) and a folder that drops out. The faulty disk is the slow-disk
// preload's, which ctest loads for "OnAFaultyDisk.views".
#include "timeline/changedclip.h"
#include "timeline/timelineplayer.h"
#include "timeline/videoplayerservice.h"

#include "support/clipgenerator.h"
#include "support/packetbytes.h"
#include "support/slowdisk.h"
#include "support/timelinefixtures.h"
#include "support/waitfor.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cerrno>
#include <iostream>
#include <iterator>

using namespace routereel;
using testsupport::waitFor;

namespace {

constexpr double fps = 30;

// The player and what it showed and told, with the milliseconds since play.
struct Played {
    TimelinePlayer *player = new TimelinePlayer;
    VideoPlayerService service{player};
    QElapsedTimer clock;
    QList<std::pair<qint64, int>> frames;
    QList<double> playheads;  // where the playhead was as each of `frames` came
    QList<std::pair<qint64, QString>> told;

    Played()
    {
        QObject::connect(player, &PreviewPlayer::frameChanged, [this] {
            const int n = testsupport::frameNumberOf(player->currentFrame());
            if (n >= 0 && (frames.isEmpty() || frames.back().second != n)) {
                frames.append({clock.elapsed(), n});
                playheads.append(service.clock()->playheadTime());
            }
        });
        QObject::connect(&service, &VideoPlayerService::loadingErrorChanged, [this] {
            if (!service.loadingError().isEmpty())
                told.append({clock.elapsed(), service.loadingError()});
        });
    }
    bool playThrough(const QString &clip, double seconds)
    {
        const VideoSource source = VideoSource::probe(QUrl::fromLocalFile(clip), QUuid::createUuid());
        VideoTimelineSnapshot s;
        s.sources = {source};
        s.segments = {testsupport::cut(source, 0, seconds, 0)};
        service.loadTimeline(s);
        if (!waitFor([&] { return service.isMetadataReady() && !service.isSeeking(); }, 20000))
            return false;
        clock.start();
        service.play();
        return waitFor([&] { return !service.wantsToPlay(); }, 60000);
    }
};

} // namespace

// Pictures 2.2 s to 2.8 s of a clip with a keyframe every second lie on a sector
// that answers EIO. Read again at once it may heal: then nothing is missed and
// nothing told. Still refusing, it is told once, by file, and the picture goes on
// from the keyframe at 3 s: no picture after the stretch is one from before it;
// paused inside the stretch, the preview is black.
TEST(PlayerOnAFaultyDisk, PlayingGoesOnPastAStretchTheDiskRefuses)
{
    if (!testsupport::slowdisk::entry<void *>("routereel_faultydisk_set"))
        GTEST_SKIP() << "needs the faulty-disk preload (ctest runs this as OnAFaultyDisk.views)";
    QTemporaryDir dir;
    const QString clip = testsupport::makeNumberedCameraClip(dir.path(), QStringLiteral("ride.mp4"), 5, 320, 180, fps, 1);
    ASSERT_FALSE(clip.isEmpty());
    const auto [from, to] = testsupport::packetBytes(clip, AVMEDIA_TYPE_VIDEO, 2.2, 2.8);
    ASSERT_GT(to, from);
    const int stretchStart = int(2.2 * fps), stretchEnd = int(2.8 * fps), nextKey = int(3 * fps);
    const struct {
        const char *name;
        long failures;
        bool told;
    } cases[] = {{"a sector that reads on the next try", 1, false}, {"a sector that never reads", -1, true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::faultydisk::Fault fault(clip, from, to, c.failures);
        ASSERT_TRUE(fault.active());
        const long faultsBefore = testsupport::faultydisk::faultsGiven();
        Played p;
        ASSERT_TRUE(p.playThrough(clip, 5)) << "the playhead stands at " << p.service.clock()->playheadTime();
        EXPECT_GT(testsupport::faultydisk::faultsGiven(), faultsBefore) << "the stretch was read";
        EXPECT_NE(p.player->itemStatus(), PreviewPlayer::ItemStatus::failed);
        EXPECT_NEAR(p.service.clock()->playheadTime(), 5, 0.1);
        ASSERT_FALSE(p.frames.isEmpty());
        EXPECT_GE(p.frames.back().second, int(4.8 * fps)) << "the picture froze at frame " << p.frames.back().second;

        int before = -1; // the last picture shown from before the stretch
        for (qsizetype i = 0; i < p.frames.size(); ++i) {
            if (i > 0)
                EXPECT_GT(p.frames[i].second, p.frames[i - 1].second) << "in play order";
            if (p.frames[i].second < stretchStart)
                before = int(i);
        }
        ASSERT_GE(before, 0);
        ASSERT_LT(before + 1, p.frames.size());
        const auto [resumedAt, resumedWith] = p.frames[before + 1];
        // A busy machine shows fewer pictures to keep up with the playhead: the one
        // after the stretch may be where the playhead had come to.
        const int playheadFrame = int(std::floor(p.playheads[before + 1] * fps));
        if (c.told) {
            EXPECT_GE(resumedWith, stretchEnd) << "a picture after the stretch comes from after it";
            // From the next keyframe on, never one later than needed.
            EXPECT_LE(resumedWith, std::max(nextKey, playheadFrame) + 3)
                << "from the next keyframe on; the playhead was at frame " << playheadFrame;
            ASSERT_EQ(p.told.size(), 1);
            EXPECT_TRUE(p.told.front().second.contains(QStringLiteral("ride.mp4")))
                << p.told.front().second.toStdString();
            EXPECT_TRUE(p.service.loadingErrorIsSoundOnly()) << "the item plays on";
            std::cout << "[ figures  ] held frame " << p.frames[before].second << " from " << p.frames[before].first
                      << " ms; told at " << p.told.front().first << " ms; frame " << resumedWith << " at "
                      << resumedAt << " ms (" << resumedAt - p.told.front().first << " ms after the telling)\n";
            // Paused inside the stretch: black, not a picture of another moment, and the
            // seek ends.
            p.service.seek(2.5);
            ASSERT_TRUE(waitFor([&] { return !p.service.isSeeking(); }, 20000));
            EXPECT_TRUE(p.player->currentFrame().isNull())
                << "frame " << testsupport::frameNumberOf(p.player->currentFrame()) << " shown at 2.5 s";
            EXPECT_EQ(p.told.size(), 1);
        } else {
            EXPECT_LE(resumedWith, std::max(p.frames[before].second + 1, playheadFrame + 3))
                << "nothing missed; the playhead was at frame " << playheadFrame;
            EXPECT_TRUE(p.told.isEmpty()) << p.told.front().second.toStdString();
        }
    }
}

// The folder of a playing clip drops out (a share: ENOTCONN, ESTALE) for 1.5 s and
// comes back. The playhead runs on over it, the failure is told once, and once the
// folder answers the pictures go on by themselves, from where the playhead is then,
// without a seek.
TEST(PlayerOnAFaultyDisk, PlayingGoesOnWhenTheClipsFolderAnswersAgain)
{
    if (!testsupport::slowdisk::entry<void *>("routereel_outage_set"))
        GTEST_SKIP() << "needs the faulty-disk preload (ctest runs this as OnAFaultyDisk.views)";
    QTemporaryDir dir;
    const QString clip = testsupport::makeNumberedCameraClip(dir.path(), QStringLiteral("share.mp4"), 7, 320, 180, fps, 1);
    ASSERT_FALSE(clip.isEmpty());
    for (const int error : {ENOTCONN, ESTALE}) {
        SCOPED_TRACE(error);
        testsupport::faultydisk::FolderOutage outage(dir.path(), error, false);
        ASSERT_TRUE(outage.active());
        Played p;
        double out = 0, back = 0;
        qint64 backAt = 0;
        QObject::connect(p.service.clock(), &PlaybackClock::playheadTimeChanged, [&] {
            const double t = p.service.clock()->playheadTime();
            if (out == 0 && t >= 1.5) {
                out = t;
                outage.fail(error);
            } else if (out > 0 && back == 0 && t >= out + 1.5) {
                back = t;
                backAt = p.clock.elapsed();
                outage.heal();
            }
        });
        ASSERT_TRUE(p.playThrough(clip, 7)) << "the playhead stands at " << p.service.clock()->playheadTime();
        ASSERT_GT(back, 0);
        EXPECT_NE(p.player->itemStatus(), PreviewPlayer::ItemStatus::failed);
        ASSERT_EQ(p.told.size(), 1);
        EXPECT_TRUE(p.told.front().second.contains(QStringLiteral("share.mp4"))) << p.told.front().second.toStdString();
        ASSERT_FALSE(p.frames.isEmpty());
        EXPECT_GE(p.frames.back().second, int(6.8 * fps)) << "the picture froze at frame " << p.frames.back().second;
        // The first picture shown after the folder is back is one from then on.
        const auto resumed = std::find_if(p.frames.begin(), p.frames.end(), [&](const auto &f) { return f.first > backAt; });
        ASSERT_NE(resumed, p.frames.end());
        EXPECT_GE(resumed->second, int(back * fps) - 2);
        const auto held = std::prev(resumed);
        EXPECT_LT(held->second, int(back * fps) - 2) << "the picture held while the folder was away";
        std::cout << "[ figures  ] folder away at " << out << " s, back at " << back << " s; held frame " << held->second
                  << "; frame " << resumed->second << " " << resumed->first - backAt << " ms after the folder was back\n";
    }
}

// A clip's folder not answering tells nothing of the clip being replaced: taken for
// one, a cut into another piece of it would reopen it and fail while the folder is
// away. A clip that is gone is still one.
TEST(PlayerOnAFaultyDisk, AFolderAwayIsNoReplacedClip)
{
    if (!testsupport::slowdisk::entry<void *>("routereel_outage_set"))
        GTEST_SKIP() << "needs the faulty-disk preload (ctest runs this as OnAFaultyDisk.views)";
    QTemporaryDir dir;
    const QString clip = testsupport::makeNumberedClip(dir.path(), QStringLiteral("a.mp4"), 0.5);
    ASSERT_FALSE(clip.isEmpty());
    const QUrl url = QUrl::fromLocalFile(clip);
    ChangedClip changed;
    EXPECT_FALSE(changed.noticeReplacement(url));
    for (const int error : {ENOTCONN, ESTALE, EIO}) {
        testsupport::faultydisk::FolderOutage outage(dir.path(), error);
        ASSERT_TRUE(outage.active());
        EXPECT_FALSE(changed.noticeReplacement(url)) << error;
    }
    EXPECT_FALSE(changed.noticeReplacement(url)) << "back as it was";
    ASSERT_TRUE(QFile::remove(clip));
    EXPECT_TRUE(changed.noticeReplacement(url)) << "gone";
}

// The next piece's clip lies in a folder that is away when the deck opens it, and
// comes back after the cut. Its open is tried again rather than failing the
// timeline: the playhead runs on across the cut over black, the failure is told
// once, and the clip's pictures show once its folder answers.
TEST(PlayerOnAFaultyDisk, AClipWhoseFolderIsAwayWhenItIsOpenedPlaysOnceItIsBack)
{
    if (!testsupport::slowdisk::entry<void *>("routereel_outage_set"))
        GTEST_SKIP() << "needs the faulty-disk preload (ctest runs this as OnAFaultyDisk.views)";
    QTemporaryDir here, share;
    const QString first = testsupport::makeNumberedClip(here.path(), QStringLiteral("here.mp4"), 2);
    const QString second = testsupport::makeNumberedCameraClip(share.path(), QStringLiteral("away.mp4"), 3, 320, 180, fps, 1);
    ASSERT_FALSE(first.isEmpty());
    ASSERT_FALSE(second.isEmpty());
    const VideoSource a = VideoSource::probe(QUrl::fromLocalFile(first), QUuid::createUuid());
    const VideoSource b = VideoSource::probe(QUrl::fromLocalFile(second), QUuid::createUuid());
    Played p;
    VideoTimelineSnapshot s;
    s.sources = {a, b};
    s.segments = {testsupport::cut(a, 0, 2, 0), testsupport::cut(b, 0, 3, 2)};
    p.service.loadTimeline(s);
    ASSERT_TRUE(waitFor([&] { return p.service.isMetadataReady() && !p.service.isSeeking(); }, 20000));
    testsupport::faultydisk::FolderOutage outage(share.path(), ENOTCONN);
    ASSERT_TRUE(outage.active());
    double back = 0;
    qint64 backAt = 0;
    int beforeShownAfterTheCut = 0;
    QObject::connect(p.service.clock(), &PlaybackClock::playheadTimeChanged, [&] {
        const double t = p.service.clock()->playheadTime();
        if (t > 2.1 && t < 2.9 && !p.player->currentFrame().isNull())
            ++beforeShownAfterTheCut;
        if (back == 0 && t >= 3) {
            back = p.service.clock()->playheadTime();
            backAt = p.clock.elapsed();
            outage.heal();
        }
    });
    p.clock.start();
    p.service.play();
    ASSERT_TRUE(waitFor([&] { return !p.service.wantsToPlay(); }, 60000))
        << "the playhead stands at " << p.service.clock()->playheadTime();
    EXPECT_NE(p.player->itemStatus(), PreviewPlayer::ItemStatus::failed) << p.player->itemError().toStdString();
    EXPECT_NEAR(p.service.clock()->playheadTime(), 5, 0.1);
    EXPECT_EQ(beforeShownAfterTheCut, 0) << "black past the cut, not the piece before's picture";
    ASSERT_EQ(p.told.size(), 1);
    EXPECT_TRUE(p.told.front().second.contains(QStringLiteral("away.mp4"))) << p.told.front().second.toStdString();
    // The second clip's pictures, numbered from its own start, once the folder is back.
    const auto resumed = std::find_if(p.frames.begin(), p.frames.end(), [&](const auto &f) { return f.first > backAt; });
    ASSERT_NE(resumed, p.frames.end());
    EXPECT_GE(resumed->second, int((back - 2) * fps) - 2);
    EXPECT_GE(p.frames.back().second, int(2.8 * fps));
    std::cout << "[ figures  ] folder back at " << back << " s; frame " << resumed->second << " of the clip shown "
              << resumed->first - backAt << " ms later\n";
}
