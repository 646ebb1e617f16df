// Random timelines (see randomtimelines.h): each exported frame and each paused
// preview picture is the one the clip's own frame list puts on screen at that instant.
// The export draws from the kinds the preview cannot show yet too.
#include "timeline/videoplayerservice.h"
#include "timeline/timelineplayer.h"

#include "../export/exporttestutil.h"
#include "randomtimelines.h"
#include "support/colourreference.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <random>

using namespace routereel;
using namespace exporttest;
using namespace randomtimelines;
using testsupport::waitFor;

namespace {

std::string listed(const QList<int> &numbers)
{
    std::string s;
    for (const int n : numbers)
        s += std::to_string(n) + " ";
    return s;
}

} // namespace

TEST(RandomTimelines, EveryExportedFrameIsTheOneOnScreen)
{
    ASSERT_FALSE(exportClips().all.empty());
    const unsigned s = seed();
    std::printf("seed %u\n", s);
    QTemporaryDir dir;
    const GPXTrack track = makeTrack(20);
    int failed = 0;
    for (const Timeline &t : drawTimelines(s, 24, exportClips())) {
        SCOPED_TRACE("seed " + std::to_string(s) + ", timeline " + t.text());
        const VideoTimelineSnapshot snapshot = t.snapshot();
        const QString output = dir.filePath(QStringLiteral("random.mp4"));
        ExportTask task = regularTask(output, snapshot.sources, snapshot.segments);
        task.videoFPS = t.fps;
        task.videoResolution = t.portrait ? QSizeF(180, 320) : QSizeF(320, 180);
        task.tracks = {track};
        task.segments = {wholeTrack(track)};
        VideoExporter exporter;
        const bool exported = exportSucceeds(exporter, task);
        EXPECT_TRUE(exported);
        if (!exported) {
            ++failed;
            continue;
        }
        const QList<int> want = t.exportedNumbers();
        const QList<int> got = testsupport::shownFrameNumbers(output);
        EXPECT_EQ(got, want) << "got  " << listed(got) << "\nwant " << listed(want);
        failed += got != want;
        QFile::remove(output);
    }
    std::printf("%d of 24 timelines differ\n", failed);
}

TEST(RandomTimelines, EveryPausedPreviewPictureIsTheOneOnScreen)
{
    ASSERT_FALSE(clips().all.empty());
    const unsigned s = seed();
    std::printf("seed %u\n", s);
    std::mt19937 random(s + 1);
    auto *player = new TimelinePlayer;
    VideoPlayerService service{player};
    int failed = 0, seeks = 0;
    for (const Timeline &t : drawTimelines(s, 24)) {
        SCOPED_TRACE("seed " + std::to_string(s) + ", timeline " + t.text());
        service.loadTimeline(t.snapshot());
        ASSERT_TRUE(waitFor([&] { return service.isMetadataReady() && !service.isSeeking(); }, 10000));
        // Random instants, the first piece's start and each later piece's first instant.
        std::vector<double> instants;
        for (int k = 0; k < 3; ++k)
            instants.push_back(std::uniform_real_distribution<double>(0, t.end())(random));
        for (const Piece &p : t.pieces)
            instants.push_back(p.offset);
        for (const double at : instants) {
            service.seek(at);
            ASSERT_TRUE(waitFor([&] { return !service.isSeeking(); }, 10000)) << "seek to " << at;
            waitFor([] { return false; }, 30);
            const int want = t.numberAt(at);
            const QImage shown = player->currentFrame();
            const int got = testsupport::frameNumberOf(shown);
            EXPECT_EQ(got, want) << "paused at " << at;
            failed += got != want;
            // Colours as ffmpeg converts the same picture; HLG and PQ near the SDR picture they were made from.
            if (const Piece *p = t.pieceAt(at); p && p->clip->kind.patches) {
                const double source = p->from + (at - p->offset);
                const auto ffmpeg = testsupport::largestPatchDifference(
                    shown, testsupport::ffmpegPicture(p->clip->source.url.toLocalFile(), source, shown.size()));
                EXPECT_LE(ffmpeg.difference, 6) << p->clip->kind.name << " " << ffmpeg.patch.toStdString();
                const auto drawn = testsupport::largestPatchDifference(shown);
                EXPECT_LE(drawn.difference, 20) << p->clip->kind.name << " " << drawn.patch.toStdString();
                failed += ffmpeg.difference > 6 || drawn.difference > 20;
            }
            ++seeks;
        }
    }
    std::printf("%d of %d paused seeks differ\n", failed, seeks);
}
