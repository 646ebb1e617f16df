// Runs the real ffmpeg with the export's argument list on frames made here.
#include "exporttestutil.h"

#include "export/exportoutputtransaction.h"
#include "export/ffmpegcommandline.h"
#include "export/ffmpegruntime.h"
#include "export/overlayframecomposition.h"
#include "export/yuvaframeconverter.h"

#include <QPainter>
#include <QTemporaryDir>

#include <cmath>

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
            ? ffmpegArguments(task, FFmpegRuntime::ffmpegFrameRate(task.frameRate()), transaction->stagingPath(), {},
                              {}, transaction->filterScriptPath())
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

namespace {

// PSNR in dB over two equally long raw files (inf when equal).
double psnr(const QByteArray &a, const QByteArray &b)
{
    if (a.size() != b.size() || a.isEmpty())
        return 0;
    double sum = 0;
    for (qsizetype k = 0; k < a.size(); ++k) {
        const double d = double(quint8(a[k])) - double(quint8(b[k]));
        sum += d * d;
    }
    return sum == 0 ? INFINITY : 10 * std::log10(255.0 * 255.0 * double(a.size()) / sum);
}

// The export's argument list with the frames read from `raw` instead of the pipe,
// and one encoder thread: libx264's threads with a rate limit vary from run to run.
QStringList fromFile(QStringList args, const QString &raw)
{
    args[args.indexOf(QStringLiteral("pipe:0"))] = raw;
    args.remove(args.indexOf(QStringLiteral("-progress")), 2);
    args.insert(args.indexOf(QStringLiteral("-c:v")), QStringLiteral("-threads"));
    args.insert(args.indexOf(QStringLiteral("-c:v")), QStringLiteral("1"));
    return args;
}

} // namespace

TEST_F(FFmpegExport, SentPartsShowWhatWholeFramesShow)
{
    // Drawn by the export's composer, sent as the export sends them, against the
    // whole straight-alpha BGRA frames laid by ffmpeg itself.
    testsupport::ClipSpec spec;
    spec.seconds = 0.5;
    spec.width = 640;
    spec.height = 360;
    spec.color = QColor();  // a pattern, so that a misplaced part shows
    const VideoSource clip = sourceFor(testsupport::makeClip(dir.path(), QStringLiteral("pattern.mp4"), spec));
    ASSERT_GT(clip.duration, 0);
    const QSize canvas(640, 360);
    const int frameCount = 15;

    for (const CompositionMode mode : {CompositionMode::regular, CompositionMode::overlay}) {
        const bool overlay = mode == CompositionMode::overlay;
        SCOPED_TRACE(overlay ? "overlay" : "regular");
        ExportTask task = overlay ? overlayTask(QString(), 0.5, canvas)
                                  : regularTask(QString(), {clip}, {cut(clip, 0, clip.duration, 0)});
        task.videoFPS = 30;
        task.timeWidget = textWidget(60, 20, 24);  // pushed inside by the frame's edge
        task.speedWidget = textWidget(600, 330, 30);
        task.speedWidget.opacity = 0.5;
        task.heartRateWidget = textWidget(320, 180, 20);

        OverlayFrameComposer::Setup setup;
        setup.width = canvas.width();
        setup.height = canvas.height();
        setup.overlayMode = overlay;
        setup.texts = {task.timeWidget, task.speedWidget, task.heartRateWidget};
        const OverlayFrameComposer composer(setup);
        TextImageCache cache;
        QList<FrameParams> frames;
        for (int i = 0; i < frameCount; ++i) {
            FrameParams p;
            p.timeStr = QStringLiteral("12:34:%1").arg(i, 2, 10, QLatin1Char('0'));
            p.speedStr = QString::number(i * i * 7.3, 'f', 1) + QStringLiteral(" km/h");  // widening
            if (i % 4 != 3)
                p.hrStr = QStringLiteral("\u2665 %1 bpm\n Min: 90 / Max: 180 ").arg(95 + i);
            frames.append(p);
        }
        ASSERT_EQ(prepareTextImages(cache, frames, setup.texts, 1, {}), std::nullopt);
        // The widest of each widget is its last text with the most characters.
        TextImageCache widest;
        for (const FrameParams &p : frames) {
            for (const auto &[prefix, text] : {std::pair{"t_", p.timeStr}, {"s_", p.speedStr}, {"h_", p.hrStr}}) {
                if (text)
                    widest.insert(QLatin1String(prefix), cache.value(QLatin1String(prefix) + *text));
            }
        }

        const auto output = overlay ? YuvaFrameConverter::Output::yuv420pBt709 : YuvaFrameConverter::Output::yuva420p;
        const quint32 background = overlay ? OverlayFrameComposer::overlayBackground : 0;
        YuvaFrameConverter converter(canvas.width(), canvas.height(), output, background);
        PipeFrame layout = PipeFrame::forTask(task);
        if (!overlay) {
            layout = PipeFrame::withTiles(layout, converter.boxesAround(composer.reach(widest)));
            ASSERT_TRUE(layout.tiled());
        }
        const QSize sent = layout.sentSize();
        const QString sentRaw = dir.filePath(overlay ? QStringLiteral("sent-o.raw") : QStringLiteral("sent.raw"));
        const QString wholeRaw = dir.filePath(overlay ? QStringLiteral("whole-o.raw") : QStringLiteral("whole.raw"));
        QFile::remove(sentRaw);
        QFile::remove(wholeRaw);
        std::vector<unsigned char> bgra(std::size_t(canvas.width()) * canvas.height() * 4);
        OverlayFrameComposer::Slot slot{bgra.data(), {}};
        composer.initialise(slot);
        QByteArray packed(YuvaFrameConverter::byteCount(sent.width(), sent.height(), output), 0);
        auto *packedData = reinterpret_cast<unsigned char *>(packed.data());
        for (const FrameParams &p : frames) {
            composer.draw(slot, p, std::nullopt, false, cache);
            if (layout.tiled())
                converter.convertTiles(bgra.data(), layout.tiles, sent, packedData);
            else
                converter.convert(bgra.data(), packedData);
            QFile sentFile(sentRaw);
            ASSERT_TRUE(sentFile.open(QIODevice::Append));
            sentFile.write(packed);
            QFile wholeFile(wholeRaw);
            ASSERT_TRUE(wholeFile.open(QIODevice::Append));
            wholeFile.write(reinterpret_cast<const char *>(bgra.data()), qsizetype(bgra.size()));
        }

        const QString sentOut = dir.filePath(QStringLiteral("sent.mp4"));
        const QString wholeOut = dir.filePath(QStringLiteral("whole.mp4"));
        ASSERT_TRUE(testsupport::runFfmpeg(
            fromFile(*ffmpegArguments(task, QStringLiteral("30"), sentOut, layout), sentRaw)));
        const QString bgraGraph = overlay
            ? QStringLiteral("[0:v]scale=out_color_matrix=bt709:out_range=tv,format=yuv420p,setsar=1[out]")
            : QStringLiteral("[0:v]format=bgra[ov];[1:v][ov]overlay=0:0:shortest=1:alpha=straight[out]");
        QStringList whole = fromFile(*ffmpegArguments(task, QStringLiteral("30"), wholeOut, {}, bgraGraph), wholeRaw);
        whole[whole.indexOf(QStringLiteral("-pix_fmt")) + 1] = QStringLiteral("bgra");
        ASSERT_TRUE(testsupport::runFfmpeg(whole));

        const auto decoded = [&](const QString &file) {
            const QString raw = file + QStringLiteral(".yuv");
            testsupport::runFfmpeg(QStringList{QStringLiteral("-i"), file} + words(QStringLiteral("-f rawvideo -pix_fmt yuv420p"))
                                   << raw);
            return readAll(raw);
        };
        const QByteArray ours = decoded(sentOut);
        const QByteArray theirs = decoded(wholeOut);
        EXPECT_EQ(ours.size(), qsizetype(canvas.width() * canvas.height() * 3 / 2) * frameCount);
        const double db = psnr(ours, theirs);
        EXPECT_GE(db, 40.0);
        RecordProperty(overlay ? "overlayPsnr" : "regularPsnr", QString::number(db).toStdString());
    }
}

// Uncompressed clips state more than a gigabit a second; libx264 takes its peak
// rate and buffer only up to 2^31 - 1 and would refuse 1.2 and 2 times 1.1 times that.
TEST_F(FFmpegExport, UncompressedClipsOfOverAGigabitExport)
{
    const GPXTrack track = makeTrack(1);
    for (const char *format : {"rgb24", "uyvy422"}) {
        SCOPED_TRACE(format);
        const QString clipPath = dir.filePath(QStringLiteral("%1.mov").arg(QLatin1String(format)));
        ASSERT_TRUE(testsupport::runFfmpeg(words(QStringLiteral("-f lavfi -i testsrc2=s=1280x720:r=100:d=0.03 "
                                                                "-c:v rawvideo -pix_fmt %1")
                                                     .arg(QLatin1String(format)))
                                           << clipPath));
        const VideoSource clip = sourceFor(clipPath);
        ASSERT_GT(clip.bitRate, 976'128'930);
        const QString out = dir.filePath(QStringLiteral("%1.mp4").arg(QLatin1String(format)));
        ExportTask task = regularTask(out, {clip}, {cut(clip, 0, clip.duration, 0)});
        task.tracks = {track};
        task.segments = {wholeTrack(track)};
        task.timeWidget = textWidget(10, 10);
        VideoExporter exporter;
        EXPECT_TRUE(exportSucceeds(exporter, task));
        expectStream(out, "v:0", {{"codec_name", "h264"}, {"nb_read_frames", "3"}});
    }
}
