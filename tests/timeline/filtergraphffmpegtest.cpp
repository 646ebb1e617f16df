// Runs Debian's ffmpeg on generated clips with the timeline filter graph and
// checks what comes out: frame count, duration and which clip shows where.
#include "support/clipgenerator.h"
#include "support/colourreference.h"
#include "support/sourcekinds.h"
#include "support/timelinefixtures.h"

#include "timeline/timelinefiltergraph.h"
#include "media/videosource.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>

using namespace routereel;
using testsupport::ClipSpec;
using testsupport::cut;
using testsupport::probeStream;

namespace {

// The colour in the middle of the frame at time t (letterbox bars lie at the edges).
QColor centreColour(const QString &file, double t, int w, int h)
{
    QProcess p;
    p.start("ffmpeg", {"-v", "error", "-ss", QString::number(t, 'f', 3), "-i", file, "-frames:v", "1", "-vf",
                       QStringLiteral("crop=2:2:%1:%2").arg(w / 2 - 1).arg(h / 2 - 1), "-f", "rawvideo",
                       "-pix_fmt", "rgb24", "-"});
    EXPECT_TRUE(p.waitForFinished(60'000));
    const QByteArray rgb = p.readAllStandardOutput();
    if (rgb.size() < 3)
        return {};
    return QColor(uchar(rgb[0]), uchar(rgb[1]), uchar(rgb[2]));
}

// The graph goes to ffmpeg as the export hands it over: in a file, whatever its length.
QStringList graphScript(const QString &path, const QString &graph)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(graph.toUtf8()) == graph.toUtf8().size());
    return {"-filter_complex_script", path};
}

// Runs the graph as the export does, without the overlay frames: `seconds` of
// output into `out`, on even sides and tagged with the export's colours.
bool exportGraph(const TimelineFilterGraph &graph, double seconds, const QString &rate, const QString &out)
{
    QStringList args{"-f", "lavfi", "-i", "nullsrc=s=16x16:d=1"};
    args << graph.inputArguments << "-filter_complex" << graph.filterComplex + graph.videoLabel
                + "scale=trunc(iw/2)*2:trunc(ih/2)*2[outv]"
         << "-map" << "[outv]" << "-t" << QString::number(seconds) << "-r" << rate << "-c:v" << "libx264"
         << "-preset" << "ultrafast" << graph.colour.outputArguments() << "-map" << graph.audioMap << "-c:a"
         << "aac" << out;
    return testsupport::runFfmpeg(args);
}

VideoSource probed(const QString &file)
{
    return VideoSource::probe(QUrl::fromLocalFile(file), QUuid::createUuid());
}

bool near(const QColor &got, const QColor &want)
{
    return std::abs(got.red() - want.red()) < 40 && std::abs(got.green() - want.green()) < 40
        && std::abs(got.blue() - want.blue()) < 40;
}

} // namespace

TEST(FilterGraphWithFfmpeg, TimelineWithGapsAndTwoCutsOfOneFileAndAWholeClip)
{
    QTemporaryDir dir;
    const QString a = testsupport::makeClip(dir.path(), "a.mp4",
                                            {.seconds = 4, .width = 320, .height = 240, .fps = 30, .audio = true,
                                             .color = Qt::red});
    const QString b = testsupport::makeClip(dir.path(), "b.mov",
                                            {.seconds = 3, .width = 640, .height = 360, .fps = 25, .audio = false,
                                             .color = Qt::blue, .container = "mov"});
    const QString c = testsupport::makeClip(dir.path(), "c.mp4",
                                            {.seconds = 2, .width = 240, .height = 320, .fps = 24, .audio = true,
                                             .color = Qt::green});
    ASSERT_FALSE(a.isEmpty() || b.isEmpty() || c.isEmpty());
    const VideoSource sa = VideoSource::probe(QUrl::fromLocalFile(a), QUuid::createUuid());
    const VideoSource sb = VideoSource::probe(QUrl::fromLocalFile(b), QUuid::createUuid());
    const VideoSource sc = VideoSource::probe(QUrl::fromLocalFile(c), QUuid::createUuid());

    // Starts 1 s late (shifted away), two cuts of a.mp4 with a gap between, a gap before b, c last.
    const VideoTimelineSnapshot snap{{sa, sb, sc},
                                     {cut(sa, 0.5, 2.0, 1.0), cut(sa, 2.5, 3.7, 3.0), cut(sb, 0, 2, 5.0),
                                      cut(sc, 0.2, 1.5, 7.1)},
                                     QSizeF(640, 360)};
    const double end = 7.1 + 1.3 - 1.0;
    struct Probe {
        double t;  // output time
        QColor colour;
    };
    const QList<Probe> probes = {{0.5, Qt::red}, {1.7, Qt::black}, {2.5, Qt::red},
                                 {3.6, Qt::black}, {5.0, Qt::blue}, {6.8, Qt::green}};

    for (const QString rate : {"30000/1001", "25"}) {
        SCOPED_TRACE(rate.toStdString());
        const double fps = frameRateValue(rate);
        std::optional<TimelineFilterGraphError> error;
        const auto graph = ffmpegFilterGraph(snap, {}, 640, 360, rate, &error);
        ASSERT_TRUE(graph) << error->message().toStdString();
        ASSERT_TRUE(graph->usesFilterGraph);
        // One input per clip for its pictures however often it is cut, one more for its sound.
        EXPECT_EQ(graph->inputArguments.count("-i"), 3 + 2);

        // Input 0 stands for the export's overlay frame stream.
        const QString out = dir.filePath(QStringLiteral("out%1.mp4").arg(int(fps)));
        QStringList args{"-f", "lavfi", "-i", "nullsrc=s=16x16:d=1"};
        args << graph->inputArguments
             << graphScript(dir.filePath("graph.txt"), graph->filterComplex + graph->videoLabel + "null[outv]")
             << "-map" << "[outv]" << "-map"
             << graph->audioMap << "-c:v" << "libx264" << "-preset" << "ultrafast" << "-c:a" << "aac" << "-b:a"
             << "192000" << out;
        ASSERT_TRUE(testsupport::runFfmpeg(args));

        const auto video = probeStream(out, "v:0", "stream=nb_read_frames,width,height");
        EXPECT_EQ(video.value("width"), "640");
        EXPECT_EQ(video.value("height"), "360");
        EXPECT_EQ(video.value("nb_read_frames").toLongLong(), std::llround(end * fps));
        EXPECT_NEAR(probeStream(out, "v:0", "format=duration").value("duration").toDouble(), end, 0.06);
        EXPECT_NEAR(probeStream(out, "a:0", "stream=duration").value("duration").toDouble(), end, 0.06);

        for (const Probe &p : probes)
            EXPECT_TRUE(near(centreColour(out, p.t, 640, 360), p.colour))
                << "at " << p.t << " got " << centreColour(out, p.t, 640, 360).name().toStdString();
    }

    // One whole clip: its own file is read whole, whatever path the caller passed, its sound copied.
    const auto direct = ffmpegFilterGraph(VideoTimelineSnapshot{{sc}, {cut(sc, 0, sc.duration, 2)}, std::nullopt},
                                          QUrl::fromLocalFile(dir.filePath("stale.mp4")), 240, 320, "24");
    ASSERT_TRUE(direct);
    EXPECT_FALSE(direct->usesFilterGraph);
    EXPECT_TRUE(direct->copiesAudio);
    const QString whole = dir.filePath("whole.mp4");
    ASSERT_TRUE(testsupport::runFfmpeg(QStringList{"-f", "lavfi", "-i", "nullsrc=s=16x16:d=1"} + direct->inputArguments
                                       + graphScript(dir.filePath("direct.txt"),
                                                     direct->filterComplex + direct->videoLabel + "null[outv]")
                                       + QStringList{"-map", "[outv]", "-map", direct->audioMap, "-t", "2", "-c:a",
                                                     "copy", whole}));
    EXPECT_EQ(probeStream(whole, "v:0", "stream=nb_read_frames").value("nb_read_frames"), "48");
    EXPECT_EQ(probeStream(whole, "a:0", "stream=codec_name").value("codec_name"), "aac");
}

// RGB pictures and SD stating gamma transfers or reserved tags export in the colours
// ffmpeg shows the clip in, whole, as the first piece and as a later one.
TEST(FilterGraphWithFfmpeg, RgbAndGammaTaggedClipsKeepTheirColours)
{
    QTemporaryDir dir;
    const QList<testsupport::SourceKind> kinds = testsupport::exportColourKinds();
    const QStringList files = testsupport::makeSourceKinds(dir.path(), kinds);
    const auto companion = [&](const char *name) {
        const auto &all = testsupport::colourKinds();
        const auto kind
            = std::find_if(all.begin(), all.end(), [&](const auto &k) { return qstrcmp(k.name, name) == 0; });
        return probed(testsupport::makeSourceKind(dir.path(), *kind));
    };
    const VideoSource hd = companion("untagged720.mp4"), sd = companion("bt601.mp4");
    for (qsizetype i = 0; i < kinds.size(); ++i) {
        SCOPED_TRACE(kinds[i].name);
        ASSERT_FALSE(files[i].isEmpty());
        const QStringList tags = QString::fromLatin1(kinds[i].tags).split(',');
        for (const QString &tag : tags) {
            const QString key = tag.section('=', 0, 0);
            EXPECT_EQ(probeStream(files[i], "v:0", "stream=" + key).value(key), tag.section('=', 1));
        }
        const VideoSource clip = probed(files[i]);
        const QSize size = clip.resolution.toSize();
        const VideoSource &other = size.width() > 576 ? sd : hd;  // of the other matrix
        struct Road {
            const char *name;
            VideoTimelineSnapshot snapshot;
            double at, sourceAt;  // output time inside the clip's piece, and its source time
        };
        const QList<Road> roads{
            {"whole", {{clip}, {cut(clip, 0, clip.duration, 0)}, std::nullopt}, 1.0, 1.0},
            {"first", {{clip, other}, {cut(clip, 0.5, 1.5, 0), cut(other, 0, 1, 1)}, std::nullopt}, 0.5, 1.0},
            {"later", {{other, clip}, {cut(other, 0, 1, 0), cut(clip, 0.5, 1.5, 1)}, std::nullopt}, 1.5, 1.0},
        };
        for (const Road &road : roads) {
            SCOPED_TRACE(road.name);
            std::optional<TimelineFilterGraphError> error;
            const auto graph = ffmpegFilterGraph(road.snapshot, {}, size.width(), size.height(), "30", &error);
            ASSERT_TRUE(graph) << error->message().toStdString();
            const QString out = dir.filePath(QStringLiteral("%1-%2.mp4").arg(i).arg(road.name));
            ASSERT_TRUE(exportGraph(*graph, 2, "30", out));
            const QImage exported = testsupport::ffmpegPicture(out, road.at, size);
            const auto difference = testsupport::largestPatchDifference(
                exported, testsupport::ffmpegPicture(files[i], road.sourceAt, size));
            EXPECT_LE(difference.difference, 6) << difference.patch.toStdString();
        }
    }
}

// A short last picture of a variable-rate clip, in a tail of sound only, stays on
// screen through the tail, though no output instant falls inside it.
TEST(FilterGraphWithFfmpeg, TheLastPictureOfAVariableRateClipHoldsThroughTheSoundsTail)
{
    QTemporaryDir dir;
    // 226 pictures at 30 fps, then the last, numbered 226, at 26.30 s for 33 ms; sound to 28 s.
    const QString pictures = dir.filePath("pictures.mp4"), clip = dir.filePath("screen.mp4");
    ASSERT_TRUE(testsupport::runFfmpeg(
        {"-f", "lavfi", "-i",
         testsupport::numberedPictures(8, 320, 180, "30") + ",setpts='if(lt(N,226),N/30,26.3+(N-226)/30)/TB'",
         "-fps_mode", "vfr", "-c:v", "libx264", "-preset", "veryfast", "-frames:v", "228", "-video_track_timescale",
         "90000", pictures}));
    ASSERT_TRUE(testsupport::runFfmpeg({"-i", pictures, "-f", "lavfi", "-i", "sine=d=28:sample_rate=48000", "-map",
                                        "0:v", "-map", "1:a", "-c:v", "copy", "-frames:v", "227", "-c:a", "aac",
                                        clip}));
    const VideoSource source = probed(clip);
    for (const QString rate : {"24", "30"}) {
        SCOPED_TRACE(rate.toStdString());
        const auto graph = ffmpegFilterGraph(VideoTimelineSnapshot{{source}, {cut(source, 0, source.duration, 0)},
                                                                   std::nullopt},
                                             {}, 320, 180, rate);
        ASSERT_TRUE(graph);
        const QString out = dir.filePath("tail" + rate + ".mp4");
        ASSERT_TRUE(exportGraph(*graph, 28, rate, out));
        const QList<int> numbers = testsupport::shownFrameNumbers(out);
        ASSERT_EQ(numbers.size(), 28 * rate.toInt());
        EXPECT_EQ(numbers.last(), 226);
        EXPECT_EQ(numbers.count(226), 28 * rate.toInt() - std::ceil(26.3 * rate.toInt() - 1e-9));
    }
}

// An HLG clip of odd size in 4:4:4 is mapped and exported, whole and cut.
TEST(FilterGraphWithFfmpeg, OddSizedHlgExports)
{
    QTemporaryDir dir;
    const QString clip = dir.filePath("hlg.mkv");
    ASSERT_TRUE(testsupport::runFfmpeg(
        {"-f", "lavfi", "-i",
         "testsrc2=s=33x35:d=2:r=30,format=gbrp,zscale=tin=bt709:min=gbr:pin=bt709:t=arib-std-b67:m=bt2020nc:"
         "p=bt2020:r=tv:npl=203,format=yuv444p10le",
         "-c:v", "ffv1", "-colorspace", "bt2020nc", "-color_primaries", "bt2020", "-color_trc", "arib-std-b67", clip}));
    const VideoSource source = probed(clip);
    const VideoTimelineSnapshot whole{{source}, {cut(source, 0, source.duration, 0)}, std::nullopt};
    const VideoTimelineSnapshot cuts{{source}, {cut(source, 0.2, 1, 0), cut(source, 1.2, 1.8, 1)}, std::nullopt};
    for (const auto &snapshot : {whole, cuts}) {
        const auto graph = ffmpegFilterGraph(snapshot, {}, 32, 34, "30");
        ASSERT_TRUE(graph);
        const QString out = dir.filePath("out.mp4");
        ASSERT_TRUE(exportGraph(*graph, 1.5, "30", out));
        EXPECT_EQ(probeStream(out, "v:0", "stream=nb_read_frames").value("nb_read_frames"), "45");
    }
}
