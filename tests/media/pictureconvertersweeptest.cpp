#include "media/libavinput.h"
#include "media/pictureconverter.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/intreadwrite.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

using namespace routereel;

namespace {

// The flat colour every picture here is made of, and its BT.601 Y'CbCr.
constexpr int red = 200, green = 80, blue = 40;
const double luma = (0.299 * red + 0.587 * green + 0.114 * blue) / 255;
const double cb = (blue / 255.0 - luma) / 1.772;
const double cr = (red / 255.0 - luma) / 1.402;

// Formats whose every component sits in bytes of its own, which flatFrame can write.
bool writable(AVPixelFormat format)
{
    const AVPixFmtDescriptor *desc = av_pix_fmt_desc_get(format);
    const auto refused = AV_PIX_FMT_FLAG_BE | AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_PAL
                         | AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_FLOAT | AV_PIX_FMT_FLAG_BAYER;
    if (!desc || (desc->flags & refused) || desc->nb_components < 3 || !sws_isSupportedInput(format)
        || QByteArray(desc->name).startsWith("xyz"))
        return false;
    for (int c = 0; c < desc->nb_components; ++c) {
        const AVComponentDescriptor &comp = desc->comp[c];
        const bool byte = comp.depth == 8 && comp.shift == 0;
        const bool word = comp.depth > 8 && comp.depth + comp.shift <= 16 && comp.step % 2 == 0 && comp.offset % 2 == 0;
        if (!byte && !word)
            return false;
    }
    return true;
}

// A picture of the flat colour in `format`, tagged BT.601 (full range for "yuvj"), or as HDR.
FramePtr flatFrame(AVPixelFormat format, int width, int height, int transfer = AVCOL_TRC_UNSPECIFIED)
{
    FramePtr frame(av_frame_alloc());
    frame->format = format;
    frame->width = width;
    frame->height = height;
    if (av_frame_get_buffer(frame.get(), 0) < 0)
        return nullptr;
    const AVPixFmtDescriptor *desc = av_pix_fmt_desc_get(format);
    const bool rgb = desc->flags & AV_PIX_FMT_FLAG_RGB;
    const bool full = QByteArray(desc->name).startsWith("yuvj");
    frame->color_range = full ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
    frame->colorspace = transfer == AVCOL_TRC_UNSPECIFIED ? AVCOL_SPC_SMPTE170M : AVCOL_SPC_BT2020_NCL;
    frame->color_trc = AVColorTransferCharacteristic(transfer);
    for (int c = 0; c < desc->nb_components; ++c) {
        const AVComponentDescriptor &comp = desc->comp[c];
        const int max = (1 << comp.depth) - 1, middle = 1 << (comp.depth - 1), unit = 1 << (comp.depth - 8);
        const int rgbValues[] = {red, green, blue};
        const double yuv[] = {luma, cb, cr};
        double value = max; // alpha
        if (c < 3)
            value = rgb    ? rgbValues[c] / 255.0 * max
                    : full ? (c ? middle : 0) + yuv[c] * max
                           : ((c ? 128 : 16) + (c ? 224 : 219) * yuv[c]) * unit;
        const bool chroma = !rgb && (c == 1 || c == 2);
        const int w = chroma ? AV_CEIL_RSHIFT(width, desc->log2_chroma_w) : width;
        const int h = chroma ? AV_CEIL_RSHIFT(height, desc->log2_chroma_h) : height;
        for (int y = 0; y < h; ++y) {
            uint8_t *row = frame->data[comp.plane] + qsizetype(y) * frame->linesize[comp.plane] + comp.offset;
            for (int x = 0; x < w; ++x) {
                if (comp.depth == 8)
                    row[x * comp.step] = uint8_t(std::lround(value));
                else
                    AV_WL16(row + x * comp.step, int(std::lround(value)) << comp.shift);
            }
        }
    }
    return frame;
}

// Every edge pixel (where a row's end or the picture's lies) and the middle one, off by at most `slack`.
::testing::AssertionResult flat(const QImage &image, QRgb colour, int slack)
{
    const int w = image.width(), h = image.height();
    QList<QPoint> points{{w / 2, h / 2}};
    for (int x = 0; x < w; ++x)
        points << QPoint(x, 0) << QPoint(x, h - 1);
    for (int y = 0; y < h; ++y)
        points << QPoint(0, y) << QPoint(w - 1, y);
    for (const QPoint &p : points) {
        const QRgb got = image.pixel(p);
        if (std::max({std::abs(qRed(got) - qRed(colour)), std::abs(qGreen(got) - qGreen(colour)),
                      std::abs(qBlue(got) - qBlue(colour))})
            > slack)
            return ::testing::AssertionFailure() << QColor(got).name().toStdString() << " at " << p.x() << "," << p.y();
    }
    return ::testing::AssertionSuccess();
}

// Converts `frame` at its stored size, turned and shrunk, and checks each picture's size and colour.
void convertEveryWay(PictureConverter &converter, const AVFrame *frame, int rotation, QRgb colour, int slack)
{
    const QSize stored(frame->width, frame->height);
    const QSize turned = rotation % 180 ? stored.transposed() : stored;
    const QSize half((turned.width() + 1) / 2, (turned.height() + 1) / 2);
    const struct {
        const char *way;
        QSize bound;
        int rotation;
    } ways[] = {{"stored", {}, 0}, {"turned", {}, rotation}, {"shrunk", half, rotation}};
    for (const auto &way : ways) {
        SCOPED_TRACE(way.way);
        const QImage image = converter.convert(frame, way.bound, way.rotation);
        ASSERT_EQ(image.format(), QImage::Format_RGB32);
        if (way.bound.isEmpty()) {
            ASSERT_EQ(image.size(), way.rotation % 180 ? stored.transposed() : stored);
        } else {
            ASSERT_TRUE(image.width() <= half.width() && image.height() <= half.height()
                        && (image.width() >= half.width() - 1 || image.height() >= half.height() - 1))
                << image.width() << "x" << image.height();
        }
        ASSERT_TRUE(flat(image, colour, slack));
    }
}

} // namespace

// Every width the scaler's fast paths might write past the end of, in the layouts
// cameras write and a few others drawn each run, at the stored size, turned and shrunk.
TEST(PictureConverterSweep, EverySizeAndLayoutComesOutWholeAndInItsColour)
{
    QList<AVPixelFormat> others;
    for (const AVPixFmtDescriptor *desc = av_pix_fmt_desc_next(nullptr); desc; desc = av_pix_fmt_desc_next(desc)) {
        if (writable(av_pix_fmt_desc_get_id(desc)))
            others << av_pix_fmt_desc_get_id(desc);
    }
    const QList<AVPixelFormat> layouts{AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUV422P, AV_PIX_FMT_YUV444P,
                                       AV_PIX_FMT_YUV420P10LE};
    QList<QSize> sizes;
    for (int width = 16; width <= 1928; width += 4) {
        for (int height : {2, 3, 35})
            sizes << QSize(width, height);
    }
    // Phone and camera sizes, the larger ones on the scaler's threads.
    sizes << QSize(424, 240) << QSize(360, 640) << QSize(1080, 1080) << QSize(1080, 1350) << QSize(1916, 1080)
          << QSize(1280, 720);
    const quint32 seed = QRandomGenerator::global()->generate();
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    QRandomGenerator random(seed);
    PictureConverter converter;
    for (int i = 0; i < sizes.size(); ++i) {
        const QSize size = sizes[i];
        SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height());
        const int rotation = 90 * (1 + i % 3);
        QList<AVPixelFormat> drawn = layouts;
        drawn << others[random.bounded(int(others.size()))];
        for (AVPixelFormat format : drawn) {
            SCOPED_TRACE(av_get_pix_fmt_name(format));
            const FramePtr frame = flatFrame(format, size.width(), size.height());
            ASSERT_TRUE(frame);
            ASSERT_NO_FATAL_FAILURE(convertEveryWay(converter, frame.get(), rotation, qRgb(red, green, blue), 6));
        }
    }
}

// HLG and PQ go through the float chain at even sizes; any other size comes out too,
// in the colour the same picture has at an even size.
TEST(PictureConverterSweep, HdrPicturesOfEverySizeComeOutInTheirColour)
{
    PictureConverter converter;
    for (const auto &[format, transfer] : {std::pair{AV_PIX_FMT_YUV420P10LE, AVCOL_TRC_ARIB_STD_B67},
                                           std::pair{AV_PIX_FMT_YUV444P10LE, AVCOL_TRC_ARIB_STD_B67},
                                           std::pair{AV_PIX_FMT_YUV422P10LE, AVCOL_TRC_SMPTE2084}}) {
        SCOPED_TRACE(av_get_pix_fmt_name(format));
        const FramePtr even = flatFrame(format, 64, 64, transfer);
        const QImage reference = converter.convert(even.get());
        ASSERT_FALSE(reference.isNull());
        const QRgb colour = reference.pixel(32, 32);
        ASSERT_GT(qRed(colour), 60); // not black
        QList<QSize> sizes{{33, 35}, {1, 1}, {17, 2}, {424, 240}};
        // Steps of 12 meet every width modulo 16, and odd ones: the float chain is slow to set up.
        for (int width = 16; width <= 1928; width += 12)
            sizes << QSize(width + width / 12 % 2, width % 8 ? 3 : 6);
        for (int i = 0; i < sizes.size(); ++i) {
            SCOPED_TRACE(testing::Message() << sizes[i].width() << "x" << sizes[i].height());
            const FramePtr frame = flatFrame(format, sizes[i].width(), sizes[i].height(), transfer);
            ASSERT_NO_FATAL_FAILURE(convertEveryWay(converter, frame.get(), 90 * (1 + i % 3), colour, 3));
        }
    }
}
