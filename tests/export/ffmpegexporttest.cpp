// Runs the real ffmpeg with the export's argument list on frames made here.
#include "export/exportoutputtransaction.h"
#include "export/exporttask.h"
#include "export/ffmpegcommandline.h"
#include "export/ffmpegruntime.h"

#include "support/clipgenerator.h"
#include "support/timelinefixtures.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace routereel;

namespace {

struct FFmpegRun {
    int exitCode = -1;
    bool crashed = false;
    QString diagnostics;
    QString progress;
};

// Starts ffmpeg as the exporter does and writes `frames` to its standard input.
FFmpegRun runExport(const QStringList &arguments, const QList<QImage> &frames, int killAfter = -1)
{
    const QString ffmpeg = FFmpegRuntime::locateFFmpeg();
    QProcess process;
    process.setProcessEnvironment(FFmpegRuntime::ffmpegEnvironment(ffmpeg));
    process.start(ffmpeg, arguments);
    FFmpegRun run;
    if (!process.waitForStarted()) {
        ADD_FAILURE() << "ffmpeg did not start";
        return run;
    }
    for (qsizetype i = 0; i < frames.size(); ++i) {
        if (i == killAfter) {
            process.kill();
            break;
        }
        const QImage &frame = frames.at(i);
        process.write(reinterpret_cast<const char *>(frame.constBits()), frame.sizeInBytes());
        process.waitForBytesWritten(30'000);
    }
    process.closeWriteChannel();
    process.waitForFinished(120'000);
    run.crashed = process.exitStatus() != QProcess::NormalExit;
    run.exitCode = process.exitCode();
    run.diagnostics = QString::fromUtf8(process.readAllStandardError());
    run.progress = QString::fromUtf8(process.readAllStandardOutput());
    return run;
}

// Straight-alpha BGRA frames, as the exporter sends them.
QImage blankFrame(int width, int height, QColor fill = Qt::transparent)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(fill);
    return image;
}

QList<QImage> blankFrames(int count, int width, int height, QColor fill = Qt::transparent)
{
    return QList<QImage>(count, blankFrame(width, height, fill));
}

QMap<QString, QString> probe(const QString &file, const QString &stream)
{
    return testsupport::probeStream(file, stream,
                                    QStringLiteral("stream=codec_name,pix_fmt,width,height,color_space,color_transfer,"
                                                   "color_primaries,color_range,nb_read_frames"));
}

// The first frame of `file` as RGB.
QImage firstFrame(const QString &file)
{
    QProcess p;
    p.start(QStringLiteral("ffmpeg"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), file,
                                       QStringLiteral("-frames:v"), QStringLiteral("1"), QStringLiteral("-f"),
                                       QStringLiteral("image2pipe"), QStringLiteral("-vcodec"), QStringLiteral("png"),
                                       QStringLiteral("-")});
    p.waitForFinished(60'000);
    return QImage::fromData(p.readAllStandardOutput(), "PNG");
}

void expectColour(const QImage &image, QPoint at, QColor expected, const char *what)
{
    ASSERT_TRUE(image.valid(at)) << what;
    const QColor got = image.pixelColor(at);
    EXPECT_NEAR(got.red(), expected.red(), 12) << what;
    EXPECT_NEAR(got.green(), expected.green(), 12) << what;
    EXPECT_NEAR(got.blue(), expected.blue(), 12) << what;
}

class FFmpegExport : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(FFmpegRuntime::locateFFmpeg().isEmpty()); }

    // Begins the transaction, runs ffmpeg, commits on success.
    FFmpegRun exportTo(const QString &destination, const ExportTask &task, const QList<QImage> &frames)
    {
        ExportOutputTransaction::Failure failure;
        auto transaction = ExportOutputTransaction::begin(destination, task.protectedFilePaths(), &failure);
        EXPECT_NE(transaction, nullptr) << failure.message().toStdString();
        if (!transaction)
            return {};
        const std::optional<QStringList> args = FFmpegCommandLine::arguments(
            task, FFmpegRuntime::ffmpegFrameRate(task.frameRate()), transaction->stagingPath());
        EXPECT_TRUE(args);
        if (!args)
            return {};
        const FFmpegRun run = runExport(*args, frames);
        EXPECT_EQ(run.exitCode, 0) << run.diagnostics.toStdString();
        if (run.exitCode == 0 && !run.crashed) {
            EXPECT_EQ(transaction->commit(), std::nullopt);
        }
        return run;
    }

    VideoSource probedClip(const QString &path)
    {
        return VideoSource::probe(QUrl::fromLocalFile(path), QUuid::createUuid());
    }

    // 1 s of red 320 x 240 with sound.
    VideoSource oneSecondClip()
    {
        testsupport::ClipSpec spec;
        spec.seconds = 1;
        return probedClip(testsupport::makeClip(dir.path(), QStringLiteral("clip.mp4"), spec));
    }

    // A regular export of the whole clip at 30 fps.
    static ExportTask wholeClipTask(const VideoSource &clip)
    {
        ExportTask task;
        VideoTimelineSnapshot timeline;
        timeline.sources = {clip};
        timeline.segments = {testsupport::cut(clip, 0, clip.duration, 0)};
        task.videoTimeline = timeline;
        task.videoURL = clip.url;
        task.videoResolution = clip.resolution;
        task.videoFPS = 30;
        return task;
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(FFmpegExport, OverlayOnlyIsTaggedBt709H264)
{
    ExportTask task;
    task.compositionMode = CompositionMode::overlay;
    task.videoResolution = {320, 180};
    task.videoFPS = 30;
    QList<QImage> frames;
    for (int i = 0; i < 15; ++i) {
        QImage frame = blankFrame(320, 180, QColor(0, 100, 0));
        QPainter(&frame).fillRect(100, 60, 40, 40, Qt::white);
        frames.append(frame);
    }
    const QString out = dir.filePath(QStringLiteral("overlay.mp4"));
    const FFmpegRun run = exportTo(out, task, frames);
    EXPECT_TRUE(run.progress.contains(QStringLiteral("out_time_us="))) << run.progress.toStdString();

    const QMap<QString, QString> video = probe(out, QStringLiteral("v:0"));
    EXPECT_EQ(video.value(QStringLiteral("codec_name")), QStringLiteral("h264"));
    EXPECT_EQ(video.value(QStringLiteral("pix_fmt")), QStringLiteral("yuv420p"));
    EXPECT_EQ(video.value(QStringLiteral("width")), QStringLiteral("320"));
    EXPECT_EQ(video.value(QStringLiteral("height")), QStringLiteral("180"));
    EXPECT_EQ(video.value(QStringLiteral("color_space")), QStringLiteral("bt709"));
    EXPECT_EQ(video.value(QStringLiteral("color_primaries")), QStringLiteral("bt709"));
    EXPECT_EQ(video.value(QStringLiteral("color_transfer")), QStringLiteral("iec61966-2-1"));
    EXPECT_EQ(video.value(QStringLiteral("color_range")), QStringLiteral("tv"));
    EXPECT_EQ(video.value(QStringLiteral("nb_read_frames")), QStringLiteral("15"));
    EXPECT_TRUE(probe(out, QStringLiteral("a")).isEmpty());

    const QImage first = firstFrame(out);
    expectColour(first, {10, 10}, QColor(0, 100, 0), "background");
    expectColour(first, {120, 80}, Qt::white, "drawn square");
}

TEST_F(FFmpegExport, CompactMapFrameLandsWhereTheWidgetIs)
{
    const VideoSource clip = oneSecondClip();
    ASSERT_GT(clip.duration, 0);

    ExportTask task = wholeClipTask(clip);
    task.mapEnabled = true;
    task.mapBorderStyle = MapBorderStyle::gta;  // inset 15
    task.mapSize = task.mapReferenceSize = {60, 60};
    task.overlayX = 5;  // nearer the left edge than the inset
    task.overlayY = 100;

    const PipeFrame frame = PipeFrame::forTask(task);
    ASSERT_TRUE(frame.compact);
    QList<QImage> frames;
    for (int i = 0; i < 30; ++i) {
        QImage image = blankFrame(frame.width, frame.height);
        QPainter(&image).fillRect(QRect(frame.mapOrigin, QSize(60, 60)), Qt::blue);
        frames.append(image);
    }
    const QString out = dir.filePath(QStringLiteral("map.mp4"));
    exportTo(out, task, frames);

    const QMap<QString, QString> video = probe(out, QStringLiteral("v:0"));
    EXPECT_EQ(video.value(QStringLiteral("codec_name")), QStringLiteral("h264"));
    EXPECT_EQ(video.value(QStringLiteral("pix_fmt")), QStringLiteral("yuv420p"));
    EXPECT_EQ(video.value(QStringLiteral("width")), QStringLiteral("320"));
    EXPECT_EQ(probe(out, QStringLiteral("a:0")).value(QStringLiteral("codec_name")), QStringLiteral("aac"));

    const QImage first = firstFrame(out);
    expectColour(first, {9, 130}, Qt::blue, "left part of the map");
    expectColour(first, {60, 104}, Qt::blue, "right part of the map");
    expectColour(first, {2, 130}, Qt::red, "left of the map");
    expectColour(first, {72, 130}, Qt::red, "right of the map, inside the frame");
    expectColour(first, {30, 94}, Qt::red, "above the map");
}

TEST_F(FFmpegExport, JoinedTimelineIsScaledAndKeepsAudio)
{
    const VideoSource clip = oneSecondClip();

    ExportTask task;
    VideoTimelineSnapshot timeline;
    timeline.sources = {clip};
    // a black gap between the two cuts
    timeline.segments = {testsupport::cut(clip, 0, 0.5, 0), testsupport::cut(clip, 0.5, 1, 0.7)};
    task.videoTimeline = timeline;
    task.videoURL = clip.url;
    task.videoResolution = {320, 240};
    task.videoFPS = 25;
    task.outputScale = 0.5;
    task.timeWidget.enabled = true;

    const QList<QImage> frames = blankFrames(30, 320, 240);
    const QString out = dir.filePath(QStringLiteral("joined.mp4"));
    exportTo(out, task, frames);

    const QMap<QString, QString> video = probe(out, QStringLiteral("v:0"));
    EXPECT_EQ(video.value(QStringLiteral("codec_name")), QStringLiteral("h264"));
    EXPECT_EQ(video.value(QStringLiteral("pix_fmt")), QStringLiteral("yuv420p"));
    EXPECT_EQ(video.value(QStringLiteral("width")), QStringLiteral("160"));
    EXPECT_EQ(video.value(QStringLiteral("height")), QStringLiteral("120"));
    EXPECT_EQ(video.value(QStringLiteral("nb_read_frames")), QStringLiteral("30"));
    EXPECT_EQ(probe(out, QStringLiteral("a:0")).value(QStringLiteral("codec_name")), QStringLiteral("aac"));
}

TEST_F(FFmpegExport, OddSizedClipExportsWithEvenSides)
{
    // 4:4:4 allows odd sides in the source; the export's 4:2:0 does not
    const QString clipPath = dir.filePath(QStringLiteral("odd.mp4"));
    ASSERT_TRUE(testsupport::runFfmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                        QStringLiteral("color=c=red:s=320x240:r=30:d=1,scale=321:241"), QStringLiteral("-c:v"),
                                        QStringLiteral("libx264"), QStringLiteral("-preset"),
                                        QStringLiteral("ultrafast"), QStringLiteral("-pix_fmt"),
                                        QStringLiteral("yuv444p"), clipPath}));
    const VideoSource clip = probedClip(clipPath);
    ASSERT_EQ(clip.resolution, QSizeF(321, 241));

    ExportTask task = wholeClipTask(clip);
    task.timeWidget.enabled = true;
    const QList<QImage> frames = blankFrames(30, 321, 241);
    const QString out = dir.filePath(QStringLiteral("even.mp4"));
    exportTo(out, task, frames);

    const QMap<QString, QString> video = probe(out, QStringLiteral("v:0"));
    EXPECT_EQ(video.value(QStringLiteral("pix_fmt")), QStringLiteral("yuv420p"));
    EXPECT_EQ(video.value(QStringLiteral("width")), QStringLiteral("320"));
    EXPECT_EQ(video.value(QStringLiteral("height")), QStringLiteral("240"));
}

TEST_F(FFmpegExport, KilledExportLeavesTheOldFile)
{
    const QByteArray old("an older export that must survive");
    const QString destination = dir.filePath(QStringLiteral("export.mp4"));
    {
        QFile file(destination);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(old);
    }
    ExportTask task;
    task.compositionMode = CompositionMode::overlay;
    task.videoResolution = {320, 180};
    {
        auto transaction = ExportOutputTransaction::begin(destination, {}, nullptr);
        ASSERT_NE(transaction, nullptr);
        const std::optional<QStringList> args =
            FFmpegCommandLine::arguments(task, QStringLiteral("30"), transaction->stagingPath());
        ASSERT_TRUE(args);
        const QList<QImage> frames = blankFrames(60, 320, 180, Qt::black);
        const FFmpegRun run = runExport(*args, frames, 20);
        EXPECT_TRUE(run.crashed || run.exitCode != 0);
        EXPECT_TRUE(QFileInfo::exists(transaction->directory()));
    }
    QFile file(destination);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), old);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("export.mp4")});
}
