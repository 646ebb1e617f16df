#include "project/videoplayeradapter.h"

#include "timeline/playerscriptedplayer.h"
#include "timeline/videoplayerservice.h"

#include "support/timelinefixtures.h"
#include "support/waitfor.h"

#include <gtest/gtest.h>

using namespace routereel;
using testsupport::waitFor;
using Status = PreviewPlayer::ItemStatus;

namespace {

VideoTimelineSnapshot wholeClip(const QString &path)
{
    VideoTimelineSnapshot s;
    s.sources = {testsupport::source(10, 1920, 1080, true, path)};
    s.segments = {testsupport::cut(s.sources[0], 0, 10, 0)};
    return s;
}

} // namespace

// The project roads drive the real player service through the adapter and hear its state.
TEST(VideoPlayerAdapter, ForwardsCommandsStateAndSignals)
{
    auto *scripted = new ScriptedPlayer;
    VideoPlayerService service(scripted);
    VideoPlayerAdapter adapter(service);
    int loadedChanges = 0;
    int errorChanges = 0;
    QObject::connect(&adapter, &ProjectPlayer::isLoadedChanged, [&] { ++loadedChanges; });
    QObject::connect(&adapter, &ProjectPlayer::loadingErrorChanged, [&] { ++errorChanges; });

    adapter.loadTimeline(wholeClip(QStringLiteral("/clips/a.mov")));
    ASSERT_TRUE(waitFor([&] { return scripted->replaceCount == 1; }));
    scripted->settle(Status::readyToPlay);
    EXPECT_TRUE(adapter.isLoaded());
    EXPECT_EQ(loadedChanges, 1);
    EXPECT_EQ(adapter.videoURL(), QUrl::fromLocalFile(QStringLiteral("/clips/a.mov")));

    adapter.scrub(4);
    EXPECT_EQ(adapter.playheadTime(), 4);
    adapter.seek(7);
    EXPECT_EQ(scripted->seeks.back().seconds, 7);
    scripted->play();
    adapter.pause();
    EXPECT_FALSE(scripted->isPlaying());

    adapter.loadTimeline(wholeClip(QStringLiteral("/clips/broken.mp4")));
    ASSERT_TRUE(waitFor([&] { return scripted->replaceCount == 2; }));
    scripted->settle(Status::failed, QStringLiteral("Could not decode"));
    EXPECT_EQ(adapter.loadingError(), QStringLiteral("Could not decode"));
    EXPECT_GE(errorChanges, 1);

    adapter.loadOverlayOnly(std::pair(2.0, 12.0), QSizeF(1080, 1920));
    EXPECT_TRUE(adapter.isLoaded());
    EXPECT_TRUE(adapter.videoURL().isEmpty());
    adapter.reset();
    EXPECT_FALSE(adapter.isLoaded());
    EXPECT_EQ(adapter.playheadTime(), 0);
}
