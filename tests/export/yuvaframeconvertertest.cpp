// The frames handed to ffmpeg as YUVA 4:2:0 must be byte for byte what ffmpeg
// itself makes of the same BGRA frames, so that the export stays the same.
#include "exporttestutil.h"

#include "export/ffmpegcommandline.h"
#include "export/overlayframecomposition.h"
#include "export/yuvaframeconverter.h"

#include <QTemporaryDir>

#include <vector>

using namespace routereel;
using namespace exporttest;

namespace {

QByteArray ffmpegConversion(const std::vector<unsigned char> &bgra, int width, int height, const QString &dir,
                            const QString &graph = QStringLiteral("[0:v]format=yuva420p[out]"))
{
    const QString in = QDir(dir).filePath(QStringLiteral("frame.bgra"));
    const QString out = QDir(dir).filePath(QStringLiteral("frame.yuva"));
    QFile file(in);
    file.open(QIODevice::WriteOnly);
    file.write(reinterpret_cast<const char *>(bgra.data()), qsizetype(bgra.size()));
    file.close();
    // The same route as the export's graph: an automatic conversion inside a complex filter graph.
    QProcess p;
    p.start(QStringLiteral("ffmpeg"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
                                       QStringLiteral("-f"), QStringLiteral("rawvideo"), QStringLiteral("-pix_fmt"),
                                       QStringLiteral("bgra"), QStringLiteral("-s"),
                                       QStringLiteral("%1x%2").arg(width).arg(height), QStringLiteral("-i"), in,
                                       QStringLiteral("-filter_complex"), graph, QStringLiteral("-map"),
                                       QStringLiteral("[out]"), QStringLiteral("-f"),
                                       QStringLiteral("rawvideo"), out});
    p.waitForFinished(60'000);
    QFile result(out);
    return result.open(QIODevice::ReadOnly) ? result.readAll() : QByteArray();
}

// A drawn frame: texts with soft edges and shadow at full and half opacity, un-premultiplied.
struct DrawnFrame {
    DrawnFrame(QSize size, QList<QPoint> places, bool overlayMode = false)
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

} // namespace

TEST(YuvaFrameConverter, MatchesFfmpegsOwnConversion)
{
    QTemporaryDir dir;
    struct Case {
        QSize size;
        QList<QList<QPoint>> frames;  // widget places of consecutive frames into one buffer
    };
    const QList<Case> cases{
        {QSize(320, 240), {{QPoint(100, 60), QPoint(200, 150)}, {QPoint(90, 200), QPoint(250, 30)}}},
        // Odd sizes, widgets at the edges and overlapping, then far apart.
        {QSize(331, 187), {{QPoint(20, 10), QPoint(310, 180)}, {QPoint(160, 90), QPoint(175, 100)},
                           {QPoint(300, 20), QPoint(30, 170)}}},
    };
    for (const Case &c : cases) {
        const int w = c.size.width();
        const int h = c.size.height();
        YuvaFrameConverter converter(w, h);
        ASSERT_TRUE(converter.isValid());
        QByteArray boxed(converter.byteCount(), 0);
        auto *boxedData = reinterpret_cast<unsigned char *>(boxed.data());
        // The buffer starts as a converted empty frame.
        converter.convert(std::vector<unsigned char>(std::size_t(w) * h * 4, 0).data(), boxedData);
        QRegion boxes;
        for (const QList<QPoint> &places : c.frames) {
            const DrawnFrame frame(c.size, places);
            QByteArray whole(converter.byteCount(), 0);
            converter.convert(frame.bgra.data(), reinterpret_cast<unsigned char *>(whole.data()));
            converter.convertContent(frame.bgra.data(), frame.slot.dirty, boxedData, boxes);
            qsizetype area = 0;
            for (const QRect &box : boxes)
                area += qsizetype(box.width()) * box.height();
            EXPECT_GT(area, 0);
            EXPECT_LT(area, qsizetype(w) * h);  // only around the widgets

            const QByteArray theirs = ffmpegConversion(frame.bgra, w, h, dir.path());
            ASSERT_EQ(theirs.size(), whole.size()) << w;
            EXPECT_TRUE(whole == theirs) << w << "x" << h;
            EXPECT_TRUE(boxed == theirs) << w << "x" << h << " at " << places.at(0).x();
        }
    }
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
    for (const QRect &box : boxes) {
        EXPECT_EQ(box.left() % 16, 0);
        EXPECT_EQ(box.top() % 16, 0);
        for (const QRect &r : content) {
            if (box.intersects(r)) {
                EXPECT_TRUE(box.contains(r.adjusted(-YuvaFrameConverter::margin, -YuvaFrameConverter::margin,
                                                    YuvaFrameConverter::margin, YuvaFrameConverter::margin)));
            }
        }
    }
}

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void append(const QString &path, const char *data, qsizetype size)
{
    QFile file(path);
    file.open(QIODevice::Append);
    file.write(data, size);
}

// The export's own ffmpeg run with the frames read from `raw`; one encoder
// thread so that equal frames give an equal file.
QByteArray encode(const ExportTask &task, FFmpegCommandLine::PipeFormat format, const QString &raw,
                  const QString &output)
{
    QStringList args = *FFmpegCommandLine::arguments(task, QStringLiteral("30"), output, nullptr, format);
    args[args.indexOf(QStringLiteral("pipe:0"))] = raw;
    args.remove(args.indexOf(QStringLiteral("-progress")), 2);
    args.insert(args.indexOf(QStringLiteral("-c:v")), QStringLiteral("-threads"));
    args.insert(args.indexOf(QStringLiteral("-c:v")), QStringLiteral("1"));
    if (!testsupport::runFfmpeg(args))
        return {};
    return readAll(output);
}

} // namespace

// Overlay exports hand ffmpeg the frames converted to what its scale filter
// makes of them: the frames, and so the encoded file, must not change.
TEST(YuvaFrameConverter, OverlayFramesMatchFfmpegsOwnConversion)
{
    using PipeFormat = FFmpegCommandLine::PipeFormat;
    QTemporaryDir dir;
    const QSize size(320, 240);
    const int w = size.width();
    const int h = size.height();
    ExportTask task = overlayTask(dir.filePath(QStringLiteral("unused.mp4")), 1, size);
    ASSERT_EQ(FFmpegCommandLine::pipeFormat(task), PipeFormat::yuv420p);

    YuvaFrameConverter converter(w, h, YuvaFrameConverter::Output::yuv420pBt709,
                                 OverlayFrameComposer::overlayBackground);
    ASSERT_TRUE(converter.isValid());
    ASSERT_EQ(converter.byteCount(), qsizetype(w) * h * 3 / 2);
    QByteArray boxed(converter.byteCount(), 0);
    auto *boxedData = reinterpret_cast<unsigned char *>(boxed.data());
    const std::vector<quint32> empty(std::size_t(w) * h, OverlayFrameComposer::overlayBackground);
    converter.convert(reinterpret_cast<const unsigned char *>(empty.data()), boxedData);
    QRegion boxes;

    const QString bgraFile = dir.filePath(QStringLiteral("frames.bgra"));
    const QString yuvFile = dir.filePath(QStringLiteral("frames.yuv"));
    // Widgets in the middle, at the edges and overlapping, then gone, then back.
    const QList<QList<QPoint>> frames{{QPoint(100, 60), QPoint(200, 150)}, {QPoint(4, 2), QPoint(280, 220)},
                                      {QPoint(160, 90), QPoint(175, 100)}, {QPoint(-400, -400), QPoint(-400, -400)},
                                      {QPoint(30, 200), QPoint(250, 20)}};
    const QString graph = FFmpegCommandLine::overlayFilterGraph(1, w, h);
    for (const QList<QPoint> &places : frames) {
        const DrawnFrame frame(size, places, true);
        QByteArray whole(converter.byteCount(), 0);
        converter.convert(frame.bgra.data(), reinterpret_cast<unsigned char *>(whole.data()));
        converter.convertContent(frame.bgra.data(), frame.slot.dirty, boxedData, boxes);

        const QByteArray theirs = ffmpegConversion(frame.bgra, w, h, dir.path(), graph);
        ASSERT_EQ(theirs.size(), whole.size());
        EXPECT_TRUE(whole == theirs) << "at " << places.at(0).x();
        EXPECT_TRUE(boxed == theirs) << "at " << places.at(0).x();
        append(bgraFile, reinterpret_cast<const char *>(frame.bgra.data()), qsizetype(frame.bgra.size()));
        append(yuvFile, boxed.constData(), boxed.size());
    }

    const QByteArray fromBgra = encode(task, PipeFormat::bgra, bgraFile, dir.filePath(QStringLiteral("bgra.mp4")));
    const QByteArray fromYuv = encode(task, PipeFormat::yuv420p, yuvFile, dir.filePath(QStringLiteral("yuv.mp4")));
    ASSERT_FALSE(fromBgra.isEmpty());
    EXPECT_TRUE(fromYuv == fromBgra);
}

TEST(FFmpegCommandLine, OverlayFramesGoConvertedOnlyWhereNothingIsResized)
{
    using PipeFormat = FFmpegCommandLine::PipeFormat;
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
        // Asked for converted frames where they cannot be used, the graph still gets BGRA.
        const QStringList args
            = *FFmpegCommandLine::arguments(task, QStringLiteral("30"), QStringLiteral("/tmp/out.mp4"), nullptr,
                                            PipeFormat::yuv420p);
        EXPECT_EQ(args.at(args.indexOf(QStringLiteral("-pix_fmt")) + 1),
                  FFmpegCommandLine::pixelFormatName(c.expected))
            << c.name;
        const QString graph = args.at(args.indexOf(QStringLiteral("-filter_complex")) + 1);
        EXPECT_EQ(graph.contains(QStringLiteral("out_color_matrix=bt709")), c.expected == PipeFormat::bgra) << c.name;
    }
}
