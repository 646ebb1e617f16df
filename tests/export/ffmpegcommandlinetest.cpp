#include "exporttestutil.h"

#include "export/ffmpegcommandline.h"

#include <QFileInfo>

using namespace routereel;
using namespace exporttest;
using testsupport::source;

namespace {

const QString staging = QStringLiteral("/out/.routereel-export-abc/video.mp4");
const QString script = QStringLiteral("/out/.routereel-export-abc/filtergraph.txt");
const QStringList graphFromScript = {QStringLiteral("-filter_complex_script"), QStringLiteral("file:") + script};

QStringList encoder(const char *bitRate, const char *maxRate, const char *bufSize)
{
    return words(QStringLiteral("-c:v libx264 -preset medium -b:v %1 -maxrate %2 -bufsize %3")
                     .arg(QLatin1String(bitRate), QLatin1String(maxRate), QLatin1String(bufSize)));
}

// The pipe input of 1920 x 1080 frames in `format`.
QStringList pipeInput(const char *format)
{
    return words(QStringLiteral("-loglevel error -y -threads 0 -f rawvideo -pix_fmt %1 -s 1920x1080 -r 30 -i pipe:0")
                     .arg(QLatin1String(format)));
}

const QStringList colourTags = words(
    QStringLiteral("-colorspace bt709 -color_primaries bt709 -color_trc iec61966-2-1 -color_range tv -bsf:v "
                   "h264_metadata=colour_primaries=1:transfer_characteristics=13:matrix_coefficients=1:"
                   "video_full_range_flag=0"));

// Files go to ffmpeg as plain files only: "file:" and the absolute path.
const QStringList progressTo
    = {QStringLiteral("-progress"), QStringLiteral("pipe:1"), QStringLiteral("file:") + staging};

// A regular task over one whole 1920 x 1080 clip: ffmpeg opens it unchanged.
ExportTask wholeClipTask()
{
    const VideoSource clip = source(10, 1920, 1080, true, QStringLiteral("/clips/ride.mp4"));
    ExportTask task = regularTask(staging, {clip}, {cut(clip, 0, 10, 0)});
    task.videoFPS = 30;
    task.timeWidget.enabled = true;
    return task;
}

std::optional<FFmpegCommandLine::Command> commandFor(const ExportTask &task, const QString &rate,
                                                    const QString &output = staging,
                                                    std::optional<TimelineFilterGraphError> *error = nullptr)
{
    return FFmpegCommandLine::command(task, rate, output, script, error);
}

std::optional<QStringList> argumentsFor(const ExportTask &task, const QString &rate)
{
    const auto command = commandFor(task, rate);
    return command ? std::optional(command->arguments) : std::nullopt;
}

QString graphOf(const ExportTask &task, const QString &rate = QStringLiteral("30"))
{
    const auto command = commandFor(task, rate);
    return command ? command->filterGraph : QString();
}

} // namespace

TEST(FFmpegCommandLine, OverlayOnlyArgumentList)
{
    ExportTask task;
    task.compositionMode = CompositionMode::overlay;
    task.videoResolution = {1920, 1080};
    task.videoFPS = 30;
    task.mapEnabled = true;  // only regular exports send the compact frame
    task.mapSize = {200, 200};
    task.mapReferenceSize = {200, 200};
    task.videoURL = QUrl::fromLocalFile(QStringLiteral("/clips/ride.mp4"));

    const std::optional<QStringList> args = argumentsFor(task, QStringLiteral("30"));
    ASSERT_TRUE(args);
    // The frames come converted to what the encoder takes: nothing is left for the graph.
    const QStringList expected = pipeInput("yuv420p") + graphFromScript
        + words(QStringLiteral("-map [out] -r 30 -an")) + encoder("3000000", "3600000", "6000000") + colourTags
        + progressTo;
    EXPECT_EQ(*args, expected);
    EXPECT_EQ(graphOf(task), QStringLiteral("[0:v]setsar=1[out]"));
}

TEST(FFmpegCommandLine, RegularTaskWithoutVideoIsBuiltAsOverlay)
{
    ExportTask task = wholeClipTask();
    task.videoURL = QUrl();
    task.outputScale = 0.5;
    task.videoResolution = {3840, 2160};
    const std::optional<QStringList> args = argumentsFor(task, QStringLiteral("24000/1001"));
    ASSERT_TRUE(args);
    EXPECT_FALSE(args->contains(QStringLiteral("file:/clips/ride.mp4")));
    EXPECT_TRUE(args->contains(QStringLiteral("-an")));
    EXPECT_EQ(graphOf(task, QStringLiteral("24000/1001")),
              QStringLiteral("[0:v]scale=w=trunc(iw*0.5/2)*2:h=trunc(ih*0.5/2)*2:out_color_matrix="
                             "bt709:out_range=tv,format=yuv420p,setsar=1[out]"));
    // regular bit-rate policy on the full canvas: 2160 lines at scale 0.5 is the 1080 tier
    EXPECT_EQ(args->mid(args->indexOf(QStringLiteral("-c:v")), 10), encoder("9000000", "10800000", "18000000"));
    EXPECT_EQ(args->mid(args->size() - 13), colourTags + progressTo);
}

TEST(FFmpegCommandLine, RegularWholeClipCopiesAudio)
{
    ExportTask task = wholeClipTask();
    task.videoBitRate = 5'000'000;
    task.compressionFactor = 0.8;
    const std::optional<QStringList> args = argumentsFor(task, QStringLiteral("30"));
    ASSERT_TRUE(args);
    // Untagged HD is taken as BT.709, and the output says so.
    const QStringList expected = pipeInput("yuva420p")
        + words(QStringLiteral("-protocol_whitelist file -i file:/clips/ride.mp4")) + graphFromScript
        + words(QStringLiteral("-map [out] -r 30 -map 1:a?"))
        + encoder("7200000", "8640000", "14400000")
        + words(QStringLiteral("-c:a copy -colorspace bt709 -color_range tv")) + progressTo;
    EXPECT_EQ(*args, expected);
    EXPECT_EQ(graphOf(task), QStringLiteral("[1:V:0]tpad=stop_mode=clone:stop_duration=0.066666667,settb=1/1000000000,"
                                            "setpts=PTS-1000,fps=30:start_time=0:round=up,"
                                            "tpad=stop_mode=clone:stop=-1[timelinev];[0:v]format=yuva420p[ov];"
                                            "[timelinev][ov]overlay=0:0:shortest=1:alpha=straight[out]"));

    // Sound that MP4 does not hold as it is is encoded, every stream.
    struct Case {
        QStringList codecs;
        bool copied;
    };
    for (const Case &c : {Case{{"aac", "ac3"}, true}, Case{{"pcm_s24le"}, false}, Case{{"aac", "pcm_s16le"}, false},
                          Case{{"opus"}, false}, Case{{"flac"}, false}}) {
        ExportTask withSound = wholeClipTask();
        withSound.videoTimeline->sources[0].audioCodecs = c.codecs;
        const QStringList got = *argumentsFor(withSound, QStringLiteral("30"));
        const qsizetype audio = got.indexOf(QStringLiteral("-c:a"));
        EXPECT_EQ(got.at(audio + 1), c.copied ? "copy" : "aac") << c.codecs.join(',').toStdString();
    }
}

TEST(FFmpegCommandLine, RateLimitsStayWithinWhatLibx264Takes)
{
    // libx264 takes -maxrate and -bufsize only up to 2^31 - 1.
    struct Case {
        double source;
        const char *bitRate, *maxRate, *bufSize;
    };
    const Case cases[] = {
        {50'000'000, "55000000", "66000000", "110000000"},
        {976'128'929, "1073741821", "1288490185", "2147483642"},
        {976'128'930, "1073741823", "1288490187", "2147483646"},
        {1'327'104'000, "1073741823", "1288490187", "2147483646"}, // raw RGB 720p60
        {5'971'968'000, "1073741823", "1288490187", "2147483646"}, // raw RGB 4K30
    };
    for (const Case &c : cases) {
        ExportTask task = wholeClipTask();
        task.videoBitRate = c.source;
        const std::optional<QStringList> args = argumentsFor(task, QStringLiteral("30"));
        ASSERT_TRUE(args);
        EXPECT_EQ(args->mid(args->indexOf(QStringLiteral("-c:v")), 10), encoder(c.bitRate, c.maxRate, c.bufSize))
            << c.source;
    }
}

TEST(FFmpegCommandLine, RegularTimelineReencodesAudioAndScales)
{
    ExportTask task = wholeClipTask();
    const VideoSource a = source(10, 3840, 2160, true, QStringLiteral("/clips/a.mov"));
    const VideoSource b = source(10, 1920, 1080, true, QStringLiteral("/clips/b.mov"));
    VideoTimelineSnapshot timeline;
    timeline.sources = {a, b};
    timeline.segments = {cut(a, 2, 4, 0), cut(b, 0, 1, 3)};
    task.videoTimeline = timeline;
    task.videoURL = a.url;
    task.videoResolution = {3840, 2160};
    task.outputScale = 0.5;

    // The lists of pieces lie beside the graph, and a read error names the clip, not its list.
    const QString folder = QFileInfo(script).absolutePath();
    const std::optional<TimelineFilterGraph> joined =
        ffmpegFilterGraph(timeline, a.url, 3840, 2160, QStringLiteral("30"), nullptr, {}, folder);
    ASSERT_TRUE(joined);
    ASSERT_TRUE(joined->usesFilterGraph);
    const auto command = commandFor(task, QStringLiteral("30"));
    ASSERT_TRUE(command);
    ASSERT_EQ(command->readLists.size(), 4);
    EXPECT_EQ(command->readLists, joined->readLists);
    const TimelineFilterGraph::ReadList &bSound = command->readLists.last();
    EXPECT_EQ(bSound.clip, QStringLiteral("/clips/b.mov"));
    EXPECT_TRUE(command->arguments.contains(QStringLiteral("file:") + bSound.path));
    EXPECT_EQ(command->withClipNames(QStringLiteral("file:") + bSound.path + QStringLiteral(": Input/output error")),
              QStringLiteral("file:/clips/b.mov: Input/output error"));

    const std::optional<QStringList> args = argumentsFor(task, QStringLiteral("30"));
    ASSERT_TRUE(args);
    EXPECT_EQ(args->mid(15, joined->inputArguments.size()), joined->inputArguments);
    EXPECT_EQ(args->mid(15 + joined->inputArguments.size(), 2), graphFromScript);
    EXPECT_EQ(graphOf(task), joined->filterComplex
                                  + QStringLiteral("[0:v]format=yuva420p[ov];[timelinev][ov]overlay=0:0:shortest=1:"
                                                   "alpha=straight,scale=trunc(iw*0.5/2)*2:trunc(ih*0.5/2)*2[out]"));
    const qsizetype map = args->lastIndexOf(QStringLiteral("-map"));
    EXPECT_EQ(args->at(map + 1), QStringLiteral("[timelinea]"));
    EXPECT_EQ(args->at(map + 2), QStringLiteral("-c:v"));
    const qsizetype audio = args->indexOf(QStringLiteral("-c:a"));
    EXPECT_EQ(args->mid(audio - 2, 6), words(QStringLiteral("-bufsize 18000000 -c:a aac -b:a 192000")));
    EXPECT_EQ(args->last(), progressTo.last());
}

TEST(FFmpegCommandLine, ScaleIsWrittenInShortestFormAndNeverEnlarges)
{
    ExportTask task = wholeClipTask();
    const struct {
        double scale;
        QString tail;
    } cases[] = {
        {2.0 / 3, QStringLiteral(",scale=trunc(iw*0.6666666666666666/2)*2:trunc(ih*0.6666666666666666/2)*2[out]")},
        {0.75, QStringLiteral(",scale=trunc(iw*0.75/2)*2:trunc(ih*0.75/2)*2[out]")},
        {1, QStringLiteral("alpha=straight[out]")},
        {1.5, QStringLiteral("alpha=straight[out]")},
    };
    for (const auto &c : cases) {
        task.outputScale = c.scale;
        const std::optional<QStringList> args = argumentsFor(task, QStringLiteral("30"));
        ASSERT_TRUE(args);
        EXPECT_TRUE(graphOf(task).endsWith(c.tail)) << graphOf(task).toStdString();
    }
}

TEST(FFmpegCommandLine, OddCanvasIsEncodedWithEvenSides)
{
    ExportTask task = wholeClipTask();
    task.videoResolution = {1081.7, 721};
    const std::optional<QStringList> regular = argumentsFor(task, QStringLiteral("30"));
    ASSERT_TRUE(regular);
    EXPECT_TRUE(regular->contains(QStringLiteral("1081x721")));
    EXPECT_TRUE(graphOf(task).endsWith(QStringLiteral("alpha=straight,scale=trunc(iw/2)*2:trunc(ih/2)*2[out]")));

    task.compositionMode = CompositionMode::overlay;
    const std::optional<QStringList> overlay = argumentsFor(task, QStringLiteral("30"));
    ASSERT_TRUE(overlay);
    EXPECT_EQ(graphOf(task), QStringLiteral("[0:v]scale=w=trunc(iw/2)*2:h=trunc(ih/2)*2:out_color_matrix=bt709:"
                                                "out_range=tv,format=yuv420p,setsar=1[out]"));
}

TEST(FFmpegCommandLine, UnusableTimelineOrRelativeOutputIsReported)
{
    ExportTask task = wholeClipTask();
    std::optional<TimelineFilterGraphError> error;
    EXPECT_EQ(commandFor(task, QStringLiteral("30"), QStringLiteral("out.mp4"), &error), std::nullopt);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), TimelineFilterGraphError::Kind::notAbsolutePath);
    error.reset();
    EXPECT_EQ(FFmpegCommandLine::command(task, QStringLiteral("30"), staging, QStringLiteral("graph.txt"), &error),
              std::nullopt);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), TimelineFilterGraphError::Kind::notAbsolutePath);

    task.videoTimeline->segments.clear();
    task.videoTimeline->segments.append(cut(source(1, 1920, 1080, true, QStringLiteral("/x.mp4")), 0, 1, 0));
    EXPECT_EQ(commandFor(task, QStringLiteral("30"), staging, &error), std::nullopt);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), TimelineFilterGraphError::Kind::nothingToShow);
}

TEST(PipeFrame, CompactOnlyForTheMapAloneInRegularMode)
{
    // A 200 x 200 map at (50, 60) of a 1920 x 1080 regular export unless a case says otherwise.
    struct Case {
        const char *name;
        MapBorderStyle style = MapBorderStyle::defaultStyle;
        QSizeF mapSize{200, 200};
        QSizeF referenceSize{200, 200};
        int overlayX = 50, overlayY = 60;
        bool otherWidget = false;
        CompositionMode mode = CompositionMode::regular;
        bool mapEnabled = true;
        PipeFrame expected;
    };
    const Case cases[] = {
        {.name = "default ring", .expected = {202, 202, 49, 59, {1, 1}, 1, true, {}, {}}},
        {.name = "gta ring", .style = MapBorderStyle::gta, .expected = {230, 230, 35, 45, {15, 15}, 15, true, {}, {}}},
        {.name = "scaled gta ring", .style = MapBorderStyle::gta, .mapSize = {300, 240}, .referenceSize = {200, 160},
         .overlayX = 100, .overlayY = 100, .expected = {346, 286, 77, 77, {23, 23}, 23, true, {}, {}}},
        // nearer the edge than the inset: the frame starts at the edge, the map keeps its place
        {.name = "at the corner", .overlayX = 0, .overlayY = 0, .expected = {202, 202, 0, 0, {0, 0}, 1, true, {}, {}}},
        {.name = "gta near the edge", .style = MapBorderStyle::gta, .overlayX = 5, .overlayY = 40,
         .expected = {230, 230, 0, 25, {5, 15}, 15, true, {}, {}}},
        {.name = "map and time", .otherWidget = true, .expected = {1920, 1080, 0, 0, {50, 60}, 1, false, {}, {}}},
        {.name = "overlay mode", .mode = CompositionMode::overlay, .expected = {1920, 1080, 0, 0, {50, 60}, 1, false, {}, {}}},
        {.name = "map off", .style = MapBorderStyle::gta, .mapEnabled = false,
         .expected = {1920, 1080, 0, 0, {50, 60}, 0, false, {}, {}}},
        {.name = "reference width 0", .referenceSize = {0, 0}, .expected = {520, 520, 0, 0, {50, 60}, 160, true, {}, {}}},
    };
    for (const Case &c : cases) {
        ExportTask task;
        task.videoResolution = {1920, 1080};
        task.compositionMode = c.mode;
        task.mapEnabled = c.mapEnabled;
        task.mapBorderStyle = c.style;
        task.mapSize = c.mapSize;
        task.mapReferenceSize = c.referenceSize;
        task.overlayX = c.overlayX;
        task.overlayY = c.overlayY;
        task.timeWidget.enabled = c.otherWidget;
        const PipeFrame frame = PipeFrame::forTask(task);
        EXPECT_EQ(frame, c.expected) << c.name << ": got " << frame.width << "x" << frame.height << " at "
                                     << frame.x << "," << frame.y << " map " << frame.mapOrigin.x() << ","
                                     << frame.mapOrigin.y() << " inset " << frame.inset;
        EXPECT_EQ(frame.x + frame.mapOrigin.x(), c.overlayX) << c.name;
        EXPECT_EQ(frame.y + frame.mapOrigin.y(), c.overlayY) << c.name;
    }

    // every other widget also forces the full frame
    for (int widget = 0; widget < 5; ++widget) {
        ExportTask task;
        task.mapEnabled = true;
        task.mapSize = task.mapReferenceSize = {200, 200};
        task.timeWidget.enabled = widget == 0;
        task.speedWidget.enabled = widget == 1;
        task.heartRateWidget.enabled = widget == 2;
        task.gpsPathWidget.enabled = widget == 3;
        task.heartRateGraphWidget.enabled = widget == 4;
        EXPECT_FALSE(PipeFrame::forTask(task).compact) << widget;
    }
}
