#include "projectfakes.h"

#include "project/projectstage.h"

#include <QTimer>
#include <gtest/gtest.h>

using namespace routereel;
using namespace projecttest;
using Stage = ProjectStage::Stage;

namespace {

// A read the test finishes, and the log of what ran.
struct Script {
    ProjectStage stage;
    QStringList ran;
    std::deque<QPromise<void>> reads;

    void read(const QString &name)
    {
        reads.emplace_back().start();
        stage.queueRead(reads.back().future(), [this, name] {
            ran << name;
            EXPECT_EQ(stage.stage(), Stage::applying);
        }, name);
    }
    std::function<void()> note(const QString &name)
    {
        return [this, name] { ran << name; };
    }
};

} // namespace

// Commands run in the order the user gave them, each after the reads asked
// before it; a command with nothing before it runs at once.
TEST(ProjectStage, CommandsKeepTheirPlaceBehindReads)
{
    Script s;
    s.stage.whenRead(s.note("at once"), "at once");
    EXPECT_EQ(s.ran, QStringList{"at once"});
    EXPECT_TRUE(s.stage.isReady());

    s.read("session");
    s.stage.whenRead(s.note("save"), "save");
    s.read("open");
    s.stage.whenRead(s.note("save as"), "save as");
    EXPECT_EQ(s.stage.stage(), Stage::reading);
    s.reads[1].finish();  // the later read first: it waits for the earlier
    spinEvents();
    EXPECT_EQ(s.ran, QStringList{"at once"});
    s.reads[0].finish();
    ASSERT_TRUE(spinUntil([&] { return s.stage.isReady(); }));
    EXPECT_EQ(s.ran, (QStringList{"at once", "session", "save", "open", "save as"}));
}

// Imports also wait for the restore of the project's video and for a track
// import before them; what a running command asks goes before what came after it.
TEST(ProjectStage, ImportsWaitForTheRestoreAndNestedRequestsKeepTheirTurn)
{
    Script s;
    auto *restore = new QObject;
    s.stage.setRestoring(restore);
    EXPECT_EQ(s.stage.stage(), Stage::restoring);
    s.stage.whenRead(s.note("save"), "save");  // a save needs no video: it writes the saved pieces
    s.stage.whenReady([&] {
        s.ran << "drop";
        s.stage.whenReady(s.note("drop's track"), "drop's track");
    }, "drop");
    s.stage.whenRead(s.note("save after the drop"), "save after the drop");
    EXPECT_EQ(s.ran, QStringList{"save"});
    delete restore;
    ASSERT_TRUE(spinUntil([&] { return s.ran.size() == 4; }));
    EXPECT_EQ(s.ran, (QStringList{"save", "drop", "drop's track", "save after the drop"}));

    QPromise<void> track;
    track.start();
    s.stage.whenReady([&] { s.stage.holdUntil(track.future(), "track"); }, "import");
    s.stage.whenRead(s.note("save after the track"), "save after the track");
    spinEvents();
    EXPECT_FALSE(s.stage.isReady());
    EXPECT_EQ(s.ran.size(), 4);
    track.finish();
    ASSERT_TRUE(spinUntil([&] { return s.stage.isReady(); }));
    EXPECT_EQ(s.ran.last(), QStringLiteral("save after the track"));
}

// The quit applies the reads that finished within its wait and says whether one is still pending.
TEST(ProjectStage, SettleAppliesWhatWasReadAndTellsWhatWasNot)
{
    Script s;
    s.read("session");
    s.stage.whenRead(s.note("save"), "save");
    s.read("open");
    s.reads[0].finish();
    EXPECT_FALSE(s.stage.settle(50));
    EXPECT_EQ(s.ran, (QStringList{"session", "save"}));
    s.reads[1].finish();
    EXPECT_TRUE(s.stage.settle(50));
    EXPECT_EQ(s.ran.last(), QStringLiteral("open"));
}

// A quit carries out the commands held by an import once the import has landed;
// what its bound leaves, or a closing window drops, is named, never run later.
TEST(ProjectStage, AQuitCarriesOutWhatAnImportHoldsAndNamesWhatItCannot)
{
    struct Case {
        const char *what;
        int landsAfterMs;  // -1: never
        QStringList ran;
        QStringList left;
    };
    const Case cases[] = {
        {"the import lands within the bound", 50, {"read", "save"}, {}},
        {"the import never lands", -1, {"read"}, {"import ride.gpx", "save"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Script s;
        s.read("read");
        QPromise<void> track;
        track.start();
        s.stage.whenReady([&] { s.stage.holdUntil(track.future(), "import ride.gpx"); }, "import");
        s.stage.whenRead(s.note("save"), "save");
        s.reads[0].finish();
        if (c.landsAfterMs >= 0)
            QTimer::singleShot(c.landsAfterMs, [&] { track.finish(); });
        EXPECT_EQ(s.stage.settle(c.landsAfterMs >= 0 ? 5000 : 200), c.left.isEmpty());
        EXPECT_EQ(s.ran, c.ran);
        EXPECT_EQ(s.stage.unfinished(), c.left);
        EXPECT_EQ(s.stage.abandon(), c.left);
        track.finish();
        spinEvents();
        EXPECT_EQ(s.ran, c.ran) << "a command ran after the window went";
    }
}
