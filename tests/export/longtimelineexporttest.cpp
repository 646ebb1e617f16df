// Timelines of hundreds of pieces, exported end to end with the real ffmpeg:
// their filter graph is far longer than the system takes as one argument.
#include "exporttestutil.h"

#include "export/ffmpegcommandline.h"

#include "support/clipgenerator.h"
#include "support/sourcekinds.h"

#include <QTemporaryDir>

using namespace exporttest;

TEST(LongTimelineExport, EveryFrameOfHundredsOfPiecesIsThePictureOfItsPiece)
{
    QTemporaryDir dir;
    // 300 numbered pictures at 30 fps with sound, small so that hundreds of inputs stay cheap.
    const QString numbers = testsupport::makeNumberedClip(dir.path(), QStringLiteral("numbers.mp4"), 10, true, 96, 54);
    ASSERT_FALSE(numbers.isEmpty());
    const VideoSource clip = sourceFor(numbers);
    const double fps = 30;
    constexpr int pieceFrames = 3;
    struct Case {
        const char *name;
        int pieces;
        int gapFrames;  // black between two pieces
    };
    for (const Case &c : {Case{"500 pieces end to end", 500, 0}, Case{"200 pieces with gaps", 200, 2}}) {
        SCOPED_TRACE(c.name);
        QList<VideoSegment> segments;
        QList<int> expected;
        for (int p = 0; p < c.pieces; ++p) {
            // Picture 0 is all black like a gap: pieces start at 1 or later, all over the clip.
            const int first = 1 + (p * 37) % 290;
            const int offset = p * (pieceFrames + c.gapFrames);
            segments << cut(clip, first / fps, (first + pieceFrames) / fps, offset / fps);
            if (p > 0)
                expected << QList<int>(c.gapFrames, 0);
            for (int k = 0; k < pieceFrames; ++k)
                expected << first + k;
        }
        const QString output = dir.filePath(QLatin1String(c.name) + QStringLiteral(".mp4"));
        ExportTask task = regularTask(output, {clip}, segments);
        task.videoFPS = fps;
        const GPXTrack track = makeTrack(int(std::ceil(double(expected.size()) / fps)));
        task.tracks = {track};
        task.segments = {wholeTrack(track)};

        // Too long for one argument: the export would not start if ffmpeg were handed the graph itself.
        const auto command = FFmpegCommandLine::command(task, QStringLiteral("30"), output, output + ".txt");
        ASSERT_TRUE(command);
        if (c.pieces == 500)
            EXPECT_GT(command->filterGraph.toUtf8().size(), 128 * 1024);
        EXPECT_EQ(command->arguments.count(QStringLiteral("-i")), c.pieces + 1);

        VideoExporter exporter;
        const std::optional<ExportResult> result = runExport(exporter, task, 900'000);
        ASSERT_TRUE(result);
        ASSERT_TRUE(result->succeeded()) << result->message().toStdString();
        EXPECT_EQ(testsupport::shownFrameNumbers(output), expected);
        EXPECT_NEAR(testsupport::probeStream(output, QStringLiteral("a:0"), QStringLiteral("stream=duration"))
                        .value(QStringLiteral("duration"))
                        .toDouble(),
                    double(expected.size()) / fps, 0.05);
        // Nothing of the staging folder, its graph included, is left beside the output.
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).filter(
                      QStringLiteral(".routereel-export-")),
                  QStringList());
    }
}
