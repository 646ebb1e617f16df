#include "support/timelinefixtures.h"

#include "media/sdrmapping.h"
#include "timeline/timelinefiltergraph.h"

#include <QDir>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <locale>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}

using namespace routereel;
using testsupport::cut;
using testsupport::source;

namespace {

VideoTimelineSnapshot workedExample()
{
    VideoSource a = source(10, 1280, 720, true, "/clips/a.mov");
    VideoSource b = source(10, 1280, 720, false, "/clips/b.mov");
    return {{a, b}, {cut(a, 5, 7, 0), cut(b, 0, 1, 3)}, std::nullopt};
}

const QString workedFilter = QStringLiteral(
    "[1:V:0]select='between(t,-0.016666667,2.316666667)',scale=1920:1080:force_original_aspect_ratio=decrease,"
    "pad=1920:1080:(ow-iw)/2:(oh-ih)/2,setsar=1[r1p0];"
    "[2:V:0]select='between(t,-0.016666667,1.066666667)',scale=1920:1080:force_original_aspect_ratio=decrease,"
    "pad=1920:1080:(ow-iw)/2:(oh-ih)/2,setsar=1[r2p0];"
    "[3:a]aresample=48000,aformat=sample_fmts=fltp:channel_layouts=stereo[r3p0];"
    "[r1p0]tpad=stop_mode=clone:stop_duration=2.316666667,settb=1/1000000000,setpts=PTS-250001000,"
    "fps=30:start_time=0:round=up,tpad=stop_mode=clone:stop=-1,trim=end_frame=60,setpts=N/(30*TB),format=yuv420p[clipv0];"
    "[r3p0]atrim=start=0.250000000:end=3.750000000,asetpts=PTS-0.250000000/TB,aresample=48000:async=1:first_pts=0,"
    "aformat=sample_fmts=fltp:channel_layouts=stereo,apad,atrim=duration=2.000000000,asetpts=N/SR/TB[clipa0];"
    "color=c=black:s=1920x1080:r=30:d=1.000000000,format=yuv420p[clipv1];"
    "anullsrc=r=48000:cl=stereo,atrim=duration=1.000000000[clipa1];"
    "[r2p0]tpad=stop_mode=clone:stop_duration=1.066666667,settb=1/1000000000,setpts=PTS-1000,"
    "fps=30:start_time=0:round=up,tpad=stop_mode=clone:stop=-1,trim=end_frame=30,setpts=N/(30*TB),format=yuv420p[clipv2];"
    "anullsrc=r=48000:cl=stereo,atrim=duration=1.000000000[clipa2];"
    "[clipv0][clipa0][clipv1][clipa1][clipv2][clipa2]concat=n=3:v=1:a=1[timelinecat][timelinea];"
    "[timelinecat]setpts=round(N/(30*TB))[timelinev];");

// Each clip's pieces are read by one input for its pictures and one for its sound,
// through ffmpeg's concat reader with the list inline; only plain files are read.
// Reading starts where the clip's frame times say and ends past the piece's end.
const QStringList workedLists = {
    "ffconcat version 1.0\nfile 'file:/clips/a.mov'\ninpoint 4.750000\noutpoint 8.066667\nduration 3.750000\n",
    "ffconcat version 1.0\nfile 'file:/clips/b.mov'\noutpoint 2.066667\nduration 2.500000\n",
    "ffconcat version 1.0\nfile 'file:/clips/a.mov'\ninpoint 4.750000\noutpoint 8.500000\nduration 3.750000\n"};

// The concat lists of `args`, in input order, and the arguments with each list left out.
QStringList listsOf(const QStringList &args, QStringList *rest = nullptr)
{
    QStringList lists;
    const QString data = "data:text/plain;base64,";
    for (const QString &arg : args) {
        if (arg.startsWith(data))
            lists << QString::fromUtf8(QByteArray::fromBase64(arg.mid(data.size()).toLatin1()));
        else if (rest)
            *rest << arg;
    }
    return lists;
}

TimelineFilterGraph build(const std::optional<VideoTimelineSnapshot> &snap, double w = 1920, double h = 1080,
                          const QString &rate = "30")
{
    std::optional<TimelineFilterGraphError> error;
    // Stands for the clips' frame times: a cut after 0 is read from a quarter second before it.
    const auto cuts = [](const VideoSource &, double s) {
        SourceCut c{{s, s + 0.01}, std::nullopt};
        if (s > 0)
            c.readFrom = s - 0.25;
        return std::optional<SourceCut>(c);
    };
    const auto g = ffmpegFilterGraph(snap, QUrl::fromLocalFile("/elsewhere/passed.mp4"), w, h, rate, &error, cuts);
    EXPECT_TRUE(g.has_value()) << (error ? error->message().toStdString() : "");
    EXPECT_FALSE(error.has_value());
    return g.value_or(TimelineFilterGraph{});
}

// Switches the C library, the C++ library and Qt to a comma-decimal locale.
// The C locale is generated on the fly when the system has none installed.
class CommaDecimalLocale {
public:
    CommaDecimalLocale()
    {
        m_oldC = std::setlocale(LC_ALL, nullptr);
        if (!std::setlocale(LC_ALL, "de_DE.UTF-8") && m_dir.isValid()) {
            QProcess::execute("localedef", {"-i", "de_DE", "-f", "UTF-8", m_dir.filePath("de_DE.UTF-8")});
            qputenv("LOCPATH", QFile::encodeName(m_dir.path()));
            std::setlocale(LC_ALL, "de_DE.UTF-8");
        }
        m_oldCpp = std::locale::global(std::locale(std::locale::classic(), new Comma));
        m_oldQt = QLocale();
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }
    ~CommaDecimalLocale()
    {
        std::setlocale(LC_ALL, m_oldC.c_str());
        std::locale::global(m_oldCpp);
        QLocale::setDefault(m_oldQt);
        qunsetenv("LOCPATH");
    }

private:
    struct Comma : std::numpunct<char> {
        char do_decimal_point() const override { return ','; }
    };
    QTemporaryDir m_dir;
    std::string m_oldC;
    std::locale m_oldCpp;
    QLocale m_oldQt;
};

} // namespace

TEST(TimelineFilterGraph, WorkedExampleComesOutExactly)
{
    const TimelineFilterGraph g = build(workedExample());
    QStringList rest;
    EXPECT_EQ(listsOf(g.inputArguments, &rest), workedLists);
    const QStringList concat
        = {"-f", "concat", "-safe", "0", "-auto_convert", "0", "-protocol_whitelist", "data,file", "-i"};
    EXPECT_EQ(rest, QStringList{"-copyts"} + concat + concat + concat);
    EXPECT_EQ(g.filterComplex.toStdString(), workedFilter.toStdString());
    EXPECT_EQ(g.videoLabel, "[timelinev]");
    EXPECT_EQ(g.audioMap, "[timelinea]");
    EXPECT_TRUE(g.usesFilterGraph);

    // The same lane placed later on the timeline is shifted to 0 first.
    VideoTimelineSnapshot late = workedExample();
    for (VideoSegment &s : late.segments)
        s.offset += 12.5;
    EXPECT_EQ(build(late), g);
}

TEST(TimelineFilterGraph, NumbersIgnoreTheProcessLocale)
{
    const TimelineFilterGraph plain = build(workedExample(), 1920, 1080, "30000/1001");
    CommaDecimalLocale german;
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    if (std::string(probe) != "1,5")
        ADD_FAILURE() << "the comma-decimal C locale could not be installed; only Qt and C++ locales are tested";
    EXPECT_EQ(QLocale().toString(1.5), "1,5");
    EXPECT_EQ(build(workedExample(), 1920, 1080, "30000/1001"), plain);
    EXPECT_TRUE(plain.filterComplex.contains("atrim=duration=2.002000000,"));
    EXPECT_EQ(frameRateValue("29.97"), 29.97);
    EXPECT_EQ(build(workedExample()).filterComplex.toStdString(), workedFilter.toStdString());
}

TEST(TimelineFilterGraph, DirectModeOpensTheClipUnchanged)
{
    const VideoSource a = source(10, 1280, 720, true, "/clips/whole.mp4");
    VideoSource hdv = a;  // 960 x 720 stored, shown 1280 x 720
    hdv.pixelAspect = 4.0 / 3;
    const QStringList fromSnapshot = {"-protocol_whitelist", "file", "-i", "file:/clips/whole.mp4"};
    struct Case {
        const char *name;
        std::optional<VideoTimelineSnapshot> snapshot;
        QStringList inputs;  // empty: filter mode
    };
    const QList<Case> cases = {
        {"no snapshot", std::nullopt, {"-protocol_whitelist", "file", "-i", "file:/elsewhere/passed.mp4"}},
        {"whole clip", VideoTimelineSnapshot{{a}, {cut(a, 0, 10, 0)}, std::nullopt}, fromSnapshot},
        {"whole clip, late", VideoTimelineSnapshot{{a}, {cut(a, 0, 10, 7.5)}, std::nullopt}, fromSnapshot},
        {"trimmed", VideoTimelineSnapshot{{a}, {cut(a, 0.5, 10, 0)}, std::nullopt}, {}},
        {"other canvas", VideoTimelineSnapshot{{a}, {cut(a, 0, 10, 0)}, QSizeF(1920, 1080)}, {}},
        {"non-square pixels", VideoTimelineSnapshot{{hdv}, {cut(hdv, 0, 10, 0)}, std::nullopt}, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const TimelineFilterGraph g = build(c.snapshot);
        if (c.inputs.isEmpty()) {
            EXPECT_TRUE(g.usesFilterGraph);
            // An in point only for a cut after the file's start.
            const QStringList lists = listsOf(g.inputArguments);
            ASSERT_EQ(lists.size(), 2);
            for (const QString &list : lists) {
                EXPECT_TRUE(list.contains("file 'file:/clips/whole.mp4'\n"));
                EXPECT_EQ(list.contains("inpoint"), c.snapshot->segments.first().sourceStart > 0);
            }
        } else {
            EXPECT_FALSE(g.usesFilterGraph);
            EXPECT_EQ(g.inputArguments, c.inputs);
            // The picture, never a cover picture before it, each frame the one on screen,
            // the last picture held long enough to be on screen at an output instant.
            EXPECT_TRUE(g.filterComplex.startsWith("[1:V:0]tpad=stop_mode=clone:stop_duration=0.066666667,settb="))
                << g.filterComplex.toStdString();
            EXPECT_TRUE(g.filterComplex.contains("fps=30:start_time=0:round=up,")) << g.filterComplex.toStdString();
            EXPECT_EQ(g.videoLabel, "[timelinev]");
            EXPECT_EQ(g.audioMap, "1:a?");
        }
    }
    // Non-square pixels are scaled to the displayed shape, fitted in the canvas.
    struct Fit {
        QSizeF canvas;
        const char *scale;
    };
    for (const Fit &f : {Fit{QSizeF(1280, 720), "scale=1280:720,pad=1280:720:"},
                         Fit{QSizeF(640, 480), "scale=640:360,pad=640:480:"},
                         Fit{QSizeF(1080, 1920), "scale=1080:608,pad=1080:1920:"}}) {
        const QString graph = build(VideoTimelineSnapshot{{hdv}, {cut(hdv, 0, 10, 0)}, f.canvas},
                                    f.canvas.width(), f.canvas.height()).filterComplex;
        EXPECT_TRUE(graph.contains(QLatin1String(",") + f.scale)) << graph.toStdString();
    }
}

TEST(TimelineFilterGraph, SizesAndFrameRates)
{
    const VideoSource a = source(10, 1280, 720, false);
    const VideoTimelineSnapshot one{{a}, {cut(a, 0, 1, 0)}, std::nullopt};
    struct Size {
        double w, h;
        const char *s;
    };
    for (const Size &c : QList<Size>{{1919.7, 1079, "1918x1078"}, {3.9, 0, "2x2"}, {-8, 5, "2x4"},
                                     {std::nan(""), INFINITY, "2x2"}}) {
        const VideoTimelineSnapshot gap{{a}, {cut(a, 0, 1, 0), cut(a, 0, 1, 2)}, std::nullopt};
        EXPECT_TRUE(build(gap, c.w, c.h).filterComplex.contains(QStringLiteral("s=%1:").arg(c.s))) << c.s;
    }

    struct Rate {
        QString text;
        double fps;
    };
    for (const Rate &r : QList<Rate>{{"30000/1001", 30000.0 / 1001}, {"24000/1001", 24000.0 / 1001},
                                     {"25", 25}, {"59.94", 59.94}, {"abc", 30}, {"", 30}, {" 25", 30},
                                     {"/50/", 30}, {"100/4/", 25}, {"30/0", INFINITY}, {"-5", -5}}) {
        EXPECT_EQ(frameRateValue(r.text), r.fps) << r.text.toStdString();
    }
    EXPECT_TRUE(std::isnan(frameRateValue("0/0")));

    const TimelineFilterGraph ntsc = build(one, 1920, 1080, "30000/1001");
    EXPECT_TRUE(ntsc.filterComplex.contains("setpts=PTS-1000,fps=30000/1001:start_time=0:round=up,tpad=stop_mode=clone:stop=-1,"));
    EXPECT_TRUE(ntsc.filterComplex.endsWith("[timelinecat]setpts=round(N/(30000/1001*TB))[timelinev];"));
    EXPECT_TRUE(ntsc.filterComplex.contains("setpts=N/(30000/1001*TB)"));
    EXPECT_TRUE(ntsc.filterComplex.contains("trim=end_frame=30,"));  // 1 s at 29.97 fps, rounded
}

TEST(TimelineFilterGraph, RefusesUnusableRatesEmptyLanesAndRelativePaths)
{
    const VideoSource a = source(10);
    const VideoTimelineSnapshot one{{a}, {cut(a, 0, 1, 0)}, std::nullopt};
    // Anything but a plain rate would go into the graph's own syntax.
    for (const QString rate : {"30/0", "0/0", "-5", "0", "nan", "inf", "abc", "", " 25", "/50/", "100/4/", "1e3",
                               "25,scale=2:2", "30[x]"}) {
        std::optional<TimelineFilterGraphError> error;
        EXPECT_FALSE(ffmpegFilterGraph(one, {}, 1920, 1080, rate, &error)) << rate.toStdString();
        ASSERT_TRUE(error);
        EXPECT_EQ(error->kind(), TimelineFilterGraphError::Kind::invalidFrameRate);
        EXPECT_TRUE(error->message().contains(rate));
    }
    for (const VideoTimelineSnapshot &empty :
         {VideoTimelineSnapshot{}, VideoTimelineSnapshot{{a}, {cut(a, 0, 11, 0)}, std::nullopt}}) {
        std::optional<TimelineFilterGraphError> error;
        EXPECT_FALSE(ffmpegFilterGraph(empty, {}, 1920, 1080, "30", &error));
        ASSERT_TRUE(error);
        EXPECT_EQ(error->kind(), TimelineFilterGraphError::Kind::nothingToShow);
    }
    // A relative path would be read from the working folder, a protocol text as that protocol.
    const VideoSource relative = source(10, 1280, 720, true, "concat:a.mp4|b.mp4");
    for (const auto &[snapshot, url] :
         {std::pair{std::optional<VideoTimelineSnapshot>{}, QUrl::fromLocalFile("clip.mp4")},
          std::pair{std::optional{VideoTimelineSnapshot{{a, relative}, {cut(a, 0, 1, 0), cut(relative, 0, 1, 1)},
                                                        std::nullopt}},
                    QUrl()}}) {
        std::optional<TimelineFilterGraphError> error;
        EXPECT_FALSE(ffmpegFilterGraph(snapshot, url, 1920, 1080, "30", &error));
        ASSERT_TRUE(error);
        EXPECT_EQ(error->kind(), TimelineFilterGraphError::Kind::notAbsolutePath);
    }
}

TEST(TimelineFilterGraph, FrameAlignment)
{
    const VideoSource a = source(100, 1920, 1080, true, "/clips/a.mov");
    struct Piece {
        double offset, duration, sourceStart;
    };
    struct Case {
        const char *name;
        QList<VideoSegment> segments;
        QList<Piece> aligned;
    };
    const QList<Case> cases = {
        {"a hair after a frame stays", {cut(a, 0, 1.00000002, 0), cut(a, 10, 11, 2)},
         {{0, 1, 0}, {1, 1, 0}, {2, 1, 10}}},
        {"a start moved down onto its frame never cuts before the file", {cut(a, 0, 1.00000002, 0),
                                                                          cut(a, 0, 1, 1.00000002)},
         {{0, 1, 0}, {1, 1, 0}}},
        {"further after a frame moves up", {cut(a, 0, 1.0001, 0), cut(a, 10, 11, 2)},
         {{0, 31 / 30.0, 0}, {31 / 30.0, 29 / 30.0, 0}, {2, 1, 10}}},
        {"a start between frames moves the source start; the end stops at the total",
         {cut(a, 0, 1, 0), cut(a, 5, 6, 1.01)},
         {{0, 1, 0}, {1, 1 / 30.0, 0}, {31 / 30.0, 29 / 30.0, 5 + 31 / 30.0 - 1.01}}},
        {"sub-frame source slice dropped", {cut(a, 0, 1, 0), cut(a, 20, 20.01, 1.005), cut(a, 30, 31, 1.02)},
         {{0, 1, 0}, {1, 1 / 30.0, 0}, {31 / 30.0, 1, 30 + 31 / 30.0 - 1.02}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const VideoTimelineSnapshot snap{{a}, c.segments, std::nullopt};
        const auto got = snap.frameAlignedSlices(30);
        ASSERT_EQ(got.size(), c.aligned.size());
        for (qsizetype i = 0; i < got.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_NEAR(got[i].offset, c.aligned[i].offset, 1e-9);
            EXPECT_NEAR(got[i].duration, c.aligned[i].duration, 1e-9);
            if (!got[i].isGap()) {
                EXPECT_NEAR(got[i].sourceStart, c.aligned[i].sourceStart, 1e-9);
            }
            // Every boundary lies on a whole frame.
            const double frames = got[i].offset * 30;
            EXPECT_NEAR(frames, std::round(frames), 1e-6);
        }
        const double totalFrames = std::round(snap.shiftedToZero().timelineEnd() * 30);
        EXPECT_LE(std::round((got.last().offset + got.last().duration) * 30), totalFrames);
    }
    EXPECT_TRUE(VideoTimelineSnapshot{}.frameAlignedSlices(30).isEmpty());
    EXPECT_TRUE((VideoTimelineSnapshot{{a}, {cut(a, 0, 1, 0)}, std::nullopt}.frameAlignedSlices(NAN).isEmpty()));
    // A lane reaching absurdly far gives no slice rather than an undefined conversion.
    EXPECT_TRUE((VideoTimelineSnapshot{{a}, {cut(a, 0, 1, 1e300)}, std::nullopt}.frameAlignedSlices(30).size()
                 <= 1));

    // Labels count the kept slices only; inputs count source slices only.
    const VideoTimelineSnapshot dropped{{a}, {cut(a, 0, 1, 0), cut(a, 20, 20.01, 1.005), cut(a, 30, 31, 1.02)},
                                        std::nullopt};
    const TimelineFilterGraph g = build(dropped);
    EXPECT_FALSE(g.filterComplex.contains("[3:V:0]"));
    EXPECT_TRUE(g.filterComplex.endsWith(
        "[clipv0][clipa0][clipv1][clipa1][clipv2][clipa2]concat=n=3:v=1:a=1[timelinecat][timelinea];"
        "[timelinecat]setpts=round(N/(30*TB))[timelinev];"));
    // The pieces of one clip: one input for the pictures, one for the sound, the
    // last piece read from its own place two frames past its end.
    EXPECT_FALSE(g.filterComplex.contains("[2:V:0]"));
    // The sound is split where the pictures are, each frame going to its own piece only.
    EXPECT_TRUE(g.filterComplex.contains("segment=timestamps=3.500000000[r1p0][r1p1];"));
    EXPECT_TRUE(g.filterComplex.contains("[2:a]aresample=48000,aformat=sample_fmts=fltp:channel_layouts=stereo,"
                                         "asegment=timestamps=3.500000000[r2p0][r2p1];"));
    EXPECT_TRUE(g.filterComplex.contains("[r1p1]tpad=stop_mode=clone:stop_duration=1.316666667,"));
    const QString list = listsOf(g.inputArguments).value(0);
    EXPECT_TRUE(list.contains("file 'file:/clips/a.mov'\ninpoint 29.763333\noutpoint 32.080000\n"))
        << list.toStdString();
}

// Pieces of one clip share one decoder whatever their number; ffmpeg holds every
// input's decoder from the start, so many clips share threads, one each at least,
// in proportion to their pictures; few keep ffmpeg's choice.
TEST(TimelineFilterGraph, ManyClipsShareTheDecoderThreads)
{
    const auto threadsOf = [](int clips, int piecesEach, double w, double h) {
        VideoTimelineSnapshot snapshot;
        for (int c = 0; c < clips; ++c) {
            const VideoSource a = source(100, w, h, true, QStringLiteral("/clips/%1.mov").arg(c));
            snapshot.sources << a;
            for (int i = 0; i < piecesEach; ++i)
                snapshot.segments << cut(a, i * 0.5, i * 0.5 + 0.5, (c * piecesEach + i) * 0.5);
        }
        const TimelineFilterGraph g = build(snapshot);
        const QStringList &args = g.inputArguments;
        for (int c = 0; c < clips; ++c)
            EXPECT_TRUE(g.filterComplex.contains(QStringLiteral("[%1:V:0]").arg(c + 1)));
        EXPECT_FALSE(g.filterComplex.contains(QStringLiteral("[%1:V:0]").arg(clips + 1)));
        QList<int> threads;
        for (qsizetype k = 0; k + 1 < args.size(); ++k) {
            if (args[k] == "-threads")
                threads << args[k + 1].toInt();
        }
        EXPECT_TRUE(threads.isEmpty() || threads.size() == clips);
        return threads.isEmpty() ? 0 : threads.first();
    };
    EXPECT_EQ(threadsOf(2, 1, 1920, 1080), 0);
    EXPECT_EQ(threadsOf(1, 150, 1920, 1080), 0);
    EXPECT_EQ(threadsOf(40, 2, 1920, 1080), 1);
    EXPECT_EQ(threadsOf(40, 1, 1280, 720), 2);
    EXPECT_EQ(threadsOf(16, 1, 3840, 2160), 1);
}

// Every piece is brought to the first piece's matrix and range, HLG and PQ through
// the SDR chain first; the output says which.
TEST(TimelineFilterGraph, PiecesTakeTheFirstPiecesColours)
{
    const auto clip = [](double w, double h, int matrix, int transfer, bool full, const char *path) {
        VideoSource s = source(10, w, h, true, path);
        s.colorMatrix = matrix;
        s.colorTransfer = transfer;
        s.fullRange = full;
        return s;
    };
    const VideoSource hd = clip(1920, 1080, 1, 1, false, "/clips/hd.mov");        // BT.709
    const VideoSource sd = clip(640, 360, 2, 2, false, "/clips/sd.mov");          // untagged SD: BT.601
    const VideoSource full = clip(1920, 1080, 1, 1, true, "/clips/full.mov");     // BT.709, full range
    const VideoSource hlg = clip(1920, 1080, 9, 18, false, "/clips/hlg.mov");     // BT.2020 HLG
    const QString toHd = "in_color_matrix=bt601:in_range=tv:out_color_matrix=bt709:out_range=tv";
    struct Case {
        const char *name;
        VideoSource first, second;
        QString matrixTag, rangeTag, format;
        QString firstHas, secondHas;  // in each piece's chain; empty: no conversion
    };
    const QList<Case> cases{
        {"same colours", hd, hd, "bt709", "tv", "yuv420p", {}, {}},
        {"SD after HD", hd, sd, "bt709", "tv", "yuv420p", {}, toHd},
        {"HD after SD", sd, hd, "smpte170m", "tv", "yuv420p", {},
         "in_color_matrix=bt709:in_range=tv:out_color_matrix=bt601:out_range=tv"},
        {"full range first", full, hd, "bt709", "pc", "yuvj420p", {},
         "in_color_matrix=bt709:in_range=tv:out_color_matrix=bt709:out_range=pc"},
        {"HLG first", hlg, sd, "bt709", "tv", "yuv420p", sdrMappingFilter(HdrTransfer::hlg), toHd},
        {"HLG second", full, hlg, "bt709", "pc", "yuvj420p", {},
         sdrMappingFilter(HdrTransfer::hlg) + ",scale="},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const TimelineFilterGraph g = build(VideoTimelineSnapshot{
            {c.first, c.second}, {cut(c.first, 1, 2, 0), cut(c.second, 1, 2, 1.5)}, QSizeF(1920, 1080)});
        EXPECT_EQ(g.colour.matrixTag(), c.matrixTag);
        EXPECT_EQ(g.colour.rangeTag(), c.rangeTag);
        const QStringList chains = g.filterComplex.split(';');
        const auto chainOf = [&chains](const QString &part) {
            const auto it = std::find_if(chains.begin(), chains.end(), [&](const QString &c) { return c.contains(part); });
            return it == chains.end() ? QString() : *it;
        };
        for (const QString piece : {"clipv0", "clipv1", "clipv2"})
            EXPECT_TRUE(chainOf(piece).endsWith(QStringLiteral(",format=%1[%2]").arg(c.format, piece)))
                << chainOf(piece).toStdString();
        for (const auto &[chain, has] :
             {std::pair{chainOf("[1:V:0]"), c.firstHas}, std::pair{chainOf("[2:V:0]"), c.secondHas}}) {
            if (has.isEmpty())
                EXPECT_FALSE(chain.contains("color_matrix") || chain.contains("zscale")) << chain.toStdString();
            else
                EXPECT_TRUE(chain.contains(has)) << chain.toStdString();
        }
    }
    // A whole clip keeps its own colours; an HLG one is mapped.
    EXPECT_EQ(build(VideoTimelineSnapshot{{sd}, {cut(sd, 0, 10, 0)}, std::nullopt}).colour.matrixTag(), "smpte170m");
    const TimelineFilterGraph whole = build(VideoTimelineSnapshot{{hlg}, {cut(hlg, 0, 10, 0)}, std::nullopt});
    EXPECT_FALSE(whole.usesFilterGraph);
    EXPECT_TRUE(whole.filterComplex.startsWith("[1:V:0]" + sdrMappingFilter(HdrTransfer::hlg))) << whole.filterComplex.toStdString();
    EXPECT_EQ(whole.colour.transferTag(), "bt709");
}

// Whatever a file states, the output options name something ffmpeg takes (its own
// option parsing, as for "-color_trc"); reserved matrices read as unstated ones.
TEST(TimelineFilterGraph, EveryStatedColourIsOneFfmpegTakes)
{
    std::unique_ptr<AVCodecContext, void (*)(AVCodecContext *)> codec(
        avcodec_alloc_context3(nullptr), [](AVCodecContext *c) { avcodec_free_context(&c); });
    ASSERT_TRUE(codec);
    const QStringList options{"-colorspace", "-color_range", "-color_primaries", "-color_trc"};
    for (int field = 0; field < 3; ++field) {
        for (int value = 0; value < 256; ++value) {
            for (const QSizeF size : {QSizeF(1920, 1080), QSizeF(720, 576)}) {
                VideoSource s = source(10, size.width(), size.height());
                (field == 0 ? s.colorMatrix : field == 1 ? s.colorPrimaries : s.colorTransfer) = value;
                // First and later piece: the scaler is told only matrices it knows.
                const VideoSource other = source(10, 1280, 720, true, "/clips/other.mov");
                for (const auto &[first, second] : {std::pair{s, other}, std::pair{other, s}}) {
                    const TimelineFilterGraph g = build(VideoTimelineSnapshot{
                        {first, second}, {cut(first, 1, 2, 0), cut(second, 1, 2, 1)}, QSizeF(1920, 1080)});
                    static const QRegularExpression named("_color_matrix=([a-z0-9]+)");
                    static const QStringList known{"bt601", "bt709", "fcc", "smpte240m", "bt2020"};
                    for (const auto &m : named.globalMatch(g.filterComplex))
                        EXPECT_TRUE(known.contains(m.captured(1))) << m.captured(1).toStdString();
                    EXPECT_EQ(g.colour, exportColourOf(first));
                }
                const QStringList args = exportColourOf(s).outputArguments();
                ASSERT_EQ(args.size() % 2, 0);
                for (qsizetype k = 0; k < args.size(); k += 2) {
                    ASSERT_TRUE(options.contains(args[k]));
                    EXPECT_GE(av_opt_set(codec.get(), args[k].mid(1).toLatin1(), args[k + 1].toLatin1(), 0), 0)
                        << "field " << field << " value " << value << ": " << args.join(' ').toStdString();
                }
            }
        }
    }
    struct Case {
        int matrix, primaries, transfer;
        QSizeF size;
        QString tags;
    };
    const QList<Case> cases{
        {2, 2, 2, {1920, 1080}, "-colorspace bt709 -color_range tv"},
        {3, 3, 3, {1920, 1080}, "-colorspace bt709 -color_range tv"},
        {0, 0, 0, {1920, 1080}, "-colorspace smpte170m -color_range tv"},
        {3, 5, 5, {720, 576}, "-colorspace smpte170m -color_range tv -color_primaries bt470bg -color_trc gamma28"},
        {6, 4, 4, {720, 480}, "-colorspace smpte170m -color_range tv -color_primaries bt470m -color_trc gamma22"},
        {10, 9, 14, {3840, 2160}, "-colorspace bt2020nc -color_range tv -color_primaries bt2020 -color_trc bt2020-10"},
        {9, 9, 18, {3840, 2160}, "-colorspace bt709 -color_range tv -color_primaries bt709 -color_trc bt709"},
        {14, 200, 200, {1920, 1080}, "-colorspace smpte170m -color_range tv"},
    };
    for (const Case &c : cases) {
        VideoSource s = source(10, c.size.width(), c.size.height());
        s.colorMatrix = c.matrix;
        s.colorPrimaries = c.primaries;
        s.colorTransfer = c.transfer;
        EXPECT_EQ(exportColourOf(s).outputArguments().join(' ').toStdString(), c.tags.toStdString());
    }
}

// Pieces of a clip the concat reader cannot join (see SourceCut) are read as
// before it: an input of their own each, cut by "-ss" and "-t", on the file's own
// times; the other clip's pieces still share one reader.
TEST(TimelineFilterGraph, PiecesTheReaderCannotJoinGetAnInputEach)
{
    const VideoSource a = source(10, 1280, 720, true, "/clips/a.mov");
    const VideoSource b = source(10, 1280, 720, true, "/clips/b.mov");
    const auto cuts = [&](const VideoSource &s, double at) {
        return std::optional<SourceCut>(SourceCut{{at, at + 0.01}, at - 0.25, 0, s.url != a.url});
    };
    const VideoTimelineSnapshot snap{{a, b}, {cut(a, 5, 6, 0), cut(b, 2, 3, 1), cut(a, 8, 9, 2), cut(b, 6, 7, 3)},
                                     std::nullopt};
    std::optional<TimelineFilterGraphError> error;
    const auto g = ffmpegFilterGraph(snap, {}, 1920, 1080, "30", &error, cuts, "/staging");
    ASSERT_TRUE(g) << error->message().toStdString();
    const QStringList &args = g->inputArguments;
    EXPECT_EQ(args.count("-i"), 6);  // two pieces of a, pictures and sound; b's pictures, b's sound
    EXPECT_EQ(g->readLists.size(), 2);
    for (const TimelineFilterGraph::ReadList &list : g->readLists)
        EXPECT_EQ(list.clip, "/clips/b.mov");
    const QStringList plain = {"-ss", "7.750000000", "-t", "2.316666667", "-protocol_whitelist", "file", "-i",
                               "file:/clips/a.mov"};
    EXPECT_NE(std::search(args.begin(), args.end(), plain.begin(), plain.end()), args.end()) << args.join(' ').toStdString();
    // Its pictures lie where the file has them: 7.75 s read from, the cut 0.25 s later.
    EXPECT_TRUE(g->filterComplex.contains("between(t,7.733333333,9.066666667)")) << g->filterComplex.toStdString();
    EXPECT_FALSE(args.contains("data,file"));
}

// Open-GOP HEVC pieces join their clip's one input for pictures through copies
// that start the decoder afresh, each named by the list with the piece's own in
// point; their sound is read from the clip. The copies keep no display matrix:
// their run turns the pictures itself, once. Without a folder for the copies they
// keep an input each, and ffmpeg turns what it reads from the clip.
TEST(TimelineFilterGraph, PiecesThatJoinOnlyAfreshShareOneInputThroughCopies)
{
    const VideoSource c = source(10, 1280, 720, true, "/clips/c.mov");
    const auto cuts = [](const VideoSource &, double at) {
        SourceCut cut{{at, at + 0.01}, at - 0.25, 2, false, true, "transpose=clock"};
        if (at < 1)  // the clip's first GOP, from its start
            cut = {{at, at + 0.01}, std::nullopt, 2, true, false, "transpose=clock"};
        return std::optional<SourceCut>(cut);
    };
    const VideoTimelineSnapshot snap{{c}, {cut(c, 0, 1, 0), cut(c, 4, 5, 1), cut(c, 7, 8, 2)}, std::nullopt};
    std::optional<TimelineFilterGraphError> error;
    const auto g = ffmpegFilterGraph(snap, {}, 1920, 1080, "30", &error, cuts, "/staging");
    ASSERT_TRUE(g) << error->message().toStdString();
    EXPECT_EQ(g->inputArguments.count("-i"), 2);
    ASSERT_EQ(g->readLists.size(), 2);
    const TimelineFilterGraph::ReadList &pictures = g->readLists.first();
    EXPECT_EQ(pictures.clip, "/clips/c.mov");
    EXPECT_EQ(pictures.stream, 2);
    // In points as the clip's cuts give them; each copy runs to the piece's read end
    // (cut + length + two frames).
    const QList<PieceFile> copies{{"/staging/pieces-1-0.nut", 0, 1'066'667},
                                  {"/staging/pieces-1-1.nut", 3'750'000, 5'066'667},
                                  {"/staging/pieces-1-2.nut", 6'750'000, 8'066'667}};
    EXPECT_EQ(pictures.pieces, copies);
    for (const PieceFile &copy : copies) {
        const QString entry = QStringLiteral("file 'file:%1'\ninpoint %2\n")
                                  .arg(copy.path, QString::number(double(copy.inpoint) / 1e6, 'f', 6));
        EXPECT_TRUE(pictures.text.contains(entry)) << pictures.text.toStdString();
    }
    EXPECT_FALSE(pictures.text.contains("outpoint")) << pictures.text.toStdString();
    EXPECT_TRUE(g->filterComplex.startsWith("[1:0]select=")) << g->filterComplex.toStdString();
    EXPECT_EQ(g->filterComplex.count("',transpose=clock,"), 1) << g->filterComplex.toStdString();
    const TimelineFilterGraph::ReadList &sound = g->readLists.last();
    EXPECT_TRUE(sound.pieces.isEmpty());
    EXPECT_EQ(sound.text.count("file 'file:/clips/c.mov'"), 3) << sound.text.toStdString();

    const auto inline_ = ffmpegFilterGraph(snap, {}, 1920, 1080, "30", &error, cuts);
    ASSERT_TRUE(inline_);
    EXPECT_EQ(inline_->inputArguments.count("-i"), 4);  // two plain pieces, the first's pictures, all the sound
    EXPECT_FALSE(inline_->filterComplex.contains("transpose")) << inline_->filterComplex.toStdString();
}
