#include "timeline/views/frameconverter.h"

#include "support/waitfor.h"

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
