// Whole clips and cuts of them as cameras and phones write them, through the
// export's own ffmpeg run: the overlays' colours over every matrix, range and
// depth, HLG and PQ mapped to SDR, every kind of sound, variable frame rates.
#include "exporttestutil.h"

#include "export/exportoutputtransaction.h"
#include "export/ffmpegcommandline.h"
#include "export/ffmpegruntime.h"
#include "export/yuvaframeconverter.h"

#include "support/sourcekinds.h"

#include <QPainter>
#include <QTemporaryDir>

using namespace routereel;
using namespace exporttest;

namespace {

// The GPS path's route and dot colours, as the preview draws them.
const QColor route(0, 191, 230);
const QColor dot(255, 59, 48);
const QColor patch(200, 40, 40);

// Runs the export's ffmpeg command line for `task` with `frameCount` overlay frames of
// `route` and `dot` squares (elsewhere transparent; all of it without `squares`),
// converted as the export converts them.
bool exportWithSquares(const ExportTask &task, int frameCount, const QString &output, bool squares = true)
{
    ExportOutputTransaction::Failure failure;
    auto transaction = ExportOutputTransaction::begin(output, task.protectedFilePaths(), &failure);
    const QString ffmpeg = FFmpegRuntime::locateFFmpeg();
    const auto args = transaction ? ffmpegArguments(task, FFmpegRuntime::ffmpegFrameRate(task.frameRate()),
                                                    transaction->stagingPath(), {}, {},
                                                    transaction->filterScriptPath())
                                  : std::nullopt;
    if (!args || ffmpeg.isEmpty())
        return false;
    const QSize size(int(task.videoResolution.width()), int(task.videoResolution.height()));
    QImage frame(size, QImage::Format_ARGB32);
    frame.fill(Qt::transparent);
    if (squares) {
        QPainter painter(&frame);
        painter.fillRect(QRect(40, 40, 120, 120), route);
        painter.fillRect(QRect(200, 40, 120, 120), dot);
    }
    const YuvaFrameConverter converter(size.width(), size.height(), YuvaFrameConverter::Output::yuva420p, 0,
                                       FFmpegCommandLine::overlayColour(task));
    QByteArray converted(converter.byteCount(), 0);
    converter.convert(frame.constBits(), reinterpret_cast<unsigned char *>(converted.data()));

    QProcess process;
    process.setProcessEnvironment(FFmpegRuntime::ffmpegEnvironment(ffmpeg));
    process.start(ffmpeg, *args);
    for (int i = 0; i < frameCount; ++i) {
        process.write(converted);
        process.waitForBytesWritten(30'000);
    }
    process.closeWriteChannel();
    process.waitForFinished(120'000);
    const bool ran = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    EXPECT_TRUE(ran) << process.readAllStandardError().toStdString();
    return ran && !transaction->commit();
}

int distance(QRgb got, QColor want)
{
    return std::max({std::abs(qRed(got) - want.red()), std::abs(qGreen(got) - want.green()),
                     std::abs(qBlue(got) - want.blue())});
}

QString colourText(QRgb c)
{
    return QStringLiteral("(%1,%2,%3)").arg(qRed(c)).arg(qGreen(c)).arg(qBlue(c));
}

// 0.5 s of `patch` at `size`, brought to YUV by `picture` (a filter chain from
// gbrp) and encoded with `encoder`.
QString makePatchClip(const QString &dir, const QString &name, QSize size, const QString &picture,
                      const QStringList &encoder)
{
    const QString path = QDir(dir).filePath(name);
    const QString source = QStringLiteral("color=c=0xC82828:s=%1x%2:r=30:d=0.5,format=gbrp,")
                               .arg(size.width())
                               .arg(size.height())
        + picture;
    return testsupport::runFfmpeg(QStringList{"-f", "lavfi", "-i", source} + encoder + QStringList{path}) ? path
                                                                                                      : QString();
}

} // namespace

TEST(CameraClipExport, OverlaysKeepTheirColoursOverEveryKindOfPicture)
{
    const QStringList x264{"-c:v", "libx264", "-preset", "ultrafast"};
    const auto tags = [](const char *primaries, const char *transfer, const char *matrix, const char *range) {
        return QStringList{"-color_primaries", primaries, "-color_trc", transfer, "-colorspace", matrix,
                           "-color_range", range};
    };
    const auto hdr = [](const char *transfer) {
        return QStringLiteral("zscale=tin=bt709:min=gbr:pin=bt709:t=%1:m=bt2020nc:p=bt2020:r=tv:npl=203,"
                              "format=yuv420p10le")
            .arg(QLatin1String(transfer));
    };
    const auto x265 = [](const char *transfer) {
        return QStringList{"-c:v", "libx265", "-preset", "ultrafast", "-x265-params",
                           QStringLiteral("log-level=error:colorprim=bt2020:transfer=%1:colormatrix=bt2020nc")
                               .arg(QLatin1String(transfer)),
                           "-color_primaries", "bt2020", "-color_trc", transfer, "-colorspace", "bt2020nc",
                           "-tag:v", "hvc1"};
    };
    struct Case {
        const char *name;
        QSize size;
        QString picture;
        QStringList encoder;
        const char *matrixTag;  // the export's
        const char *rangeTag;
        int patchTolerance;     // the picture's own colour after the export
    };
    const QList<Case> cases{
        {"BT.601 SD", {640, 360}, "scale=out_color_matrix=bt601:out_range=tv,format=yuv420p",
         x264 + tags("smpte170m", "smpte170m", "smpte170m", "tv"), "smpte170m", "tv", 8},
        {"BT.709 HD", {1280, 720}, "scale=out_color_matrix=bt709:out_range=tv,format=yuv420p",
         x264 + tags("bt709", "bt709", "bt709", "tv"), "bt709", "tv", 8},
        {"untagged HD", {1280, 720}, "scale=out_color_matrix=bt709:out_range=tv,format=yuv420p", x264, "bt709", "tv",
         8},
        {"full-range BT.709", {1280, 720}, "scale=out_color_matrix=bt709:out_range=pc,format=yuv420p",
         x264 + tags("bt709", "bt709", "bt709", "pc"), "bt709", "pc", 8},
        {"10-bit BT.709", {1280, 720}, "scale=out_color_matrix=bt709:out_range=tv,format=yuv420p10le",
         x264 + tags("bt709", "bt709", "bt709", "tv"), "bt709", "tv", 8},
        {"HLG", {1280, 720}, hdr("arib-std-b67"), x265("arib-std-b67"), "bt709", "tv", 15},
        {"PQ", {1280, 720}, hdr("smpte2084"), x265("smpte2084"), "bt709", "tv", 15},
    };
    QTemporaryDir dir;
    for (const Case &c : cases) {
        const QString clip = makePatchClip(dir.path(), QString::fromLatin1(c.name).remove(' ') + ".mp4", c.size,
                                           c.picture, c.encoder);
        ASSERT_FALSE(clip.isEmpty()) << c.name;
        const VideoSource source = sourceFor(clip);
        // Whole: the direct road; cut: the filter road.
        for (const double from : {0.0, 0.1}) {
            SCOPED_TRACE(testing::Message() << c.name << (from > 0 ? ", cut" : ", whole"));
            const QString out = dir.filePath(QStringLiteral("out.mp4"));
            QFile::remove(out);
            ExportTask task = regularTask(out, {source}, {cut(source, from, source.duration, 0)});
            task.videoFPS = 30;
            ASSERT_TRUE(exportWithSquares(task, from > 0 ? 12 : 15, out));
            // 8 bits, 4:2:0; H.264 says full range as "J".
            const char *format = QByteArray(c.rangeTag) == "pc" ? "yuvj420p" : "yuv420p";
            expectStream(out, "v:0", {{"pix_fmt", format}, {"color_space", c.matrixTag}, {"color_range", c.rangeTag}});
            const QImage first = decodeFrame(out, 0);
            const QRgb onRoute = first.pixel(100, 100);
            const QRgb onDot = first.pixel(260, 100);
            const QRgb onPicture = first.pixel(c.size.width() - 100, c.size.height() - 100);
            EXPECT_LE(distance(onRoute, route), 6) << colourText(onRoute).toStdString();
            EXPECT_LE(distance(onDot, dot), 6) << colourText(onDot).toStdString();
            EXPECT_LE(distance(onPicture, patch), c.patchTolerance) << colourText(onPicture).toStdString();
        }
    }
}

// A whole clip goes to ffmpeg as it is: its sound is copied only when MP4 holds it.
TEST(CameraClipExport, EverySoundACameraWritesExportsWhole)
{
    struct Case {
        const char *codec;
        const char *container;
        const char *exported;
    };
    const QList<Case> cases{
        {"pcm_s16le", "mov", "aac"}, {"pcm_s24le", "mov", "aac"}, {"pcm_s32le", "mov", "aac"},
        {"pcm_f32le", "mov", "aac"}, {"pcm_alaw", "mov", "aac"},  {"pcm_mulaw", "mov", "aac"},
        {"libopus", "mkv", "aac"},   {"libvorbis", "mkv", "aac"}, {"flac", "mkv", "aac"},
        {"ac3", "mp4", "ac3"},       {"aac", "mp4", "aac"},
    };
    QTemporaryDir dir;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.codec);
        const QString clip
            = dir.filePath(QStringLiteral("%1.%2").arg(QLatin1String(c.codec), QLatin1String(c.container)));
        ASSERT_TRUE(testsupport::runFfmpeg({"-f", "lavfi", "-i", "color=c=red:s=320x180:r=30:d=1", "-f", "lavfi",
                                            "-i", "sine=frequency=440:sample_rate=48000:duration=1", "-c:v",
                                            "libx264", "-preset", "ultrafast", "-c:a", c.codec, clip}));
        const VideoSource source = sourceFor(clip);
        const QString out = dir.filePath(QStringLiteral("out.mp4"));
        QFile::remove(out);
        ExportTask task = regularTask(out, {source}, {cut(source, 0, source.duration, 0)});
        task.videoFPS = 30;
        ASSERT_TRUE(exportWithSquares(task, 30, out));
        const auto sound = testsupport::probeStream(out, "a:0", "stream=codec_name,duration");
        EXPECT_EQ(sound.value("codec_name").toStdString(), c.exported);
        EXPECT_NEAR(sound.value("duration").toDouble(), 1.0, 0.05);
    }
}

// A screen recording holds pictures for up to 2 s: every exported frame of it
// whole is the picture on screen at its instant, as for a cut.
TEST(CameraClipExport, WholeVariableRateClipShowsThePictureOnScreen)
{
    QTemporaryDir dir;
    const QString clip = dir.filePath(QStringLiteral("screen.mp4"));
    ASSERT_TRUE(testsupport::runFfmpeg(
        {"-f", "lavfi", "-i", testsupport::numberedPictures(8, 320, 180, "30"), "-vf",
         "select='not(between(n\\,10\\,24))*not(between(n\\,40\\,99))*not(between(n\\,130\\,159))'", "-fps_mode",
         "vfr", "-c:v", "libx264", "-preset", "ultrafast", clip}));
    const VideoSource source = sourceFor(clip);
    const QList<double> starts = testsupport::frameStarts(clip);
    // The numbers of the pictures kept, in order.
    QList<int> numbers;
    for (int n = 0; n < 240; ++n) {
        if (!(n >= 10 && n <= 24) && !(n >= 40 && n <= 99) && !(n >= 130 && n <= 159))
            numbers.append(n);
    }
    ASSERT_EQ(starts.size(), numbers.size());

    for (const double fps : {25.0, 30.0}) {
        SCOPED_TRACE(fps);
        const QString out = dir.filePath(QStringLiteral("out.mp4"));
        QFile::remove(out);
        ExportTask task = regularTask(out, {source}, {cut(source, 0, source.duration, 0)});
        task.videoFPS = fps;
        const int frames = int(std::llround(source.duration * fps));
        ASSERT_TRUE(exportWithSquares(task, frames, out, false));
        const QList<int> shown = testsupport::shownFrameNumbers(out);
        ASSERT_EQ(shown.size(), frames);
        int wrong = 0;
        for (int n = 0; n < frames; ++n) {
            const int expected = numbers.at(testsupport::frameOnScreen(starts, n / fps));
            if (shown.at(n) != expected && ++wrong <= 5)
                ADD_FAILURE() << "frame " << n << " shows #" << shown.at(n) << ", #" << expected << " is on screen";
        }
        EXPECT_EQ(wrong, 0);
    }
}

// Clips as screen recorders, editing tools, phones and cameras write them, whole
// (read as they are) and cut: each exported frame is the picture on screen at its instant.
TEST(CameraClipExport, EveryKindShowsThePictureOnScreenWholeAndCut)
{
    // The edit list's second entry also starting mid-GOP: its hidden keyframe is stamped 1 s.
    const testsupport::SourceKind midGop{.name = "elst2.mp4", .rate = "30", .seconds = 4, .keyframes = 2,
                                         .soundFirst = false, .skipFrom = 60, .skipped = 30};
    QTemporaryDir dir;
    for (const testsupport::SourceKind &kind : testsupport::troubleKinds() + QList{midGop}) {
        SCOPED_TRACE(testing::Message() << kind.name << ", keyframes " << kind.keyframes << " s apart");
        const QString file = testsupport::makeSourceKind(dir.path(), kind);
        ASSERT_FALSE(file.isEmpty());
        const VideoSource source = sourceFor(file);
        const QList<double> starts = testsupport::frameStarts(file);
        const double fps = frameRateValue(QLatin1String(kind.rate));
        // Whole; then cut before and after an edit list's second entry (at 2 s) and off frame boundaries.
        const QList<QList<std::pair<double, double>>> timelines{{{0, source.duration}},
                                                                {{1.4, 2.1}, {0.31, 1.0}, {2.5, 3.0}}};
        for (const auto &cuts : timelines) {
            QList<VideoSegment> segments;
            QList<int> expected;
            double offset = 0;
            for (const auto &[from, to] : cuts) {
                const auto count = std::llround((to - from) * fps);
                segments << cut(source, from, to, offset);
                for (long long n = 0; n < count; ++n)
                    expected << kind.number(testsupport::frameOnScreen(starts, from + n / fps));
                offset += count / fps;
            }
            const QString out = dir.filePath(QStringLiteral("out.mp4"));
            QFile::remove(out);
            ExportTask task = regularTask(out, {source}, segments);
            task.videoFPS = fps;
            ASSERT_TRUE(exportWithSquares(task, int(expected.size()), out, false));
            EXPECT_EQ(testsupport::shownFrameNumbers(out), expected) << (cuts.size() == 1 ? "whole" : "cut");
        }
    }
}
