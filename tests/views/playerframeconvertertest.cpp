#include "timeline/previewcomposition.h"
#include "timeline/views/frameconverter.h"
#include "timeline/views/playerview.h"
#include "timeline/views/timelineplayer.h"

#include "support/clipgenerator.h"
#include "support/timelinefixtures.h"
#include "support/waitfor.h"
#include "mediatestutil.h"

#include <QTemporaryDir>
#include <QVideoFrameFormat>
#include <gtest/gtest.h>

#include <cstring>

using namespace routereel;

namespace {

// A 64 x 32 frame of one colour given as 8-bit limited-range BT.601 Y, U, V.
QVideoFrame solid(QVideoFrameFormat::PixelFormat format, int y, int u, int v)
{
    QVideoFrameFormat f(QSize(64, 32), format);
    f.setColorSpace(QVideoFrameFormat::ColorSpace_BT601);
    f.setColorRange(QVideoFrameFormat::ColorRange_Video);
    QVideoFrame frame(f);
    EXPECT_TRUE(frame.map(QVideoFrame::WriteOnly));
    const bool wide = format == QVideoFrameFormat::Format_P010 || format == QVideoFrameFormat::Format_YUV420P10;
    const int shift = format == QVideoFrameFormat::Format_P010 ? 8 : 2;
    const auto fill = [&](int plane, int rows, std::initializer_list<int> pattern) {
        for (int r = 0; r < rows; ++r) {
            uchar *line = frame.bits(plane) + r * frame.bytesPerLine(plane);
            const int samples = frame.bytesPerLine(plane) / (wide ? 2 : 1);
            for (int i = 0; i < samples; ++i) {
                const int value = *(pattern.begin() + i % pattern.size());
                if (wide)
                    reinterpret_cast<quint16 *>(line)[i] = quint16(value << shift);
                else
                    line[i] = uchar(value);
            }
        }
    };
    fill(0, 32, {y});
    switch (format) {
    case QVideoFrameFormat::Format_YV12:
        fill(1, 16, {v});
        fill(2, 16, {u});
        break;
    case QVideoFrameFormat::Format_NV21:
        fill(1, 16, {v, u});
        break;
    case QVideoFrameFormat::Format_NV12:
    case QVideoFrameFormat::Format_P010:
        fill(1, 16, {u, v});
        break;
    default:
        fill(1, 16, {u});
        fill(2, 16, {v});
    }
    frame.unmap();
    return frame;
}

// A `size` NV12 frame whose luma is `luma(x, y)`, chroma neutral.
QVideoFrame lumaFrame(QSize size, const std::function<int(int, int)> &luma)
{
    QVideoFrameFormat f(size, QVideoFrameFormat::Format_NV12);
    f.setColorSpace(QVideoFrameFormat::ColorSpace_BT601);
    f.setColorRange(QVideoFrameFormat::ColorRange_Full);
    QVideoFrame frame(f);
    EXPECT_TRUE(frame.map(QVideoFrame::WriteOnly));
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x)
            frame.bits(0)[y * frame.bytesPerLine(0) + x] = uchar(luma(x, y));
    }
    std::memset(frame.bits(1), 128, size_t(frame.bytesPerLine(1)) * (size.height() / 2));
    frame.unmap();
    return frame;
}

} // namespace

TEST(PlayerFrameConverter, DecoderFormatsBecomeTheirColoursAndFitTheBound)
{
    // Limited-range BT.601 red, green and blue.
    const struct {
        int y, u, v;
        QColor rgb;
    } colours[] = {{81, 90, 240, QColor(255, 0, 0)}, {145, 54, 34, QColor(0, 255, 0)}, {41, 240, 110, QColor(0, 0, 255)}};
    for (const auto format : {QVideoFrameFormat::Format_YUV420P, QVideoFrameFormat::Format_YV12,
                              QVideoFrameFormat::Format_NV12, QVideoFrameFormat::Format_NV21,
                              QVideoFrameFormat::Format_P010, QVideoFrameFormat::Format_YUV420P10}) {
        for (const auto &c : colours) {
            const QImage image = FrameConverter::toImage(solid(format, c.y, c.u, c.v));
            ASSERT_EQ(image.size(), QSize(64, 32)) << format;
            const QColor seen = image.pixelColor(10, 10);
            EXPECT_NEAR(seen.red(), c.rgb.red(), 6) << format << " " << c.rgb.name().toStdString();
            EXPECT_NEAR(seen.green(), c.rgb.green(), 6) << format << " " << c.rgb.name().toStdString();
            EXPECT_NEAR(seen.blue(), c.rgb.blue(), 6) << format << " " << c.rgb.name().toStdString();
        }
    }

    // On its thread, scaled into the bound with its proportions, the newest request answered.
    FrameConverter converter;
    std::vector<std::pair<quint64, QImage>> answers;
    QObject::connect(&converter, &FrameConverter::converted,
                     [&](quint64 ticket, const QImage &image) { answers.emplace_back(ticket, image); });
    converter.convert(7, solid(QVideoFrameFormat::Format_NV12, 81, 90, 240), QSize(16, 16));
    ASSERT_TRUE(testsupport::waitFor([&] { return !answers.empty(); }));
    EXPECT_EQ(answers.back().first, 7u);
    EXPECT_EQ(answers.back().second.size(), QSize(16, 8));
}

TEST(PlayerFrameConverter, LargePicturesAreReducedWhileConvertedAndStillAverageTheirPixels)
{
    // Fine detail (a one-pixel checkerboard) must come out as its mean grey, not as
    // whichever pixel a sample happens to hit; the left quarter is black throughout.
    const auto pattern = [](int x, int y) { return x < 96 ? 0 : ((x + y) % 2 ? 255 : 51); };
    const struct {
        QSize bound;
        QSize expected;
    } cases[] = {
        {{96, 48}, {96, 48}}, {{128, 64}, {128, 64}}, {{100, 100}, {100, 50}},
        {{400, 400}, {384, 192}}, // never enlarged
    };
    const QVideoFrame frame = lumaFrame({384, 192}, pattern);
    for (const auto &c : cases) {
        const QImage image = FrameConverter::toImage(frame, c.bound);
        ASSERT_EQ(image.size(), c.expected) << c.bound.width();
        const int mid = image.width() / 2;
        if (c.expected.width() < 384) {
            EXPECT_NEAR(qGray(image.pixel(mid, image.height() / 2)), 153, 14) << c.bound.width();
            EXPECT_NEAR(qGray(image.pixel(mid + 1, image.height() / 2 + 1)), 153, 14) << c.bound.width();
        }
        EXPECT_LT(qGray(image.pixel(image.width() / 8, image.height() / 2)), 8) << c.bound.width();
    }
}

TEST(PlayerFrameConverter, AnswersArriveNewestLastAndNoneFromBeforeADiscard)
{
    FrameConverter converter;
    std::vector<quint64> answers;
    QObject::connect(&converter, &FrameConverter::converted,
                     [&](quint64 ticket, const QImage &, const QTransform &) { answers.push_back(ticket); });
    const QVideoFrame big = lumaFrame({1920, 1080}, [](int x, int) { return x % 256; });
    for (quint64 t = 1; t <= 5; ++t)
        converter.convert(t, big, QSize(480, 270));
    ASSERT_TRUE(testsupport::waitFor([&] { return !answers.empty() && answers.back() == 5; }));
    EXPECT_TRUE(std::is_sorted(answers.begin(), answers.end()));
    // An answer older than one already given, or from before a discard, is not given.
    answers.clear();
    converter.convert(4, big, QSize(480, 270));
    converter.discardBefore(10);
    converter.convert(9, big, QSize(480, 270));
    converter.convert(11, big, QSize(480, 270));
    testsupport::waitFor([] { return false; }, 300);
    EXPECT_EQ(answers, std::vector<quint64>{11});
}

TEST(PlayerFrameConverter, NonSquarePixelsShowAtTheirDisplayedShapeAloneAndAfterAWideClip)
{
    // 1440 x 1080 with 4:3 pixels, shown 1920 x 1080: a blue band over its left
    // eighth, red elsewhere. Next to it, a 16:9 green clip.
    QTemporaryDir dir;
    const QString hdv = dir.filePath(QStringLiteral("hdv.mp4"));
    ASSERT_TRUE(testsupport::runFfmpeg(mediatest::ffmpegArgs(
        "-f lavfi -i color=c=red:s=1440x1080:r=25:d=2,drawbox=x=0:y=0:w=180:h=1080:color=blue:t=fill,setsar=4/3 "
        "-c:v libx264 -preset veryfast -pix_fmt yuv420p",
        hdv)));
    testsupport::ClipSpec wideSpec;
    wideSpec.width = 1920;
    wideSpec.height = 1080;
    wideSpec.color = QColor(0, 255, 0);
    wideSpec.audio = false;
    const QString wide = testsupport::makeClip(dir.path(), QStringLiteral("wide.mp4"), wideSpec);
    ASSERT_FALSE(wide.isEmpty());
    const VideoSource hdvSource = VideoSource::probe(QUrl::fromLocalFile(hdv), QUuid::createUuid());
    const VideoSource wideSource = VideoSource::probe(QUrl::fromLocalFile(wide), QUuid::createUuid());

    const struct {
        const char *what;
        QList<VideoSegment> segments;
        double at;
    } cases[] = {
        {"alone", {testsupport::cut(hdvSource, 0, 2, 0)}, 1.0},
        {"after a 16:9 clip", {testsupport::cut(wideSource, 0, 2, 0), testsupport::cut(hdvSource, 0, 2, 2)}, 3.0},
    };
    for (const auto &c : cases) {
        VideoTimelineSnapshot snapshot;
        snapshot.sources = {wideSource, hdvSource};
        snapshot.segments = c.segments;
        const auto plan = PreviewComposition::makePlan(snapshot);
        ASSERT_TRUE(plan) << c.what;
        EXPECT_EQ(plan->renderSize, QSizeF(1920, 1080)) << c.what;
        TimelinePlayer player;
        PlayerView view;
        view.setPlayer(&player);
        view.resize(640, 360);
        player.replaceItem(plan);
        ASSERT_TRUE(testsupport::waitFor([&] { return player.itemStatus() == PreviewPlayer::ItemStatus::readyToPlay; }))
            << c.what;
        ASSERT_TRUE(mediatest::seekAndWait(player, c.at)) << c.what;
        ASSERT_FALSE(player.currentFrame().isNull()) << c.what;
        // Filling the view: the band is 80 of 640 pixels wide, red reaches the right edge.
        const QImage shot = view.grab().toImage();
        EXPECT_TRUE(mediatest::near(shot.pixelColor(4, 180), 0, 0, 255)) << c.what;
        EXPECT_TRUE(mediatest::near(shot.pixelColor(70, 180), 0, 0, 255)) << c.what;
        EXPECT_TRUE(mediatest::near(shot.pixelColor(92, 180), 255, 0, 0)) << c.what;
        EXPECT_TRUE(mediatest::near(shot.pixelColor(635, 180), 255, 0, 0)) << c.what;
    }
}

