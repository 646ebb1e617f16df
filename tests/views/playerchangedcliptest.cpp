#include "timeline/videoplayerservice.h"
#include "timeline/timelineplayer.h"

#include "support/clipgenerator.h"
#include "support/markingtranslator.h"
#include "support/timelinefixtures.h"
#include "mediatestutil.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace routereel;
using mediatest::centreColour;
using mediatest::near;
using testsupport::cut;
using testsupport::waitFor;

// A clip of the loaded timeline replaced on disk by a shorter file: past its new
// end there is no picture of it, and none of another clip may stand in for it.
TEST(PlayerChangedClip, PastAClipsNewEndThePreviewIsBlackAndNamesTheFile)
{
    enum class Replace { inPlace, byRename };
    for (const bool chinese : {false, true}) {
        for (const Replace replace : {Replace::inPlace, Replace::byRename}) {
            SCOPED_TRACE(std::string(chinese ? "Chinese, " : "English, ")
                         + (replace == Replace::inPlace ? "in place" : "by rename"));
            QTemporaryDir dir;
            const auto clip = [&](const char *name, double seconds, QColor colour) {
                return testsupport::makeClip(dir.path(), QString::fromLatin1(name),
                                             {seconds, 320, 240, 30, false, colour});
            };
            const QString red = clip("red.mp4", 2, QColor(255, 0, 0));
            const QString blue = clip("blue.mp4", 4, QColor(0, 0, 255));
            const QString shorter = clip("green.mp4", 1, QColor(0, 255, 0));
            ASSERT_FALSE(red.isEmpty() || blue.isEmpty() || shorter.isEmpty());
            VideoTimelineSnapshot s;
            s.sources = {VideoSource::probe(QUrl::fromLocalFile(red), QUuid::createUuid()),
                         VideoSource::probe(QUrl::fromLocalFile(blue), QUuid::createUuid())};
            s.segments = {cut(s.sources[0], 0, 2, 0), cut(s.sources[1], 0, 4, 2)};

            std::optional<testsupport::MarkingTranslator> translator;
            if (chinese)
                translator.emplace();
            auto *player = new TimelinePlayer;
            VideoPlayerService service(player);
            service.loadTimeline(s);
            ASSERT_TRUE(waitFor([&] { return service.isMetadataReady(); }));
            service.seek(2.5);
            ASSERT_TRUE(waitFor([&] { return !service.isSeeking(); }));
            ASSERT_TRUE(near(centreColour(*player), 0, 0, 255));

            if (replace == Replace::inPlace) {
                QFile source(shorter);
                QFile target(blue);
                ASSERT_TRUE(source.open(QIODevice::ReadOnly) && target.open(QIODevice::WriteOnly | QIODevice::Truncate));
                target.write(source.readAll());
            } else {
                ASSERT_TRUE(QFile::remove(blue) && QFile::rename(shorter, blue));
            }
            service.seek(0.5);
            ASSERT_TRUE(waitFor([&] { return !service.isSeeking(); }));
            ASSERT_TRUE(near(centreColour(*player), 255, 0, 0));
            service.seek(4.5); // 2.5 s into a clip now 1 s long
            // Told once the clip is opened again and read to its new end, which a busy
            // machine delays: the bound is for an error never told.
            ASSERT_TRUE(waitFor([&] { return !service.loadingError().isEmpty(); }, 30'000));
            EXPECT_TRUE(player->currentFrame().isNull()) << centreColour(*player).name().toStdString();
            const QString title = service.loadingError().section(QLatin1Char('\n'), 0, 0);
            EXPECT_EQ(title, (chinese ? QStringLiteral("<zh>") : QString()) + QStringLiteral("Cannot load video: blue.mp4"));
            EXPECT_GT(service.loadingError().size(), title.size()); // the detail, for the log
        }
    }
}
