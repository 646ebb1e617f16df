// The exporter end to end: real ffmpeg on generated clips and tracks, and
// fake ffmpeg scripts for the ways an ffmpeg run can go wrong.
#include "exporttestutil.h"

#include "export/exportrun.h"
#include "export/videoexporter.h"
#include "maps/mapservices.h"
#include "maps/tilecache.h"

#include "support/clipgenerator.h"
#include "support/sourcekinds.h"
#include "support/loopbackhttpserver.h"
#include "support/loopbackmapservice.h"
#include "support/testartifacts.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>

using namespace routereel;
using namespace exporttest;

namespace {

// An exporter whose only ffmpeg is a fake script in `dir`.
struct FakeSetup {
    FakeSetup(const QString &dir, testsupport::FakeFfmpegSpec spec)
    {
        callLog = QDir(dir).filePath(QStringLiteral("calls.log"));
        spec.callLog = callLog;
        useFakeFfmpeg(exporter, QDir(dir).filePath(QStringLiteral("ffmpeg")), spec);
        exporter.setNotifier(notifier);
    }
    // The calls other than the "-version" and "-encoders" probes.
    QStringList runs() const
    {
        QStringList list;
        for (const QString &line : QString::fromUtf8(readAll(callLog)).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            if (line != QStringLiteral("-version") && !line.contains(QStringLiteral("-encoders")))
                list << line;
        }
        return list;
    }
    QString callLog;
    std::shared_ptr<RecordingNotifier> notifier = std::make_shared<RecordingNotifier>();
    VideoExporter exporter;
};

// A clip of 4 s of frame-numbered pictures (frameNumberOf) with a 20 ms beep at
// `beep` seconds in `soundSeconds` of sound at `rate`, starting `soundDelay` s
// after the picture, its picture's times counted in 1/`timescale` s (0: the
// muxer's own choice).
QString numberedClipWithBeep(const QString &dir, const QString &name, double fps, double beep,
                             double soundSeconds = 4, int timescale = 0, int rate = 48000, double soundDelay = 0)
{
    const QString pictures = testsupport::makeNumberedClip(dir, QStringLiteral("pictures-") + name, 4, false, 320,
                                                           180, fps);
    const QString path = QDir(dir).filePath(name);
    const QString sound = QStringLiteral("aevalsrc='if(between(t,%1,%1+0.02),0.8*sin(2*PI*1000*t),0)':s=%3:d=%2")
                              .arg(beep)
                              .arg(soundSeconds)
                              .arg(rate);
    QStringList args{QStringLiteral("-i"), pictures, QStringLiteral("-itsoffset"), QString::number(soundDelay),
                     QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), sound,
                     QStringLiteral("-c:v"), QStringLiteral("copy"), QStringLiteral("-c:a"), QStringLiteral("aac")};
    if (timescale > 0)
        args << QStringLiteral("-video_track_timescale") << QString::number(timescale);
    const bool made = !pictures.isEmpty() && testsupport::runFfmpeg(args << path);
    return made ? path : QString();
}

QByteArray decoded(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral("ffmpeg"), QStringList{QStringLiteral("-v"), QStringLiteral("error")} + args);
    p.waitForFinished(120'000);
    return p.readAllStandardOutput();
}

// The times at which a beep starts in the sound of `file`.
QList<double> beepStarts(const QString &file)
{
    const int rate = 48000;
    const QByteArray raw = decoded({QStringLiteral("-i"), file, QStringLiteral("-ac"), QStringLiteral("1"),
                                    QStringLiteral("-ar"), QString::number(rate), QStringLiteral("-f"),
                                    QStringLiteral("s16le"), QStringLiteral("-")});
    const auto *samples = reinterpret_cast<const qint16 *>(raw.constData());
    QList<double> starts;
    qsizetype lastLoud = -rate;
    for (qsizetype i = 0; i < raw.size() / 2; ++i) {
        if (std::abs(samples[i]) < 10000)
            continue;
        if (i - lastLoud > rate / 10)
            starts << double(i) / rate;
        lastLoud = i;
    }
    return starts;
}

// Exports numbered clips small, at `fps`, with the track's time over them.
::testing::AssertionResult exportNumbered(const QString &output, const QList<VideoSource> &sources,
                                          const QList<VideoSegment> &segments, double fps, const GPXTrack &track,
                                          const QSizeF &size = QSizeF(320, 180))
{
    ExportTask task = regularTask(output, sources, segments);
    task.videoFPS = fps;
    task.videoResolution = size;
    task.tracks = {track};
    task.segments = {wholeTrack(track)};
    VideoExporter exporter;
    return exportSucceeds(exporter, task);
}

} // namespace

TEST(VideoExporter, OverlayExportHasEveryFrameInYuv420WithoutAudio)
{
    QTemporaryDir dir;
    const QString output = dir.filePath(QStringLiteral("overlay.mp4"));
    ExportTask task = overlayTask(output, 2);
    task.timeWidget = textWidget(160, 120);
    auto notifier = std::make_shared<RecordingNotifier>();
    VideoExporter exporter;
    exporter.setNotifier(notifier);
    QList<double> progress;
    QObject::connect(&exporter, &VideoExporter::progressChanged, [&] { progress << exporter.progress(); });

    const auto result = runExport(exporter, task);
    ASSERT_TRUE(result);
    ASSERT_TRUE(result->succeeded()) << result->message().toStdString();
    EXPECT_EQ(result->outputPath(), output);

    expectStream(output, "v:0", {{"nb_read_frames", "60"}, {"pix_fmt", "yuv420p"}});
    EXPECT_TRUE(probeStream(output, QStringLiteral("a")).isEmpty());

    EXPECT_TRUE(exporter.isComplete());
    EXPECT_FALSE(exporter.isExporting());
    EXPECT_TRUE(exporter.errorMessage().isEmpty());
    ASSERT_FALSE(progress.isEmpty());
    EXPECT_EQ(progress.first(), 0.05);
    EXPECT_EQ(progress.last(), 1.0);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    ASSERT_EQ(notifier->count(), 1);
    EXPECT_EQ(notifier->posts.first().title, QStringLiteral("routereel"));
    EXPECT_EQ(notifier->posts.first().body, QStringLiteral("Export Complete!"));
    // Nothing but the output is left beside it.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
              QStringList{QStringLiteral("overlay.mp4")});
}

TEST(VideoExporter, RegularExportOfTwoClipsWithAGapKeepsAudioAndScales)
{
    QTemporaryDir dir;
    const QString a = testsupport::makeClip(dir.path(), QStringLiteral("a.mp4"), {1.0, 320, 240, 30, true, Qt::red});
    const QString b = testsupport::makeClip(dir.path(), QStringLiteral("b.mp4"), {1.0, 320, 240, 30, true, Qt::blue});
    ASSERT_FALSE(a.isEmpty());
    ASSERT_FALSE(b.isEmpty());
    const VideoSource sa = sourceFor(a);
    const VideoSource sb = sourceFor(b);
    const QString output = dir.filePath(QStringLiteral("out.mp4"));
    ExportTask task = regularTask(output, {sa, sb}, {cut(sa, 0, 1, 0), cut(sb, 0, 1, 1.5)});
    const GPXTrack track = makeTrack(3);
    task.tracks = {track};
    task.segments = {wholeTrack(track)};
    task.speedWidget = textWidget(160, 200, 20);
    task.outputScale = 0.5;

    VideoExporter exporter;
    ASSERT_TRUE(exportSucceeds(exporter, task));
    // round(2.5 s × 30) frames
    expectStream(output, "v:0",
                 {{"nb_read_frames", "75"}, {"pix_fmt", "yuv420p"}, {"width", "160"}, {"height", "120"}});
    expectStream(output, "a:0", {{"codec_type", "audio"}});
    EXPECT_TRUE(near(decodeFrame(output, 10).pixel(20, 20), Qt::red));
    EXPECT_TRUE(near(decodeFrame(output, 60).pixel(20, 20), Qt::blue));
}

// Every export has round(f × D) frames, whatever its pieces are made of.
TEST(VideoExporter, RegularExportHasEveryFrame)
{
    QTemporaryDir dir;
    const auto clip = [&](const char *name, QColor colour, const QString &rate, double seconds, double sound) {
        return sourceFor(testsupport::makeClipWithSound(dir.path(), QLatin1String(name),
                                                        {seconds, 640, 360, 0, true, colour}, rate, sound));
    };
    const VideoSource soundEndsEarly = clip("a.mp4", Qt::red, QStringLiteral("30000/1001"), 4.004, 2);
    const VideoSource pal = clip("b.mp4", Qt::blue, QStringLiteral("25"), 3, 3);
    // The file lasts as long as its sound: a cut to its end asks for more picture than there is.
    const VideoSource pictureEndsEarly = clip("c.mp4", Qt::green, QStringLiteral("24"), 1.5, 2);
    const GPXTrack track = makeTrack(8);
    struct Case {
        const char *name;
        QList<VideoSource> sources;
        QList<VideoSegment> segments;
        long long frames;
    };
    const QList<Case> cases{
        // 7 s at 29.97 fps; the first piece ends a hair after frame 119
        {"sound ends early, then 25 fps", {soundEndsEarly, pal}, {cut(soundEndsEarly, 0, 4, 0), cut(pal, 0, 3, 4)},
         210},
        {"picture ends early after a gap",
         {pal, pictureEndsEarly},
         {cut(pal, 0.5, 2, 0), cut(pictureEndsEarly, 0, pictureEndsEarly.duration, 2.3)},
         std::llround(25 * (2.3 + pictureEndsEarly.duration))},
        // Opened as it is, without joining.
        {"one whole clip whose picture ends early", {pictureEndsEarly},
         {cut(pictureEndsEarly, 0, pictureEndsEarly.duration, 0)}, std::llround(24 * pictureEndsEarly.duration)},
        {"one whole clip whose sound ends early", {soundEndsEarly}, {cut(soundEndsEarly, 0, soundEndsEarly.duration, 0)},
         std::llround(30000.0 / 1001 * soundEndsEarly.duration)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString output = dir.filePath(QLatin1String(c.name) + QStringLiteral(".mp4"));
        ExportTask task = regularTask(output, c.sources, c.segments);
        task.tracks = {track};
        task.segments = {wholeTrack(track)};
        task.timeWidget = textWidget(320, 180);
        VideoExporter exporter;
        ASSERT_TRUE(exportSucceeds(exporter, task));
        expectStream(output, "v:0", {{"nb_read_frames", std::to_string(c.frames).c_str()}});
        expectStream(output, "a:0", {{"codec_name", "aac"}});
    }
}

// Each exported frame is the picture the preview shows at its instant, the one
// covering the piece's source time then, also when a cut lies between two
// frames or a hair before one, pieces of other frame rates are joined and a
// piece lies where the clip has sound but no picture (its last picture held);
// each piece's sound starts at its cut, a sound starting after the picture at
// its distance from the cut.
TEST(VideoExporter, EveryFrameIsThePictureOnScreenAtItsInstant)
{
    QTemporaryDir dir;
    struct Clip {
        VideoSource source;
        double beep;
    };
    const auto clip = [&](const char *name, double fps, double beep, double sound = 4, int timescale = 0,
                          int rate = 48000, double delay = 0) {
        return Clip{sourceFor(numberedClipWithBeep(dir.path(), QLatin1String(name), fps, beep, sound, timescale,
                                                   rate, delay)),
                    delay + beep};
    };
    const Clip c30 = clip("c30.mp4", 30, 1.2), c25 = clip("c25.mp4", 25, 1.5), ntsc = clip("ntsc.mp4", 30000.0 / 1001, 3.3);
    // Ticks of 1/600 s as phones write, and sound running 2 s past the picture.
    const Clip phone = clip("phone.mov", 30, 0.5, 4, 600), tail = clip("tail.mp4", 30, 5, 6);
    // 44.1 kHz sound starting 0.3 s after the picture, its beep at 0.75 s in the file.
    const Clip late = clip("late.mp4", 30, 0.45, 3.5, 0, 44100, 0.3);
    const GPXTrack track = makeTrack(4);
    struct Case {
        const char *name;
        double fps;  // the output's
        QList<std::pair<Clip, VideoSegment>> pieces;  // at offsets on the output's frame grid
    };
    const auto piece = [](const Clip &c, double start, double end, double offset) {
        return std::pair{c, cut(c.source, start, end, offset)};
    };
    const QList<Case> cases{
        {"30 fps cut at 0.51", 30, {piece(c30, 0.51, 1.51, 0)}},
        {"29.97 fps cut at 3.02", ntsc.source.fps, {piece(ntsc, 3.02, 3.62, 0)}},
        {"25 fps cut at 1.01", 25, {piece(c25, 1.01, 2.01, 0)}},
        {"cuts on frames", 30, {piece(c30, 1, 2, 0), piece(c25, 0.4, 1.6, 1)}},
        {"30, 25 and 29.97 fps joined", 30,
         {piece(c30, 0.51, 1.51, 0), piece(c25, 1.01, 2.01, 1), piece(ntsc, 3.02, 3.62, 2)}},
        // Instants less than one tick of the clip's time base before a frame's start.
        {"0.5 ms before frames counted in 600ths of a second", 30, {piece(phone, 0.9995, 1.9995, 0)}},
        {"30 us before frames counted in 15360ths of a second", 30, {piece(c30, 0.99997, 1.99997, 0)}},
        {"a piece in the sound past the picture, between others", 30,
         {piece(c30, 0, 1, 0), piece(tail, 4.5, 5.5, 1), piece(c25, 1, 2, 2)}},
        {"a cut before a later 44.1 kHz sound starts, after another piece of it", 30,
         {piece(late, 2, 2.5, 0), piece(late, 0.1, 1.1, 0.5), piece(c30, 1, 2, 1.5)}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QList<VideoSegment> segments;
        QList<int> frames;
        QList<double> beeps;
        for (const auto &[clip, s] : c.pieces) {
            segments << s;
            const auto count = std::llround((s.sourceEnd - s.sourceStart) * c.fps);
            const int last = int(std::lround(4 * clip.source.fps)) - 1;  // each clip has 4 s of pictures
            for (long long n = 0; n < count; ++n)
                frames << std::min(last, int(std::floor((s.sourceStart + n / c.fps) * clip.source.fps + 1e-6)));
            if (clip.beep >= s.sourceStart && clip.beep < s.sourceEnd)
                beeps << s.offset + clip.beep - s.sourceStart;
        }
        const QString output = dir.filePath(QLatin1String(c.name) + QStringLiteral(".mp4"));
        ASSERT_TRUE(exportNumbered(output, {c30.source, c25.source, ntsc.source, phone.source, tail.source, late.source},
                                   segments, c.fps, track));

        EXPECT_EQ(testsupport::shownFrameNumbers(output), frames);
        const QList<double> heard = beepStarts(output);
        ASSERT_EQ(heard.size(), beeps.size());
        for (qsizetype i = 0; i < beeps.size(); ++i)
            EXPECT_NEAR(heard[i], beeps[i], 0.003) << i;
    }
}

// Every kind of source people bring, cut on and between frame boundaries, from
// its start and to its end (and where only sound is left): each exported frame is
// the picture on screen at its instant by the clip's own frame times, and sound
// before the picture is kept. A clip with a cover picture before its picture
// stream is also exported whole, as it is.
TEST(VideoExporter, EveryKindOfSourceShowsThePictureOnScreenAtEachInstant)
{
    QTemporaryDir dir;
    const GPXTrack track = makeTrack(12);
    for (const testsupport::SourceKind &kind : testsupport::sourceKinds() + testsupport::cameraKinds()) {
        SCOPED_TRACE(kind.name);
        const QString file = testsupport::makeSourceKind(dir.path(), kind);
        ASSERT_FALSE(file.isEmpty());
        const VideoSource source = sourceFor(file);
        const QList<double> starts = testsupport::frameStarts(file);
        const QString name = QLatin1String(kind.name);
        // The timeline runs at another rate than some clips.
        const double fps = name == QLatin1String("c30.mp4") ? 24000.0 / 1001 : name == QLatin1String("c25.mp4") ? 30 : source.fps;
        const double end = source.duration;
        QList<std::pair<double, double>> cuts{{0, 0.5}, {starts.value(30), starts.value(30) + 0.4},
                                              {2.01, 2.5}, {end - 0.99, end}};
        if (kind.keyframes > 5)
            cuts << std::pair{3.5, 4.5} << std::pair{7.2, 8.0} << std::pair{10.01, 11};
        if (name == QLatin1String("vfr.mp4"))
            cuts << std::pair{4.0, 4.8} << std::pair{4.5, 5.5} << std::pair{0.555, 1.4};
        if (name == QLatin1String("soundlong.mp4"))
            cuts.insert(2, std::pair{4.5, 5.5});  // only sound there: the last picture holds
        QList<VideoSegment> segments;
        QList<int> frames;
        double offset = 0;
        for (const auto &[from, to] : cuts) {
            const auto count = std::llround((to - from) * fps);
            segments << cut(source, from, to, offset);
            for (long long n = 0; n < count; ++n)
                frames << kind.firstPicture + testsupport::frameOnScreen(starts, from + n / fps);
            offset += count / fps;
        }
        const QString output = dir.filePath(QStringLiteral("out-") + name + QStringLiteral(".mp4"));
        const bool portrait = source.resolution.height() > source.resolution.width();
        // Every kind is tried, whichever fails first.
        if (const auto exported = exportNumbered(output, {source}, segments, fps, track,
                                                 portrait ? QSizeF(180, 320) : QSizeF(320, 180));
            !exported) {
            ADD_FAILURE() << exported.message();
            continue;
        }
        EXPECT_EQ(testsupport::shownFrameNumbers(output), frames);
        if (name == QLatin1String("cover.mp4")) {
            const QString whole = dir.filePath(QStringLiteral("whole-") + name);
            ExportTask task = regularTask(whole, {source}, {cut(source, 0, source.duration, 0)});
            task.tracks = {track};
            task.segments = {wholeTrack(track)};
            VideoExporter exporter;
            EXPECT_TRUE(exportSucceeds(exporter, task));
            QList<int> all;
            for (long long n = 0; n < std::llround(source.duration * source.fps); ++n)
                all << kind.firstPicture + testsupport::frameOnScreen(starts, n / source.fps);
            EXPECT_EQ(testsupport::shownFrameNumbers(whole), all);
        }
        if (kind.soundFirst) {
            const QList<double> heard = beepStarts(output);
            ASSERT_FALSE(heard.isEmpty());
            EXPECT_NEAR(heard.first(), 0, 0.003);
        }
    }
}

// A clip with 4:3 pixels (HDV's 1440 x 1080 shown as 1920 x 1080, here 240 x 180
// shown as 320 x 180) fills a 16:9 picture, alone and after a square-pixel clip:
// no pillarbox at the sides.
TEST(VideoExporter, NonSquarePixelsShowInTheirDisplayedShape)
{
    QTemporaryDir dir;
    const QString red = dir.filePath(QStringLiteral("hdv.mp4"));
    ASSERT_TRUE(testsupport::runFfmpeg({"-f", "lavfi", "-i", "color=c=red:s=240x180:r=30:d=2", "-vf", "setsar=4/3",
                                        "-c:v", "libx264", "-preset", "veryfast", "-pix_fmt", "yuv420p", red}));
    const VideoSource hdv = sourceFor(red);
    const VideoSource square = sourceFor(testsupport::makeClip(
        dir.path(), QStringLiteral("square.mp4"), {.seconds = 2, .width = 320, .height = 180, .color = Qt::blue}));
    ASSERT_EQ(hdv.resolution, QSizeF(320, 180));
    struct Case {
        const char *name;
        QList<VideoSegment> segments;
        double redAt;  // an instant showing the red clip
    };
    const QList<Case> cases{
        {"alone", {cut(hdv, 0, 2, 0)}, 0.5},
        {"after a square-pixel clip", {cut(square, 0, 1, 0), cut(hdv, 0, 1, 1)}, 1.5},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString output = dir.filePath(QLatin1String(c.name) + QStringLiteral(".mp4"));
        ExportTask task = regularTask(output, {c.segments.first().sourceID == hdv.id ? hdv : square, hdv}, c.segments);
        const GPXTrack track = makeTrack(3);
        task.tracks = {track};
        task.segments = {wholeTrack(track)};
        VideoExporter exporter;
        ASSERT_TRUE(exportSucceeds(exporter, task));
        expectStream(output, "v:0", {{"width", "320"}, {"height", "180"}});
        for (const int x : {3, 160, 315}) {
            const QByteArray rgb = decoded({QStringLiteral("-ss"), QString::number(c.redAt), QStringLiteral("-i"),
                                            output, QStringLiteral("-frames:v"), QStringLiteral("1"),
                                            QStringLiteral("-vf"), QStringLiteral("crop=2:2:%1:89").arg(x),
                                            QStringLiteral("-f"), QStringLiteral("rawvideo"),
                                            QStringLiteral("-pix_fmt"), QStringLiteral("rgb24"), QStringLiteral("-")});
            ASSERT_GE(rgb.size(), 3);
            EXPECT_GT(uchar(rgb[0]), 200) << "x " << x << ": not the red clip";
            EXPECT_LT(uchar(rgb[2]), 60) << "x " << x;
        }
    }
}

// An unusable segment before the first shown one moves neither the video nor
// the overlays: the export equals the one without it. The time of day changes
// every second, so overlays shifted against the video would show.
TEST(VideoExporter, OverlaysStartWhereTheShownVideoStarts)
{
    QTemporaryDir dir;
    const QString clip = testsupport::makeClip(dir.path(), QStringLiteral("grey.mp4"),
                                               {2.0, 320, 240, 30, false, QColor(90, 90, 90)});
    ASSERT_FALSE(clip.isEmpty());
    const VideoSource source = sourceFor(clip);
    const GPXTrack track = makeTrack(4);
    const auto exported = [&](const QList<VideoSegment> &segments, const QString &name) {
        ExportTask task = regularTask(dir.filePath(name), {source}, segments);
        task.tracks = {track};
        task.segments = {wholeTrack(track)};
        task.timeWidget = textWidget(160, 120, 40);
        VideoExporter exporter;
        EXPECT_TRUE(exportSucceeds(exporter, task));
        return dir.filePath(name);
    };
    // A cut of a clip the timeline does not hold cannot be shown.
    const VideoSegment unusable = cut(testsupport::source(1), 0, 1, 0);
    const QString withUnusable = exported({unusable, cut(source, 0, 2, 1)}, QStringLiteral("unusable.mp4"));
    const QString shownOnly = exported({cut(source, 0, 2, 1)}, QStringLiteral("shown.mp4"));

    expectStream(withUnusable, "v:0", {{"nb_read_frames", "60"}});
    for (int index : {0, 45}) {
        const QImage got = decodeFrame(withUnusable, index);
        const QImage want = decodeFrame(shownOnly, index);
        ASSERT_EQ(got.size(), want.size()) << index;
        int worst = 0;
        for (int y = 0; y < got.height(); ++y) {
            for (int x = 0; x < got.width(); ++x) {
                const QRgb a = got.pixel(x, y), b = want.pixel(x, y);
                worst = std::max({worst, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                  std::abs(qBlue(a) - qBlue(b))});
            }
        }
        EXPECT_LE(worst, 8) << "frame " << index;
    }
}

// The map widget over solid magenta tiles must land where the task puts it,
// in the compact frame of a regular export and in the full overlay frame.
TEST(VideoExporter, MapWidgetShowsAtItsPlace)
{
    QTemporaryDir dir;
    const QByteArray tile = testsupport::solidTilePng(QColor(255, 0, 255));
    testsupport::LoopbackHttpServer server([&](const testsupport::HttpRequest &) {
        testsupport::HttpResponse response;
        response.contentType = "image/png";
        response.body = tile;
        return response;
    });
    MapServices::overrideEndpointsForTesting(server.baseUrl());
    TileCache::Options options;
    options.root = dir.filePath(QStringLiteral("tiles"));
    TileCache cache(options);

    const QString clip = testsupport::makeClip(dir.path(), QStringLiteral("grey.mp4"),
                                               {1.0, 320, 240, 30, true, QColor(128, 128, 128)});
    ASSERT_FALSE(clip.isEmpty());
    const VideoSource source = sourceFor(clip);

    struct Case {
        const char *name;
        CompositionMode mode;
        QColor background;
    };
    for (const Case &c : {Case{"regular", CompositionMode::regular, QColor(128, 128, 128)},
                          Case{"overlay", CompositionMode::overlay, QColor(0, 100, 0)}}) {
        SCOPED_TRACE(c.name);
        const QString output = dir.filePath(QLatin1String(c.name) + QStringLiteral(".mp4"));
        ExportTask task = c.mode == CompositionMode::regular
            ? regularTask(output, {source}, {cut(source, 0, 1, 0)})
            : overlayTask(output, 1);
        const GPXTrack track = makeTrack(5);
        task.tracks = {track};
        task.segments = {wholeTrack(track)};
        task.mapEnabled = true;
        task.mapSize = task.mapReferenceSize = QSizeF(100, 100);
        task.overlayX = 40;
        task.overlayY = 30;
        VideoExporter exporter;
        exporter.setTileCache(&cache);
        ASSERT_TRUE(exportSucceeds(exporter, task));

        const QImage frame = decodeFrame(output, 10);
        ASSERT_EQ(frame.size(), QSize(320, 240));
        EXPECT_TRUE(near(frame.pixel(55, 80), QColor(255, 0, 255))) << Qt::hex << frame.pixel(55, 80);
        EXPECT_TRUE(near(frame.pixel(34, 80), c.background)) << Qt::hex << frame.pixel(34, 80);
        EXPECT_TRUE(near(frame.pixel(300, 220), c.background)) << Qt::hex << frame.pixel(300, 220);
        saveTestArtifact(frame, QStringLiteral("export-map-") + QLatin1String(c.name));
    }
    MapServices::overrideEndpointsForTesting({});
}

namespace {

// Collects the log lines written while it lives, from any thread.
class LogCapture {
public:
    LogCapture() { s_previous = qInstallMessageHandler(&LogCapture::handle); }
    ~LogCapture() { qInstallMessageHandler(s_previous); }
    static QStringList lines()
    {
        std::lock_guard guard(s_lock);
        return s_lines;
    }

private:
    static void handle(QtMsgType, const QMessageLogContext &, const QString &text)
    {
        std::lock_guard guard(s_lock);
        s_lines << text;
    }
    static inline QtMessageHandler s_previous = nullptr;
    static inline std::mutex s_lock;
    static inline QStringList s_lines;
};

} // namespace

// The tile preload fetches what the exported frames can show, not the whole track.
TEST(VideoExporter, MapPreloadCoversTheExportedRangeOnly)
{
    QTemporaryDir dir;
    const QByteArray tile = testsupport::solidTilePng(QColor(255, 0, 255));
    testsupport::LoopbackHttpServer server([&](const testsupport::HttpRequest &) {
        testsupport::HttpResponse response;
        response.contentType = "image/png";
        response.body = tile;
        return response;
    });
    MapServices::overrideEndpointsForTesting(server.baseUrl());
    // Two seconds of a long ride, exported from its second second.
    const GPXTrack ride = makeTrack(3000);
    GPXTrack cut = ride;
    cut.trackPoints = ride.trackPoints.mid(0, 4);
    cut.duration = 3;
    const auto tilesFetched = [&](const GPXTrack &track, const QString &name) {
        TileCache::Options options;
        options.root = dir.filePath(name);
        TileCache cache(options);
        ExportTask task = overlayTask(dir.filePath(name + QStringLiteral(".mp4")), 2);
        task.tracks = {track};
        GPXSegment shown = wholeTrack(track, 5);
        shown.gpxStart = 1;
        shown.gpxEnd = 3;
        task.segments = {shown};
        task.mapEnabled = true;
        task.mapSize = task.mapReferenceSize = QSizeF(100, 100);
        VideoExporter exporter;
        exporter.setTileCache(&cache);
        const int before = server.requestCount();
        EXPECT_TRUE(exportSucceeds(exporter, task)) << name.toStdString();
        return server.requestCount() - before;
    };
    LogCapture log;
    const int whole = tilesFetched(ride, QStringLiteral("ride"));
    const int shownPart = tilesFetched(cut, QStringLiteral("cut"));
    MapServices::overrideEndpointsForTesting({});
    EXPECT_GT(shownPart, 0);
    EXPECT_EQ(whole, shownPart);
    EXPECT_EQ(LogCapture::lines().filter(QStringLiteral("[VideoExporter] preload done, cancelled=false")).size(), 2)
        << LogCapture::lines().join(QLatin1Char('\n')).toStdString();
}

TEST(VideoExporter, UnusableFrameRateFailsWithoutStartingFfmpeg)
{
    QTemporaryDir dir;
    FakeSetup fake(dir.path(), {});
    ExportTask task = overlayTask(dir.filePath(QStringLiteral("out.mp4")), 1);
    task.videoFPS = 240.5;
    const auto result = runExport(fake.exporter, task);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->message(), QStringLiteral("Failed to render overlay frames"));
    EXPECT_EQ(fake.exporter.errorMessage(), result->message());
    EXPECT_TRUE(fake.runs().isEmpty());
}

TEST(VideoExporter, FrameCount)
{
    struct Case {
        double fps;
        double seconds;
        std::optional<long long> frames;
    };
    const double nan = std::nan("");
    for (const Case &c : {Case{0, 2, 60}, Case{nan, 2, 60}, Case{240, 1, 240}, Case{240.5, 1, {}},
                          Case{30, 2'678'400, 80'352'000}, Case{30, 2'678'400.5, {}}, Case{30, 0, {}},
                          Case{30, nan, {}}, Case{30, 0.01, {}}, Case{30, 1.0 / 12, 3}}) {
        EXPECT_EQ(ExportRun::frameCount(c.fps, c.seconds), c.frames) << c.fps << " " << c.seconds;
    }
}

TEST(VideoExporter, DrawingThreadsSettleWhereFfmpegIsKeptFed)
{
    // A batch takes ffmpeg `take` seconds and one thread `work` seconds; the time
    // waited before a batch is what ffmpeg still needs of the one before.
    struct Case {
        double take;
        double work;
    };
    for (const Case c : {Case{0.09, 0.06}, Case{0.09, 0.30}, Case{0.09, 2.0}, Case{0.5, 0.01}}) {
        int threads = 8;
        double waited = 0;
        double starved = 0;
        for (int batch = 0; batch < 60; ++batch) {
            const double drawn = c.work / threads;
            if (batch >= 20)
                starved += std::max(0.0, drawn - c.take);
            threads = ExportRun::drawThreads(threads, 8, waited, drawn);
            waited = std::max(0.0, c.take - drawn);
            ASSERT_GE(threads, 1);
            ASSERT_LE(threads, 8);
        }
        const int needed = int(std::ceil(c.work / c.take));
        if (needed <= 8) {
            EXPECT_EQ(starved, 0) << c.take << " " << c.work;
            EXPECT_LE(threads, std::max(1, 2 * needed)) << c.take << " " << c.work;
        } else {
            EXPECT_EQ(threads, 8) << "drawing is the slower side: every thread draws";
        }
    }
}

TEST(VideoExporter, FfmpegFailuresCarryItsOwnWords)
{
    struct Case {
        const char *name;
        QString runBody;
        QString expected;  // start of the message
    };
    const QList<Case> cases{
        {"silent exit 1", QStringLiteral("cat > /dev/null; exit 1"), QStringLiteral("FFmpeg: exit code 1")},
        {"diagnostics", QStringLiteral("cat > /dev/null; echo 'first' >&2; echo 'Conversion failed!' >&2; exit 1"),
         QStringLiteral("FFmpeg: first\nConversion failed!")},
        // Goes away after a few frames: the write fails, yet ffmpeg's own words are reported.
        {"gone while frames are written",
         QStringLiteral("head -c 1000000 > /dev/null; echo 'pipe:0: Invalid data found' >&2; exit 1"),
         QStringLiteral("FFmpeg: pipe:0: Invalid data found")},
        // Status 0 before the last frame: a cut-short file is no success.
        {"ends early with status 0",
         QStringLiteral("head -c 1000000 > /dev/null; for last; do :; done; echo partial > \"${last#file:}\"; exit 0"),
         QStringLiteral("FFmpeg: stopped after ")},
        // The signal is named, not the encoder's start-up notes written before it.
        {"killed", QStringLiteral("echo '[libx264 @ 0x5] using cpu capabilities: AVX2' >&2; kill -9 $$"),
         QStringLiteral("FFmpeg: ended by signal 9 (SIGKILL)")},
        // The disk fills up: what ffmpeg says then, kept whole.
        {"full disk",
         QStringLiteral("cat > /dev/null; cat %1 >&2; exit 1")
             .arg(testsupport::shellQuote(QStringLiteral(ROUTEREEL_TEST_DATA "/ffmpeg/full-disk.stderr"))),
         QStringLiteral("FFmpeg: av_interleaved_write_frame(): No space left on device\n    Last message repeated 55 "
                        "times\nError writing trailer of file:/media/card/.routereel-export-k3Xq9Z/video.mp4: No "
                        "space left on device\n")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        testsupport::FakeFfmpegSpec spec;
        spec.runBody = c.runBody;
        FakeSetup fake(dir.path(), spec);
        const QString output = dir.filePath(QStringLiteral("out.mp4"));
        ASSERT_TRUE(QFile(output).open(QIODevice::WriteOnly));
        const auto result = runExport(fake.exporter, overlayTask(output, 4));
        ASSERT_TRUE(result);
        EXPECT_FALSE(result->succeeded());
        EXPECT_TRUE(result->message().startsWith(c.expected)) << result->message().toStdString();
        EXPECT_FALSE(result->message().contains(QStringLiteral("Broken pipe")));
        EXPECT_EQ(fake.exporter.errorMessage(), result->message());
        EXPECT_EQ(readAll(output), QByteArray());
        EXPECT_EQ(fake.notifier->count(), 0);
    }
}

TEST(VideoExporter, MissingSourceIsRefusedBeforeFfmpegStarts)
{
    QTemporaryDir dir;
    const QString clip = testsupport::makeClip(dir.path(), QStringLiteral("a.mp4"), {1.0, 160, 120, 30, false});
    const VideoSource source = sourceFor(clip);
    FakeSetup fake(dir.path(), {});
    ExportTask task = regularTask(dir.filePath(QStringLiteral("out.mp4")), {source}, {cut(source, 0, 1, 0)});
    ASSERT_TRUE(QFile::remove(clip));

    bool exportingBeforeResult = false;
    std::optional<ExportResult> result;
    fake.exporter.exportTask(task, [&](const ExportResult &r) {
        exportingBeforeResult = fake.exporter.isExporting();
        result = r;
    });
    EXPECT_FALSE(result.has_value());  // delivered on a later turn of the event loop
    ASSERT_TRUE(waitFor([&] { return result.has_value(); }));
    EXPECT_FALSE(exportingBeforeResult);
    const QString expected = QStringLiteral("Source video no longer exists on disk:\n") + clip
        + QStringLiteral("\n\nThe file referenced by the project has been moved or deleted. Reload the video and "
                         "try again.");
    EXPECT_EQ(result->message(), expected);
    EXPECT_EQ(fake.exporter.errorMessage(), expected);
    EXPECT_FALSE(QFile::exists(fake.callLog));

    // Overlay exports read no clip, so the same missing file does not stop them.
    ExportTask overlay = task;
    overlay.compositionMode = CompositionMode::overlay;
    const GPXTrack track = makeTrack(1);
    overlay.tracks = {track};
    overlay.segments = {wholeTrack(track)};
    const auto overlayResult = runExport(fake.exporter, overlay);
    ASSERT_TRUE(overlayResult);
    EXPECT_FALSE(overlayResult->message().startsWith(QStringLiteral("Source video")))
        << overlayResult->message().toStdString();
}

// A clip cut short after it was loaded (its index at the front lists more than
// the file holds) fails the export, naming it, instead of being padded with its
// last picture and reported as a success.
TEST(VideoExporter, SourceCutShortSinceLoadingFailsTheExport)
{
    QTemporaryDir dir;
    const QString clip = testsupport::makeClip(dir.path(), QStringLiteral("ride.mp4"),
                                               {.seconds = 6, .width = 160, .height = 90, .audio = false,
                                                .color = QColor(), .indexAtFront = true});
    ASSERT_FALSE(clip.isEmpty());
    const VideoSource source = sourceFor(clip);
    ASSERT_TRUE(QFile::resize(clip, QFileInfo(clip).size() / 2));
    const QString output = dir.filePath(QStringLiteral("out.mp4"));
    ExportTask task = regularTask(output, {source}, {cut(source, 0.5, 6, 0)});
    const GPXTrack track = makeTrack(6);
    task.tracks = {track};
    task.segments = {wholeTrack(track)};
    task.timeWidget = textWidget(10, 10);
    VideoExporter exporter;
    const auto result = runExport(exporter, task);
    ASSERT_TRUE(result);
    ASSERT_FALSE(result->succeeded());
    EXPECT_EQ(result->message(), ExportError::sourceVideoIncomplete(clip).message());
    EXPECT_TRUE(result->message().contains(clip));
    EXPECT_FALSE(QFileInfo::exists(output));
}

// ffmpeg reads a clip that changes under it: it may repeat the last picture it
// decoded, or show what was written over it, and still end well. The export fails,
// naming the clip, and writes nothing.
TEST(VideoExporter, SourceChangedWhileFfmpegReadsItFailsTheExport)
{
    struct Case {
        const char *name;
        const char *change;  // shell code; $CLIP is the clip's path
        bool fails;
    };
    const QList<Case> cases{
        {"left alone", ":", false},
        {"cut short", "truncate -s 2000 \"$CLIP\"", true},
        {"written in its middle", "printf 'xxxx' | dd of=\"$CLIP\" bs=1 seek=3000 conv=notrunc 2>/dev/null; "
                                  "touch -r \"$CLIP.kept\" \"$CLIP\"", true},
        {"replaced by a copy", "cp \"$CLIP\" \"$CLIP.new\"; mv \"$CLIP.new\" \"$CLIP\"", true},
        {"touched", "touch -d '2001-01-01' \"$CLIP\"", true},
        {"removed", "rm \"$CLIP\"", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString clip = testsupport::makeClip(dir.path(), QStringLiteral("ride.mp4"), {1.0, 160, 120, 30, false});
        ASSERT_TRUE(QFile::copy(clip, clip + QStringLiteral(".kept")));
        const VideoSource source = sourceFor(clip);
        // Takes every frame, changes the clip, writes a file and ends well.
        testsupport::FakeFfmpegSpec spec;
        spec.runBody = QStringLiteral("cat > /dev/null; CLIP=%1; %2; for last; do :; done; "
                                      "echo whole > \"${last#file:}\"; exit 0")
                           .arg(testsupport::shellQuote(clip), QLatin1String(c.change));
        FakeSetup fake(dir.path(), spec);
        const QString output = dir.filePath(QStringLiteral("out.mp4"));
        const auto result = runExport(fake.exporter, regularTask(output, {source}, {cut(source, 0, 1, 0)}));
        ASSERT_TRUE(result);
        EXPECT_EQ(fake.runs().size(), 1);
        if (!c.fails) {
            EXPECT_TRUE(result->succeeded()) << result->message().toStdString();
            continue;
        }
        EXPECT_FALSE(result->succeeded());
        EXPECT_EQ(result->message(), ExportError::sourceVideoChangedDuringExport(clip).message());
        EXPECT_TRUE(result->message().contains(clip));
        EXPECT_FALSE(QFileInfo::exists(output));
    }
}

TEST(VideoExporter, RegularTaskWithoutVideoIsRefusedAtOnce)
{
    QTemporaryDir dir;
    FakeSetup fake(dir.path(), {});
    ExportTask task = overlayTask(dir.filePath(QStringLiteral("out.mp4")), 1);
    task.compositionMode = CompositionMode::regular;
    std::optional<ExportResult> result;
    fake.exporter.exportTask(task, [&](const ExportResult &r) { result = r; });
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->message(), QStringLiteral("Failed to render overlay frames"));
    EXPECT_FALSE(fake.exporter.isExporting());
}

TEST(VideoExporter, CancelMidEncodeLeavesTheDestinationUntouched)
{
    QTemporaryDir dir;
    const QString output = dir.filePath(QStringLiteral("keep.mp4"));
    {
        QFile old(output);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("the old video");
    }
    auto notifier = std::make_shared<RecordingNotifier>();
    VideoExporter exporter;
    exporter.setNotifier(notifier);
    std::optional<ExportResult> result;
    exporter.exportTask(overlayTask(output, 600), [&](const ExportResult &r) { result = r; });
    // Cancel once ffmpeg reports encoded frames.
    ASSERT_TRUE(waitFor([&] { return exporter.progress() > 0.05 || result.has_value(); }));
    ASSERT_FALSE(result.has_value()) << result->message().toStdString();
    exporter.cancel();
    ASSERT_TRUE(waitFor([&] { return result.has_value(); }, 30'000));
    EXPECT_TRUE(result->isCancelled());
    EXPECT_TRUE(exporter.errorMessage().isEmpty());
    EXPECT_FALSE(exporter.isComplete());
    EXPECT_FALSE(exporter.isExporting());
    EXPECT_EQ(readAll(output), QByteArray("the old video"));
    EXPECT_EQ(notifier->count(), 0);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
              QStringList{QStringLiteral("keep.mp4")});
}

// An ffmpeg that ignores the request to end and reads nothing must not hold a
// cancelled export (or the application's quit) forever.
TEST(VideoExporter, CancelEndsAnFfmpegThatIgnoresTermination)
{
    QTemporaryDir dir;
    testsupport::FakeFfmpegSpec spec;
    spec.runBody = QStringLiteral("trap '' TERM\nexec sleep 600");
    FakeSetup fake(dir.path(), spec);
    std::optional<ExportResult> result;
    fake.exporter.exportTask(overlayTask(dir.filePath(QStringLiteral("out.mp4")), 60),
                             [&](const ExportResult &r) { result = r; });
    ASSERT_TRUE(waitFor([&] { return !fake.runs().isEmpty(); }, 30'000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    fake.exporter.cancel();
    ASSERT_TRUE(waitFor([&] { return result.has_value(); }, 60'000));
    EXPECT_TRUE(result->isCancelled());
}

TEST(VideoExporter, DestroyingTheExporterStopsItsRun)
{
    QTemporaryDir dir;
    testsupport::FakeFfmpegSpec spec;
    spec.runBody = QStringLiteral("exec sleep 600");
    bool called = false;
    {
        FakeSetup fake(dir.path(), spec);
        fake.exporter.exportTask(overlayTask(dir.filePath(QStringLiteral("out.mp4")), 60),
                                 [&](const ExportResult &) { called = true; });
        ASSERT_TRUE(waitFor([&] { return !fake.runs().isEmpty(); }, 30'000));
    }
    QCoreApplication::processEvents();
    EXPECT_FALSE(called);
}
