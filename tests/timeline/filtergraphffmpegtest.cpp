// Runs Debian's ffmpeg on generated clips with the timeline filter graph and
// checks what comes out: frame count, duration and which clip shows where.
#include "support/clipgenerator.h"
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
        EXPECT_EQ(graph->inputArguments.count("-i"), 4);

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
