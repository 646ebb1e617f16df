// Runs the real ffmpeg with the export's argument list on frames made here.
#include "exporttestutil.h"

#include "export/exportoutputtransaction.h"
#include "export/ffmpegcommandline.h"
#include "export/ffmpegruntime.h"
#include "export/yuvaframeconverter.h"

#include <QPainter>
#include <QTemporaryDir>

using namespace routereel;
using namespace exporttest;

namespace {

// `count` straight-alpha BGRA frames, as the exporter sends them: `fill` with `box` painted in `boxColour`.
QList<QImage> frames(int count, QSize size, QColor fill = Qt::transparent, QRect box = {}, QColor boxColour = {})
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(fill);
    if (!box.isNull())
        QPainter(&image).fillRect(box, boxColour);
    return QList<QImage>(count, image);
}

class FFmpegExport : public ::testing::Test {
protected:
    // Stages, runs ffmpeg as the exporter does with `input` on its standard input and commits;
    // returns what ffmpeg wrote to its standard output.
    QString exportTo(const QString &destination, const ExportTask &task, const QList<QImage> &input)
    {
        ExportOutputTransaction::Failure failure;
        auto transaction = ExportOutputTransaction::begin(destination, task.protectedFilePaths(), &failure);
        const QString ffmpeg = FFmpegRuntime::locateFFmpeg();
        const std::optional<QStringList> args = transaction
            ? FFmpegCommandLine::arguments(task, FFmpegRuntime::ffmpegFrameRate(task.frameRate()),
                                           transaction->stagingPath())
            : std::nullopt;
        if (!args || ffmpeg.isEmpty()) {
            ADD_FAILURE() << "no ffmpeg run: " << failure.message().toStdString();
            return {};
        }
        // The frames go as the exporter sends them: converted unless ffmpeg still resizes them.
        const FFmpegCommandLine::PipeFormat format = FFmpegCommandLine::pipeFormat(task);
        const auto output = format == FFmpegCommandLine::PipeFormat::yuva420p ? YuvaFrameConverter::Output::yuva420p
                                                                              : YuvaFrameConverter::Output::yuv420pBt709;
        QProcess process;
        process.setProcessEnvironment(FFmpegRuntime::ffmpegEnvironment(ffmpeg));
        process.start(ffmpeg, *args);
        for (const QImage &frame : input) {
            QByteArray bytes(reinterpret_cast<const char *>(frame.constBits()), frame.sizeInBytes());
            if (format != FFmpegCommandLine::PipeFormat::bgra) {
                const YuvaFrameConverter converter(frame.width(), frame.height(), output);
                QByteArray converted(converter.byteCount(), 0);
                converter.convert(frame.constBits(), reinterpret_cast<unsigned char *>(converted.data()));
                bytes = converted;
            }
            process.write(bytes);
            process.waitForBytesWritten(30'000);
        }
        process.closeWriteChannel();
        process.waitForFinished(120'000);
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
        EXPECT_EQ(transaction->commit(), std::nullopt);
        return QString::fromUtf8(process.readAllStandardOutput());
    }

    // 1 s of red 320 x 240 with sound.
    VideoSource oneSecondClip()
    {
        testsupport::ClipSpec spec;
        spec.seconds = 1;
        return sourceFor(testsupport::makeClip(dir.path(), QStringLiteral("clip.mp4"), spec));
    }

    QTemporaryDir dir;
};

void expectColour(const QImage &image, QPoint at, QColor expected, const char *what)
{
    EXPECT_TRUE(near(image.pixel(at), expected, 13)) << what << ": " << std::hex << image.pixel(at);
}

} // namespace

TEST_F(FFmpegExport, OverlayOnlyIsTaggedBt709H264)
{
    ExportTask task;
    task.compositionMode = CompositionMode::overlay;
    task.videoResolution = {320, 180};
    task.videoFPS = 30;
    const QString out = dir.filePath(QStringLiteral("overlay.mp4"));
    const QString progress
        = exportTo(out, task, frames(15, {320, 180}, QColor(0, 100, 0), {100, 60, 40, 40}, Qt::white));
    EXPECT_TRUE(progress.contains(QStringLiteral("out_time_us="))) << progress.toStdString();

    expectStream(out, "v:0",
                 {{"codec_name", "h264"}, {"pix_fmt", "yuv420p"}, {"width", "320"}, {"height", "180"},
                  {"color_space", "bt709"}, {"color_primaries", "bt709"}, {"color_transfer", "iec61966-2-1"},
                  {"color_range", "tv"}, {"nb_read_frames", "15"}});
    EXPECT_TRUE(probeStream(out, QStringLiteral("a")).isEmpty());

    const QImage first = decodeFrame(out, 0);
    expectColour(first, {10, 10}, QColor(0, 100, 0), "background");
    expectColour(first, {120, 80}, Qt::white, "drawn square");
}

TEST_F(FFmpegExport, CompactMapFrameLandsWhereTheWidgetIs)
{
    const VideoSource clip = oneSecondClip();
    ASSERT_GT(clip.duration, 0);
    ExportTask task = regularTask(QString(), {clip}, {cut(clip, 0, clip.duration, 0)});
    task.videoFPS = 30;
    task.mapEnabled = true;
    task.mapBorderStyle = MapBorderStyle::gta;  // inset 15
    task.mapSize = task.mapReferenceSize = {60, 60};
    task.overlayX = 5;  // nearer the left edge than the inset
    task.overlayY = 100;

    const PipeFrame frame = PipeFrame::forTask(task);
    ASSERT_TRUE(frame.compact);
    const QString out = dir.filePath(QStringLiteral("map.mp4"));
    exportTo(out, task,
             frames(30, {frame.width, frame.height}, Qt::transparent, {frame.mapOrigin, QSize(60, 60)}, Qt::blue));

    expectStream(out, "v:0", {{"codec_name", "h264"}, {"pix_fmt", "yuv420p"}, {"width", "320"}});
    expectStream(out, "a:0", {{"codec_name", "aac"}});
    const QImage first = decodeFrame(out, 0);
    expectColour(first, {9, 130}, Qt::blue, "left part of the map");
    expectColour(first, {60, 104}, Qt::blue, "right part of the map");
    expectColour(first, {2, 130}, Qt::red, "left of the map");
    expectColour(first, {72, 130}, Qt::red, "right of the map, inside the frame");
    expectColour(first, {30, 94}, Qt::red, "above the map");
}

TEST_F(FFmpegExport, OddSizedClipExportsWithEvenSides)
{
    // 4:4:4 allows odd sides in the source; the export's 4:2:0 does not
    const QString clipPath = dir.filePath(QStringLiteral("odd.mp4"));
    ASSERT_TRUE(testsupport::runFfmpeg(words(QStringLiteral("-f lavfi -i color=c=red:s=320x240:r=30:d=1,scale=321:241 "
                                                            "-c:v libx264 -preset ultrafast -pix_fmt yuv444p"))
                                       << clipPath));
    const VideoSource clip = sourceFor(clipPath);
    ASSERT_EQ(clip.resolution, QSizeF(321, 241));

    ExportTask task = regularTask(QString(), {clip}, {cut(clip, 0, clip.duration, 0)});
    task.timeWidget.enabled = true;
    const QString out = dir.filePath(QStringLiteral("even.mp4"));
    exportTo(out, task, frames(30, {321, 241}));
    expectStream(out, "v:0", {{"pix_fmt", "yuv420p"}, {"width", "320"}, {"height", "240"}});
}
