// Timelines of hundreds of pieces of a clip of a size users have, exported end to
// end with the real ffmpeg: every frame is its piece's, and ffmpeg's memory does
// not grow with the number of pieces.
#include "exporttestutil.h"

#include "export/ffmpegcommandline.h"
#include "export/ffmpegruntime.h"

#include "support/clipgenerator.h"
#include "support/sourcekinds.h"

#include <QTemporaryDir>

using namespace exporttest;

namespace {

// The export's ffmpeg run through python, which writes the run's peak resident
// memory in KiB to `report`; the runtime's probes run plainly.
bool writeMeasuredFfmpeg(const QString &path, const QString &ffmpeg, const QString &report)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QStringLiteral("#!/bin/sh\n"
                              "case \" $* \" in *\" -progress \"*) exec python3 -c 'import resource, subprocess, sys\n"
                              "code = subprocess.call(sys.argv[2:])\n"
                              "open(sys.argv[1], \"w\").write(str(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss))\n"
                              "sys.exit(code)' '%1' '%2' \"$@\";; esac\n"
                              "exec '%2' \"$@\"\n")
                   .arg(report, ffmpeg)
                   .toUtf8());
    file.close();
    return file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
}

// Every picture of `file` as ffmpeg shows it (turned as its display matrix says),
// averaged into a grey grid of 24 x 16 cells.
QList<QByteArray> greyGrids(const QString &file)
{
    constexpr qsizetype cells = 24 * 16;
    QProcess p;
    p.start(QStringLiteral("ffmpeg"),
            words(QStringLiteral("-v error -i"))
                << file << words(QStringLiteral("-fps_mode passthrough -vf scale=24:16:flags=area -f rawvideo "
                                                "-pix_fmt gray -")));
    p.waitForFinished(120'000);
    const QByteArray raw = p.readAllStandardOutput();
    QList<QByteArray> grids;
    for (qsizetype at = 0; at + cells <= raw.size(); at += cells)
        grids << raw.mid(at, cells);
    return grids;
}

int largestDifference(const QByteArray &a, const QByteArray &b)
{
    int largest = a.size() == b.size() ? 0 : 255;
    for (qsizetype i = 0; i < std::min(a.size(), b.size()); ++i)
        largest = std::max(largest, std::abs(int(quint8(a[i])) - int(quint8(b[i]))));
    return largest;
}

// `pieceFrames` frames of `clip` from each of `firsts`, one after another at `fps`,
// exported to `output` through fewer inputs than pieces; the clip's frame numbers
// the output shows, in order.
QList<int> exportPieces(const VideoSource &clip, const QList<int> &firsts, int pieceFrames, double fps,
                        const QString &output)
{
    QList<VideoSegment> segments;
    QList<int> expected;
    for (int first : firsts) {
        segments << cut(clip, first / fps, (first + pieceFrames) / fps, double(expected.size()) / fps);
        for (int k = 0; k < pieceFrames; ++k)
            expected << first + k;
    }
    ExportTask task = regularTask(output, {clip}, segments);
    task.videoFPS = fps;
    const std::optional<QStringList> arguments = ffmpegArguments(task, QStringLiteral("30"), output);
    EXPECT_TRUE(arguments);
    if (arguments)
        EXPECT_LT(arguments->count(QStringLiteral("-i")), 4) << arguments->join(QLatin1Char(' ')).toStdString();
    VideoExporter exporter;
    const std::optional<ExportResult> result = runExport(exporter, task, 600'000);
    EXPECT_TRUE(result && result->succeeded()) << (result ? result->message().toStdString() : "no result");
    return expected;
}

} // namespace

TEST(LongTimelineExport, EveryFrameOfHundredsOfPiecesIsThePictureOfItsPiece)
{
    QTemporaryDir dir;
    const QString ffmpeg = FFmpegRuntime::locateFFmpeg();
    ASSERT_FALSE(ffmpeg.isEmpty());
    const QString wrapper = dir.filePath(QStringLiteral("ffmpeg"));
    const QString report = dir.filePath(QStringLiteral("peak.txt"));
    ASSERT_TRUE(writeMeasuredFfmpeg(wrapper, ffmpeg, report));
    // 300 numbered 720p pictures at 30 fps with sound.
    const QString numbers
        = testsupport::makeNumberedClip(dir.path(), QStringLiteral("numbers.mp4"), 10, true, 1280, 720);
    ASSERT_FALSE(numbers.isEmpty());
    const VideoSource clip = sourceFor(numbers);
    const double fps = 30;
    struct Case {
        const char *name;
        int pieces;
        int pieceFrames;
        int gapFrames;  // black between two pieces
    };
    QMap<int, double> peakKiB;  // by number of pieces
    for (const Case &c : {Case{"10 pieces end to end", 10, 3, 0}, Case{"500 pieces end to end", 500, 1, 0},
                          Case{"100 pieces with gaps", 100, 1, 2}}) {
        SCOPED_TRACE(c.name);
        QList<VideoSegment> segments;
        QList<int> expected;
        for (int p = 0; p < c.pieces; ++p) {
            // Picture 0 is all black like a gap: pieces start at 1 or later, all over
            // the clip, forwards and backwards.
            const int first = 1 + (p * 37) % 290;
            const int offset = p * (c.pieceFrames + c.gapFrames);
            segments << cut(clip, first / fps, (first + c.pieceFrames) / fps, offset / fps);
            if (p > 0)
                expected << QList<int>(c.gapFrames, 0);
            for (int k = 0; k < c.pieceFrames; ++k)
                expected << first + k;
        }
        const QString output = dir.filePath(QLatin1String(c.name) + QStringLiteral(".mp4"));
        ExportTask task = regularTask(output, {clip}, segments);
        task.videoFPS = fps;
        const GPXTrack track = makeTrack(int(std::ceil(double(expected.size()) / fps)));
        task.tracks = {track};
        task.segments = {wholeTrack(track)};

        VideoExporter exporter;
        FFmpegSearch search;
        search.bundled = {wrapper};
        exporter.setFFmpegSearch(search);
        QFile::remove(report);
        const std::optional<ExportResult> result = runExport(exporter, task, 900'000);
        ASSERT_TRUE(result);
        ASSERT_TRUE(result->succeeded()) << result->message().toStdString();
        EXPECT_EQ(testsupport::shownFrameNumbers(output), expected);
        EXPECT_NEAR(testsupport::probeStream(output, QStringLiteral("a:0"), QStringLiteral("stream=duration"))
                        .value(QStringLiteral("duration"))
                        .toDouble(),
                    double(expected.size()) / fps, 0.05);
        // Nothing of the staging folder is left beside the output.
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).filter(
                      QStringLiteral(".routereel-export-")),
                  QStringList());
        peakKiB[c.pieces] = readAll(report).toDouble();
    }
    // An input per piece held a decoder and its pictures for each: 200 pieces of
    // 720p took gigabytes where 10 took a few hundred megabytes.
    ASSERT_GT(peakKiB.value(10), 0);
    EXPECT_LT(peakKiB.value(500), 2 * peakKiB.value(10))
        << "10 pieces: " << peakKiB.value(10) / 1024 << " MiB, 500 pieces: " << peakKiB.value(500) / 1024 << " MiB";
}

// Phones record HEVC: pieces cut from a clip with closed GOPs (IDR keyframes,
// B-frames) or open ones (CRA keyframes, whose leading pictures refer to the GOP
// before) are read one after another by one input, and every frame of every
// piece is still its own picture, in order, whatever piece came before: on and
// between keyframes, ending just before one, out of order and repeated.
TEST(LongTimelineExport, PiecesOfAnHevcClipShareOneInputAndShowTheirOwnFrames)
{
    QTemporaryDir dir;
    const double fps = 30;
    const int pieceFrames = 4;
    QList<int> firsts;
    for (int p = 0; p < 60; ++p)
        firsts << 1 + (p * 37) % 290;
    firsts << 30 << 60 << 26 << 30 << 150 << 149 << 270 << 30;
    for (const char *gop : {"open-gop=0", "open-gop=1"}) {
        SCOPED_TRACE(gop);
        const QString clipPath = dir.filePath(QLatin1String(gop) + QStringLiteral(".mov"));
        ASSERT_TRUE(testsupport::runFfmpeg(
            QStringList{QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                        testsupport::numberedPictures(10, 640, 360, QStringLiteral("30"))}
            + words(QStringLiteral("-c:v libx265 -preset ultrafast -pix_fmt yuv420p -tag:v hvc1 -video_track_timescale 600 "
                                   "-x265-params keyint=30:min-keyint=30:scenecut=0:bframes=4:log-level=error:")
                    + QLatin1String(gop))
            << clipPath));
        const QString output = dir.filePath(QLatin1String(gop) + QStringLiteral(".mp4"));
        const QList<int> expected = exportPieces(sourceFor(clipPath), firsts, pieceFrames, fps, output);
        EXPECT_EQ(testsupport::shownFrameNumbers(output), expected);
    }
}

// Phones' clips are mostly HEVC with open GOPs, shown turned by the container's
// display matrix, which the copies of their pieces do not keep: the pieces still
// share one input, and every frame is the clip's own picture as ffmpeg shows it,
// turned a quarter, a half, or only mirrored.
TEST(LongTimelineExport, PiecesOfATurnedHevcClipShareOneInputAndShowTheirFramesTurned)
{
    QTemporaryDir dir;
    const double fps = 30;
    const int pieceFrames = 4;
    const QList<int> firsts{35, 62, 10, 95, 60, 40, 31};
    // The frame's number in bars across the top half, a block at the bottom left:
    // no turn or mirror leaves the picture as it is.
    const QString stored = dir.filePath(QStringLiteral("stored.mov"));
    ASSERT_TRUE(testsupport::runFfmpeg(
        QStringList{QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                    QStringLiteral("nullsrc=s=48x16:r=30:d=4,geq=lum='if(lt(Y,8),255*mod(floor(N/pow(2,floor(X/4))),2),"
                                   "255*lt(X,12))':cb=128:cr=128,scale=192:96:flags=neighbor,setsar=1")}
        + words(QStringLiteral("-c:v libx265 -preset ultrafast -pix_fmt yuv420p -tag:v hvc1 -video_track_timescale 600 "
                               "-x265-params keyint=30:min-keyint=30:scenecut=0:bframes=4:open-gop=1:log-level=error"))
        << stored));
    struct Case {
        const char *name;
        const char *rotate;
        bool mirrored;
    };
    for (const Case &c : {Case{"quarter.mov", "90", false}, Case{"half.mov", "180", false},
                          Case{"mirrored.mov", "180", true}}) {
        SCOPED_TRACE(c.name);
        const QString clipPath = dir.filePath(QLatin1String(c.name));
        ASSERT_TRUE(testsupport::runFfmpeg({QStringLiteral("-i"), stored, QStringLiteral("-c"), QStringLiteral("copy"),
                                            QStringLiteral("-metadata:s:v:0"),
                                            QStringLiteral("rotate=") + QLatin1String(c.rotate), clipPath}));
        if (c.mirrored) {
            // ffmpeg's tools write no mirror: the half turn's matrix (-1, 0; 0, -1)
            // becomes (1, 0; 0, -1), upside down only.
            QFile file(clipPath);
            ASSERT_TRUE(file.open(QIODevice::ReadWrite));
            const qsizetype at = file.readAll().indexOf(QByteArray::fromHex("ffff0000000000000000000000000000ffff0000"));
            ASSERT_GE(at, 0);
            ASSERT_TRUE(file.seek(at));
            ASSERT_EQ(file.write(QByteArray::fromHex("00010000")), 4);
        }
        const QList<QByteArray> shown = greyGrids(clipPath);
        ASSERT_EQ(shown.size(), 120);
        const QString output = dir.filePath(QLatin1String(c.name) + QStringLiteral(".mp4"));
        const QList<int> expected = exportPieces(sourceFor(clipPath), firsts, pieceFrames, fps, output);
        const QList<QByteArray> got = greyGrids(output);
        ASSERT_EQ(got.size(), expected.size());
        for (qsizetype k = 0; k < got.size(); ++k)
            EXPECT_LT(largestDifference(got[k], shown[expected[k]]), 48) << "frame " << k << ", picture " << expected[k];
    }
}
