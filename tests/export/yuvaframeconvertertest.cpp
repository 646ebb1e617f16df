// The frames handed to ffmpeg as YUVA 4:2:0 must be byte for byte what ffmpeg
// itself makes of the same BGRA frames, so that the export stays the same.
#include "exporttestutil.h"

#include "export/overlayframecomposition.h"
#include "export/yuvaframeconverter.h"

#include <QTemporaryDir>

#include <vector>

using namespace routereel;
using namespace exporttest;

namespace {

QByteArray ffmpegConversion(const QByteArray &bgra, int width, int height, const QString &dir)
{
    const QString in = QDir(dir).filePath(QStringLiteral("frame.bgra"));
    const QString out = QDir(dir).filePath(QStringLiteral("frame.yuva"));
    QFile file(in);
    file.open(QIODevice::WriteOnly);
    file.write(bgra);
    file.close();
    // The same route as the export's graph: an automatic conversion inside a complex filter graph.
    QProcess p;
    p.start(QStringLiteral("ffmpeg"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
                                       QStringLiteral("-f"), QStringLiteral("rawvideo"), QStringLiteral("-pix_fmt"),
                                       QStringLiteral("bgra"), QStringLiteral("-s"),
                                       QStringLiteral("%1x%2").arg(width).arg(height), QStringLiteral("-i"), in,
                                       QStringLiteral("-filter_complex"), QStringLiteral("[0:v]format=yuva420p[o]"),
                                       QStringLiteral("-map"), QStringLiteral("[o]"), QStringLiteral("-f"),
                                       QStringLiteral("rawvideo"), out});
    p.waitForFinished(60'000);
    QFile result(out);
    return result.open(QIODevice::ReadOnly) ? result.readAll() : QByteArray();
}

} // namespace

TEST(YuvaFrameConverter, MatchesFfmpegsOwnConversion)
{
    QTemporaryDir dir;
    for (const QSize size : {QSize(320, 240), QSize(331, 187)}) {
        // A drawn frame: text with soft edges and shadow, at full and half opacity, un-premultiplied.
        OverlayFrameComposer::Setup setup;
        setup.width = size.width();
        setup.height = size.height();
        setup.texts.time = textWidget(100, 60, 24);
        setup.texts.speed = textWidget(200, 150, 30);
        setup.texts.speed.opacity = 0.5;
        TextImageCache cache;
        FrameParams params;
        params.timeStr = QStringLiteral("12:34:56");
        params.speedStr = QStringLiteral("23.4 km/h");
        prepareTextImages(cache, {params}, setup.texts, 1, {});
        std::vector<unsigned char> bgra(std::size_t(size.width()) * size.height() * 4);
        OverlayFrameComposer::Slot slot;
        slot.data = bgra.data();
        const OverlayFrameComposer composer(setup);
        composer.initialise(slot);
        composer.draw(slot, params, std::nullopt, false, cache);

        YuvaFrameConverter converter(size.width(), size.height());
        ASSERT_TRUE(converter.isValid());
        QByteArray ours(converter.byteCount(), 0);
        converter.convert(bgra.data(), reinterpret_cast<unsigned char *>(ours.data()));
        const QByteArray theirs = ffmpegConversion(
            QByteArray(reinterpret_cast<const char *>(bgra.data()), qsizetype(bgra.size())), size.width(),
            size.height(), dir.path());
        ASSERT_EQ(theirs.size(), ours.size()) << size.width();
        EXPECT_TRUE(ours == theirs) << size.width() << "x" << size.height();
    }
}
