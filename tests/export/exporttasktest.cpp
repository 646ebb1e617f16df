#include "exporttestutil.h"

#include "export/exportbitrate.h"
#include "export/exporttask.h"
#include "export/exporttaskruntime.h"

using namespace routereel;
using testsupport::cut;

namespace {

VideoSource source(double duration, QSizeF resolution = {1920, 1080}, const QString &path = {})
{
    VideoSource s;
    s.id = QUuid::createUuid();
    s.url = QUrl::fromLocalFile(path.isEmpty() ? QStringLiteral("/clips/%1.mp4").arg(s.id.toString(QUuid::Id128))
                                               : path);
    s.duration = duration;
    s.resolution = resolution;
    s.fps = 30;
    s.bitRate = 0;
    s.hasAudio = true;
    s.audioBitRate = 128'000;
    return s;
}

} // namespace

TEST(ExportTask, TitleIsTheVideosNameOrTheTranslatedOverlay)
{
    ExportTask task;
    EXPECT_EQ(task.title(), QString());
    task.videoURL = QUrl::fromLocalFile(QStringLiteral("/videos/ride.mov"));
    EXPECT_EQ(task.title(), QStringLiteral("ride.mov"));

    task.compositionMode = CompositionMode::overlay;
    const exporttest::MarkingTranslator translator;
    EXPECT_EQ(task.title(), QStringLiteral("<zh>Overlay"));
}

TEST(ExportTask, ProtectsSourcesAndTracksInBothModes)
{
    ExportTask task;
    VideoTimelineSnapshot timeline;
    timeline.sources = {source(10, {1920, 1080}, QStringLiteral("/clips/a.mp4")),
                        source(10, {1920, 1080}, QStringLiteral("/clips/unused.mp4"))};
    timeline.segments = {cut(timeline.sources[0], 0, 5, 0)};
    task.videoTimeline = timeline;
    task.videoURL = QUrl::fromLocalFile(QStringLiteral("/clips/a.mp4"));
    GPXTrack withFile;
    withFile.fileURL = QUrl::fromLocalFile(QStringLiteral("/tracks/ride.gpx"));
    task.tracks = {withFile, GPXTrack()};

    const QStringList expected{QStringLiteral("/clips/a.mp4"), QStringLiteral("/clips/unused.mp4"),
                               QStringLiteral("/tracks/ride.gpx")};
    EXPECT_EQ(task.protectedFilePaths(), expected);
    task.compositionMode = CompositionMode::overlay;
    EXPECT_EQ(task.protectedFilePaths(), expected);

    task.videoTimeline.reset();
    task.videoURL = QUrl::fromLocalFile(QStringLiteral("/clips/loaded.mov"));
    EXPECT_EQ(task.protectedFilePaths(),
              (QStringList{QStringLiteral("/clips/loaded.mov"), QStringLiteral("/tracks/ride.gpx")}));
}

TEST(ExportTaskRuntime, Elapsed)
{
    const QDateTime start = QDateTime::fromSecsSinceEpoch(1'700'000'000, Qt::UTC);
    ExportTaskRuntime runtime;
    EXPECT_EQ(runtime.elapsed(start.addSecs(100)), 0);

    runtime.startedAt = start;
    EXPECT_DOUBLE_EQ(runtime.elapsed(start.addMSecs(1500)), 1.5);

    runtime.finishedAt = start.addSecs(42);
    EXPECT_DOUBLE_EQ(runtime.elapsed(start.addSecs(1000)), 42);
}

TEST(ExportTaskRuntime, FormatDuration)
{
    const std::pair<double, const char *> cases[] = {
        {59.9, "0:59"}, {3599, "59:59"}, {3600, "1:00:00"}, {7325, "2:02:05"}, {360000.5, "100:00:00"}, {-3, "0:00"},
    };
    for (const auto &[seconds, text] : cases)
        EXPECT_EQ(formatDuration(seconds), QString::fromLatin1(text)) << seconds;
}

TEST(ExportBitRate, TimelineEstimate)
{
    const VideoSource a = source(60);
    VideoTimelineSnapshot whole;
    whole.sources = {a};
    whole.segments = {cut(a, 0, 60, 0)};
    // one whole clip copies its own audio (128 kb/s)
    EXPECT_EQ(estimatedTimelineOutputBytes(whole, 1, 1),
              estimatedOutputBytes(CompositionMode::regular, 60, 1920, 1080, 30, 0, 128'000, 1, 1));

    // a trimmed clip moved later on the timeline: shifted to 0, audio re-encoded at 192 kb/s
    VideoTimelineSnapshot trimmed;
    trimmed.sources = {a};
    trimmed.segments = {cut(a, 10, 70 - 10, 5)};
    EXPECT_EQ(estimatedTimelineOutputBytes(trimmed, 1, 1),
              estimatedOutputBytes(CompositionMode::regular, 50, 1920, 1080, 30, 0, 192'000, 1, 1));

    // reference source: the first one in source order that a segment uses
    VideoSource unused = source(10, {3840, 2160});
    unused.fps = 60;
    VideoSource b = source(30, {1280, 720});
    b.fps = 0;
    b.bitRate = 20'000'000;
    VideoTimelineSnapshot two;
    two.sources = {unused, b, a};
    two.segments = {cut(a, 0, 10, 0), cut(b, 0, 20, 10)};
    two.canvasOrigin = QSizeF(1280, 720);
    EXPECT_EQ(estimatedTimelineOutputBytes(two, 0.5, 0.8),
              estimatedOutputBytes(CompositionMode::regular, 30, 1280, 720, 30, 20'000'000, 192'000, 0.5, 0.8));

    VideoTimelineSnapshot orphaned;
    orphaned.sources = {unused};
    orphaned.segments = {cut(a, 0, 10, 0)};
    EXPECT_EQ(estimatedTimelineOutputBytes(orphaned, 1, 1), std::nullopt);
    EXPECT_EQ(estimatedTimelineOutputBytes(VideoTimelineSnapshot(), 1, 1), std::nullopt);
}
