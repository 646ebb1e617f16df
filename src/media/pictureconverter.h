#pragma once

#include <QImage>
#include <QSize>

#include <memory>

struct AVFrame;

namespace routereel {

// Turns decoded pictures into the images the preview paints, on the deck's thread:
// colours as ffmpeg converts them (so the preview matches the export), HLG and PQ
// mapped to SDR by the export's own chain, and scaled down while converting, so a
// 4K picture costs little more than the size shown.
//
// Not thread-safe: one per deck. Its scalers and filter graph are kept between
// pictures and rebuilt only when the input's size, format or colour tags or the
// output's size change.
class PictureConverter {
public:
    PictureConverter();
    ~PictureConverter();
    PictureConverter(const PictureConverter &) = delete;
    PictureConverter &operator=(const PictureConverter &) = delete;

    // `frame` (any pixel format libavcodec decodes to: 8/10/12-bit 4:2:0, 4:2:2, 4:4:4,
    // planar or semi-planar, yuvj*, rgb) as an upright QImage::Format_RGB32 no larger
    // than `bound` (an empty bound: the displayed size), keeping the displayed
    // proportions: `pixelAspect` is a stored pixel's width over its height, `rotation`
    // the clockwise degrees (0, 90, 180, 270) that turn the stored picture upright
    // (the stream's display matrix).
    // Colours by the frame's own range, matrix and transfer, as ffmpeg converts them
    // (untagged: as ffmpeg does); HLG and PQ through sdrMappingFilter via libavfilter,
    // then as BT.709. A null image for a frame it cannot convert.
    QImage convert(const AVFrame *frame, QSize bound = {}, int rotation = 0, double pixelAspect = 1);

    // The size convert() gives a `stored` picture: the largest that fits `bound` with
    // the displayed proportions, never larger than the displayed size.
    static QSize outputSize(QSize stored, QSize bound, int rotation, double pixelAspect);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace routereel
