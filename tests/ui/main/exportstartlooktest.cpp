// The look at an export's clips on a share, with the slow-disk preload's stat
// holds; ctest runs these as "OnAFaultyDisk.ui_main", elsewhere they skip.
#include "exportwindowfixture.h"

#include "support/clipgenerator.h"
#include "support/slowdisk.h"

#include <QDir>
#include <QProgressDialog>
#include <QPushButton>

#include <cerrno>
#include <cstring>

using namespace exportui;
using testsupport::faultydisk::StatHold;

// 150 clips on a share whose every stat takes 40 ms: more than the time one
// call may take, all told, but each call answers. The export starts, the user
// sees the look going on, and a clip whose stat stands is refused by name once
// its own call has stood for the limit, while the others answered; or the user
// gives up on it first, and nothing follows.
TEST(ExportStartOnASlowShare, ASlowShareExportsAndAClipThatDoesNotAnswerIsNamed)
{
    if (!testsupport::slowdisk::active())
        GTEST_SKIP() << "needs the slow-disk preload (ctest runs this as OnAFaultyDisk.ui_main)";
    constexpr int clips = 150;
    struct Case {
        const char *name;
        std::optional<int> hung;  // the clip whose stat stands
        bool cancel = false;      // the user cancels the look once it shows
    };
    for (const Case &c : {Case{"slow share", std::nullopt}, Case{"one clip does not answer", 140},
                          Case{"cancelled while a clip does not answer", 20, true}}) {
        SCOPED_TRACE(c.name);
        ExportWindow w;
        w.addTrack(30);
        const QString share = w.dir.filePath(QStringLiteral("share"));
        ASSERT_TRUE(QDir().mkpath(share));
        // The player's plan reads clips: one real clip, copied.
        const QString clip = testsupport::makeClip(w.dir.path(), QStringLiteral("clip.mp4"),
                                                   {.seconds = 1, .width = 160, .height = 120, .audio = false});
        QStringList paths;
        for (int i = 0; i < clips; ++i) {
            paths << QDir(share).filePath(QStringLiteral("clip%1.mp4").arg(i, 3, 10, QLatin1Char('0')));
            ASSERT_TRUE(QFile::copy(clip, paths.last()));
            VideoSource source = testsupport::source(1, 1920, 1080, true, paths.last());
            source.fps = 25;
            w.engine.importVideo(source);
        }
        // The player's plan of 150 clips may take longer than the fixture waits for one.
        w.state.setCompositionMode(CompositionMode::regular);
        w.player.loadTimeline(w.engine.videoSnapshot());
        ASSERT_TRUE(testsupport::waitFor([&] { return w.media->replaceCount > 0; }, 60'000))
            << w.player.loadingError().toStdString();
        w.media->settle(PreviewPlayer::ItemStatus::readyToPlay);

        StatHold slow(share, 40);
        // Far longer than the look may wait for one call: answered, it would let the export go on.
        std::optional<StatHold> hung;
        if (c.hung)
            hung.emplace(paths.at(*c.hung), 30'000);
        const long mainThreadStats = StatHold::mainThreadStats();
        w.action.startExport();
        if (!c.hung || c.cancel) {
            // Cancelled, once the clips before the one that stands have answered.
            const int answered = c.cancel ? *c.hung : 1;
            ASSERT_TRUE(testsupport::waitFor([&] {
                return w.action.lookProgress() && w.action.lookProgress()->isVisible()
                    && w.action.lookProgress()->value() >= answered;
            }, 20'000)) << "the look is not shown";
        }
        if (c.cancel)
            w.action.lookProgress()->findChild<QPushButton *>()->click();
        ASSERT_TRUE(testsupport::waitFor([&] { return !w.action.isCheckingSources(); }, 120'000));
        EXPECT_FALSE(w.action.lookProgress());
        EXPECT_EQ(StatHold::mainThreadStats() - mainThreadStats, 0) << "stats on the window's thread";

        const qsizetype tasks = w.queue.pending().size() + (w.queue.current() ? 1 : 0) + w.queue.history().size();
        if (c.cancel) {
            EXPECT_TRUE(w.errors.isEmpty());
            EXPECT_TRUE(w.proposed.isEmpty());
            EXPECT_EQ(tasks, 0);
        } else if (c.hung) {
            ASSERT_EQ(w.errors.size(), 1);
            EXPECT_EQ(w.errors[0], ExportError::sourceVideoUnreadable(paths.at(*c.hung), QString::fromLocal8Bit(
                                                                          std::strerror(ETIMEDOUT))).message());
            EXPECT_TRUE(w.proposed.isEmpty());
            EXPECT_EQ(tasks, 0);
        } else {
            EXPECT_TRUE(w.errors.isEmpty()) << w.errors.join('\n').toStdString();
            EXPECT_EQ(w.proposed.size(), 1);
            EXPECT_EQ(tasks, 1);
        }
    }
}
