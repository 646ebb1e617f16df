// The frames handed to ffmpeg as YUV(A) 4:2:0 must be byte for byte what ffmpeg
// itself makes of the same BGRA frames, so that the export stays the same.
#include "exporttestutil.h"

#include "export/ffmpegcommandline.h"
#include "export/overlayframecomposition.h"
#include "export/yuvaframeconverter.h"

#include <QTemporaryDir>

#include <vector>

using namespace routereel;
using namespace exporttest;
using PipeFormat = FFmpegCommandLine::PipeFormat;

namespace {

void append(const QString &path, const void *data, qsizetype size)
{
    QFile file(path);
    file.open(QIODevice::Append);
    file.write(static_cast<const char *>(data), size);
}

QByteArray ffmpegConversion(const std::vector<unsigned char> &bgra, QSize size, const QString &dir,
                            const QString &graph)
{
    const QString in = QDir(dir).filePath(QStringLiteral("frame.bgra"));
    const QString out = QDir(dir).filePath(QStringLiteral("frame.yuva"));
    QFile::remove(in);
    append(in, bgra.data(), qsizetype(bgra.size()));
    // The same route as the export's graph: an automatic conversion inside a complex filter graph.
    const QString frameSize = QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
    testsupport::runFfmpeg(words(QStringLiteral("-f rawvideo -pix_fmt bgra -s ")) << frameSize << QStringLiteral("-i")
                           << in << QStringLiteral("-filter_complex") << graph
                           << words(QStringLiteral("-map [out] -f rawvideo")) << out);
    return readAll(out);
}

// A drawn frame: texts with soft edges and shadow at full and half opacity, un-premultiplied.
struct DrawnFrame {
    DrawnFrame(QSize size, QList<QPoint> places, bool overlayMode)
        : bgra(std::size_t(size.width()) * size.height() * 4)
    {
        OverlayFrameComposer::Setup setup;
        setup.width = size.width();
        setup.height = size.height();
        setup.overlayMode = overlayMode;
        setup.texts.time = textWidget(places.at(0).x(), places.at(0).y(), 24);
        setup.texts.speed = textWidget(places.at(1).x(), places.at(1).y(), 30);
        setup.texts.speed.opacity = 0.5;
        TextImageCache cache;
        FrameParams params;
        params.timeStr = QStringLiteral("12:34:56");
        params.speedStr = QStringLiteral("23.4 km/h");
        prepareTextImages(cache, {params}, setup.texts, 1, {});
        slot.data = bgra.data();
        const OverlayFrameComposer composer(setup);
        composer.initialise(slot);
        composer.draw(slot, params, std::nullopt, false, cache);
    }
    std::vector<unsigned char> bgra;
    OverlayFrameComposer::Slot slot;
};

// Draws frames with the widgets at `places` one after another, converts each whole and, into one reused
// buffer, only around its content, and expects both to equal ffmpeg's conversion through `graph`.
// `each` sees every frame with its boxed conversion and boxes.
void expectFfmpegsConversion(QSize size, YuvaFrameConverter::Output output, const QString &graph,
                             const QList<QList<QPoint>> &places,
                             const std::function<void(const DrawnFrame &, const QByteArray &, const QRegion &)> &each,
                             const ExportColour &colour = {})
{
    QTemporaryDir dir;
    const bool overlay = output == YuvaFrameConverter::Output::yuv420pBt709;
    const quint32 background = overlay ? OverlayFrameComposer::overlayBackground : 0;
    YuvaFrameConverter converter(size.width(), size.height(), output, background, colour);
    ASSERT_TRUE(converter.isValid());
    QByteArray boxed(converter.byteCount(), 0);
    auto *boxedData = reinterpret_cast<unsigned char *>(boxed.data());
    // The buffer starts as a converted empty frame.
    const std::vector<quint32> empty(std::size_t(size.width()) * size.height(), background);
    converter.convert(reinterpret_cast<const unsigned char *>(empty.data()), boxedData);
    QRegion boxes;
    for (const QList<QPoint> &at : places) {
        SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height() << " at " << at.at(0).x());
        const DrawnFrame frame(size, at, overlay);
        QByteArray whole(converter.byteCount(), 0);
        converter.convert(frame.bgra.data(), reinterpret_cast<unsigned char *>(whole.data()));
        converter.convertContent(frame.bgra.data(), frame.slot.dirty, boxedData, boxes);

        const QByteArray theirs = ffmpegConversion(frame.bgra, size, dir.path(), graph);
        ASSERT_EQ(theirs.size(), whole.size());
        EXPECT_TRUE(whole == theirs);
        EXPECT_TRUE(boxed == theirs);
        each(frame, boxed, boxes);
    }
}

// What ffmpeg itself makes of BGRA frames in the frames-only graph.
const QString bgraOverlayGraph
    = QStringLiteral("[0:v]scale=out_color_matrix=bt709:out_range=tv,format=yuv420p,setsar=1[out]");

// The export's own ffmpeg run with the frames read from `raw`, or the same run
// handed BGRA frames that ffmpeg converts itself; one encoder thread so that
// equal frames give an equal file.
QByteArray encode(const ExportTask &task, bool bgra, const QString &raw, const QString &output)
{
    const auto written = ffmpegArguments(task, QStringLiteral("30"), output, {}, bgra ? bgraOverlayGraph : QString());
    if (!written)
        return {};
    QStringList args = *written;
    args[args.indexOf(QStringLiteral("pipe:0"))] = raw;
    args.remove(args.indexOf(QStringLiteral("-progress")), 2);
    args.insert(args.indexOf(QStringLiteral("-c:v")), QStringLiteral("-threads"));
    args.insert(args.indexOf(QStringLiteral("-c:v")), QStringLiteral("1"));
    if (bgra)
        args[args.indexOf(QStringLiteral("-pix_fmt")) + 1] = QStringLiteral("bgra");
    if (!testsupport::runFfmpeg(args))
        return {};
    return readAll(output);
}

} // namespace

TEST(YuvaFrameConverter, MatchesFfmpegsOwnConversion)
{
    const auto boxedAroundWidgets = [](QSize size) {
        return [size](const DrawnFrame &, const QByteArray &, const QRegion &boxes) {
            qsizetype area = 0;
            for (const QRect &box : boxes)
                area += qsizetype(box.width()) * box.height();
            EXPECT_GT(area, 0);
            EXPECT_LT(area, qsizetype(size.width()) * size.height());
        };
    };
    // In the matrix and range of the video the frames are laid over.
    struct Colour {
        ExportColour colour;
        const char *matrix;
        const char *range;
    };
    for (const Colour &c : {Colour{{1, 2, 2, false}, "bt709", "tv"}, Colour{{6, 2, 2, false}, "bt601", "tv"},
                            Colour{{1, 2, 2, true}, "bt709", "pc"}, Colour{{9, 2, 2, false}, "bt2020", "tv"}}) {
        SCOPED_TRACE(testing::Message() << c.matrix << " " << c.range);
        const QString graph
            = QStringLiteral("[0:v]scale=out_color_matrix=%1:out_range=%2,format=yuva420p[out]").arg(c.matrix, c.range);
        expectFfmpegsConversion({320, 240}, YuvaFrameConverter::Output::yuva420p, graph,
                                {{QPoint(100, 60), QPoint(200, 150)}, {QPoint(90, 200), QPoint(250, 30)}},
                                boxedAroundWidgets({320, 240}), c.colour);
    }
    // Odd sizes, widgets at the edges and overlapping, then far apart.
    expectFfmpegsConversion({331, 187}, YuvaFrameConverter::Output::yuva420p,
                            QStringLiteral("[0:v]scale=out_color_matrix=bt709:out_range=tv,format=yuva420p[out]"),
                            {{QPoint(20, 10), QPoint(310, 180)},
                             {QPoint(160, 90), QPoint(175, 100)},
                             {QPoint(300, 20), QPoint(30, 170)}},
                            boxedAroundWidgets({331, 187}));
}

TEST(YuvaFrameConverter, BoxesKeepTheirDistance)
{
    YuvaFrameConverter converter(1920, 1080);
    // Two widgets closer than two margins share one box; far ones keep their own.
    QRegion content;
    content += QRect(100, 100, 50, 50);
    content += QRect(100 + 50 + 40, 100, 50, 50);
    content += QRect(1500, 900, 100, 100);
    const QList<QRect> boxes = converter.boxesAround(content);
    ASSERT_EQ(boxes.size(), 2);
    const int m = YuvaFrameConverter::margin;
    for (const QRect &box : boxes) {
        EXPECT_EQ(box.left() % 16, 0);
        EXPECT_EQ(box.top() % 16, 0);
        for (const QRect &r : content) {
            if (box.intersects(r))
                EXPECT_TRUE(box.contains(r.adjusted(-m, -m, m, m)));
        }
    }
}

// Overlay exports hand ffmpeg the frames converted to what its scale filter
// makes of them: the frames, and so the encoded file, must not change.
TEST(YuvaFrameConverter, OverlayFramesMatchFfmpegsOwnConversion)
{
    QTemporaryDir dir;
    const QSize size(320, 240);
    const ExportTask task = overlayTask(dir.filePath(QStringLiteral("unused.mp4")), 1, size);
    ASSERT_EQ(FFmpegCommandLine::pipeFormat(task), PipeFormat::yuv420p);
    ASSERT_EQ(YuvaFrameConverter::byteCount(320, 240, YuvaFrameConverter::Output::yuv420pBt709), 320 * 240 * 3 / 2);

    const QString bgraFile = dir.filePath(QStringLiteral("frames.bgra"));
    const QString yuvFile = dir.filePath(QStringLiteral("frames.yuv"));
    // Widgets in the middle, at the edges and overlapping, then gone, then back.
    expectFfmpegsConversion(size, YuvaFrameConverter::Output::yuv420pBt709,
                            bgraOverlayGraph,
                            {{QPoint(100, 60), QPoint(200, 150)},
                             {QPoint(4, 2), QPoint(280, 220)},
                             {QPoint(160, 90), QPoint(175, 100)},
                             {QPoint(-400, -400), QPoint(-400, -400)},
                             {QPoint(30, 200), QPoint(250, 20)}},
                            [&](const DrawnFrame &frame, const QByteArray &boxed, const QRegion &) {
                                append(bgraFile, frame.bgra.data(), qsizetype(frame.bgra.size()));
                                append(yuvFile, boxed.constData(), boxed.size());
                            });

    const QByteArray fromBgra = encode(task, true, bgraFile, dir.filePath(QStringLiteral("bgra.mp4")));
    const QByteArray fromYuv = encode(task, false, yuvFile, dir.filePath(QStringLiteral("yuv.mp4")));
    ASSERT_FALSE(fromBgra.isEmpty());
    EXPECT_TRUE(fromYuv == fromBgra);
}

TEST(FFmpegCommandLine, OverlayFramesGoConvertedOnlyWhereNothingIsResized)
{
    struct Case {
        const char *name;
        CompositionMode mode;
        QSizeF canvas;
        double outputScale;
        PipeFormat expected;
    };
    const QList<Case> cases{
        {"overlay", CompositionMode::overlay, {1920, 1080}, 1, PipeFormat::yuv420p},
        {"overlay, odd canvas", CompositionMode::overlay, {1921, 1080}, 1, PipeFormat::bgra},
        {"overlay, scaled down", CompositionMode::overlay, {1920, 1080}, 0.5, PipeFormat::bgra},
        {"regular without video", CompositionMode::regular, {1920, 1080}, 1, PipeFormat::bgra},
    };
    for (const Case &c : cases) {
        ExportTask task = overlayTask(QStringLiteral("/tmp/out.mp4"), 1, c.canvas);
        task.compositionMode = c.mode;
        task.outputScale = c.outputScale;
        EXPECT_EQ(FFmpegCommandLine::pipeFormat(task), c.expected) << c.name;
        const auto command = FFmpegCommandLine::command(task, QStringLiteral("30"), QStringLiteral("/tmp/out.mp4"),
                                                        QStringLiteral("/tmp/graph.txt"));
        ASSERT_TRUE(command);
        const QStringList &args = command->arguments;
        EXPECT_EQ(args.at(args.indexOf(QStringLiteral("-pix_fmt")) + 1),
                  FFmpegCommandLine::pixelFormatName(c.expected))
            << c.name;
        const QString &graph = command->filterGraph;
        EXPECT_EQ(graph.contains(QStringLiteral("out_color_matrix=bt709")), c.expected == PipeFormat::bgra) << c.name;
    }
}
