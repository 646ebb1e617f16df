#pragma once

#include "timeline/playerscriptedplayer.h"
#include "timeline/videoplayerservice.h"
#include "ui/main/mainwindow.h"

#include "support/timelinefixtures.h"
#include "support/waitfor.h"

#include <gtest/gtest.h>

namespace testsupport {

// A clip of 10 s in the window's timeline, and the scripted player settled on it.
inline void settleOnAClip(routereel::MainWindow &window, ScriptedPlayer *&player)
{
    routereel::VideoTimelineSnapshot clip;
    clip.sources = {source(10)};
    clip.segments = {cut(clip.sources[0], 0, 10, 0)};
    const int replaced = player->replaceCount;
    window.playerService().loadTimeline(clip);
    EXPECT_TRUE(waitFor([&] { return player->replaceCount > replaced; }));
    player->settle(routereel::PreviewPlayer::ItemStatus::readyToPlay);
    player->completeSeek();
}

} // namespace testsupport
