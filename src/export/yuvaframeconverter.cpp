#include "yuvaframeconverter.h"

#include <algorithm>
#include <cstring>
#include <vector>

extern "C" {
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

namespace routereel {

namespace {

AVPixelFormat pixelFormat(YuvaFrameConverter::Output output)
{
    return output == YuvaFrameConverter::Output::yuva420p ? AV_PIX_FMT_YUVA420P : AV_PIX_FMT_YUV420P;
}

SwsContext *makeContext(int width, int height, YuvaFrameConverter::Output output, const ExportColour &colour)
{
    // ffmpeg's scale filter, inserted or explicit, uses the library's default flags (bicubic).
    SwsContext *context = sws_getContext(width, height, AV_PIX_FMT_BGRA, width, height, pixelFormat(output),
                                         SWS_BICUBIC, nullptr, nullptr, nullptr);
    const ExportColour target = output == YuvaFrameConverter::Output::yuv420pBt709 ? ExportColour{} : colour;
    if (context) {
        // As the scale filter applies out_color_matrix and out_range: only the target table and range change.
        int *inverse = nullptr;
        int *table = nullptr;
        int sourceRange = 0;
        int targetRange = 0;
        int brightness = 0;
        int contrast = 0;
        int saturation = 0;
        sws_getColorspaceDetails(context, &inverse, &sourceRange, &table, &targetRange, &brightness, &contrast,
                                 &saturation);
        if (sws_setColorspaceDetails(context, inverse, sourceRange, sws_getCoefficients(target.matrix),
                                     target.fullRange ? 1 : 0,
                                     brightness, contrast, saturation)
            < 0) {
            sws_freeContext(context);
            return nullptr;
        }
    }
    return context;
}

} // namespace

YuvaFrameConverter::YuvaFrameConverter(int width, int height, Output output, quint32 background,
                                       const ExportColour &colour)
    : m_width(width), m_height(height), m_output(output), m_colour(colour)
{
    m_context = makeContext(width, height, output, colour);
    if (!m_context)
        return;
    // What a background pixel becomes, taken from the middle of a small frame of background.
    const int side = 2 * margin + 2;
    std::vector<quint32> clear(std::size_t(side) * side, background);
    std::vector<unsigned char> converted(std::size_t(byteCount(side, side, output)));
    SwsContext *small = makeContext(side, side, output, colour);
    if (!small) {
        sws_freeContext(m_context);
        m_context = nullptr;
        return;
    }
    uint8_t *planes[4];
    int lines[4];
    av_image_fill_arrays(planes, lines, converted.data(), pixelFormat(output), side, side, 1);
    const uint8_t *source[1] = {reinterpret_cast<const uint8_t *>(clear.data())};
    const int sourceLines[1] = {side * 4};
    sws_scale(small, source, sourceLines, 0, side, planes, lines);
    sws_freeContext(small);
    const int c = side / 2;
    m_blank[0] = planes[0][c * lines[0] + c];
    m_blank[1] = planes[1][(c / 2) * lines[1] + c / 2];
    m_blank[2] = planes[2][(c / 2) * lines[2] + c / 2];
    if (output == Output::yuva420p)
        m_blank[3] = planes[3][c * lines[3] + c];
}

YuvaFrameConverter::~YuvaFrameConverter()
{
    sws_freeContext(m_context);
    for (auto &[size, context] : m_boxContexts)
        sws_freeContext(context);
}

qsizetype YuvaFrameConverter::byteCount(int width, int height, Output output)
{
    return av_image_get_buffer_size(pixelFormat(output), width, height, 1);
}

void YuvaFrameConverter::convert(const unsigned char *bgra, unsigned char *yuva) const
{
    uint8_t *planes[4];
    int lines[4];
    av_image_fill_arrays(planes, lines, yuva, pixelFormat(m_output), m_width, m_height, 1);
    const uint8_t *source[1] = {bgra};
    const int sourceLines[1] = {m_width * 4};
    sws_scale(m_context, source, sourceLines, 0, m_height, planes, lines);
}

SwsContext *YuvaFrameConverter::contextFor(int width, int height)
{
    const auto key = std::make_pair(width, height);
    const auto found = m_boxContexts.find(key);
    if (found != m_boxContexts.end())
        return found->second;
    if (m_boxContexts.size() >= 64) {
        for (auto &[size, context] : m_boxContexts)
            sws_freeContext(context);
        m_boxContexts.clear();
    }
    SwsContext *context = makeContext(width, height, m_output, m_colour);
    if (context)
        m_boxContexts.emplace(key, context);
    return context;
}

namespace {

// Copies a `size` box of 4:2:0 planes (alpha when present) from `fromAt` to `toAt`.
void copyPlanes(const uint8_t *const from[4], const int fromLines[4], QPoint fromAt, uint8_t *const to[4],
                const int toLines[4], QPoint toAt, QSize size)
{
    for (int y = 0; y < size.height(); ++y) {
        for (int plane : {0, 3}) {
            if (to[plane])
                std::memcpy(to[plane] + qsizetype(toAt.y() + y) * toLines[plane] + toAt.x(),
                            from[plane] + qsizetype(fromAt.y() + y) * fromLines[plane] + fromAt.x(),
                            std::size_t(size.width()));
        }
    }
    const int cw = (size.width() + 1) / 2;
    for (int y = 0; y < (size.height() + 1) / 2; ++y) {
        for (int plane : {1, 2})
            std::memcpy(to[plane] + qsizetype(toAt.y() / 2 + y) * toLines[plane] + toAt.x() / 2,
                        from[plane] + qsizetype(fromAt.y() / 2 + y) * fromLines[plane] + fromAt.x() / 2,
                        std::size_t(cw));
    }
}

} // namespace

QList<QRect> YuvaFrameConverter::boxesAround(const QRegion &content) const
{
    const QRect frame(0, 0, m_width, m_height);
    QList<QRect> boxes;
    for (const QRect &r : content) {
        // On a grid of 16: chroma pairs and the scaler's dither patterns line up with the whole frame's.
        const int x0 = std::max(0, (r.left() - margin) & ~15);
        const int y0 = std::max(0, (r.top() - margin) & ~15);
        const int x1 = std::min(m_width, (r.right() + 1 + margin + 15) & ~15);
        const int y1 = std::min(m_height, (r.bottom() + 1 + margin + 15) & ~15);
        const QRect box = QRect(QPoint(x0, y0), QPoint(x1 - 1, y1 - 1)).intersected(frame);
        if (!box.isEmpty())
            boxes.append(box);
    }
    mergeMeetingBoxes(boxes);
    return boxes;
}

void YuvaFrameConverter::blankBox(const QRect &box, unsigned char *yuva) const
{
    uint8_t *planes[4];
    int lines[4];
    av_image_fill_arrays(planes, lines, yuva, pixelFormat(m_output), m_width, m_height, 1);
    for (int y = box.top(); y <= box.bottom(); ++y) {
        std::memset(planes[0] + qsizetype(y) * lines[0] + box.left(), m_blank[0], std::size_t(box.width()));
        if (planes[3])
            std::memset(planes[3] + qsizetype(y) * lines[3] + box.left(), m_blank[3], std::size_t(box.width()));
    }
    const int cx = box.left() / 2;
    const int cw = (box.right() + 2) / 2 - cx;
    for (int y = box.top() / 2; y <= box.bottom() / 2; ++y) {
        std::memset(planes[1] + qsizetype(y) * lines[1] + cx, m_blank[1], std::size_t(cw));
        std::memset(planes[2] + qsizetype(y) * lines[2] + cx, m_blank[2], std::size_t(cw));
    }
}

void YuvaFrameConverter::convertBox(const unsigned char *bgra, const QRect &box, unsigned char *yuva)
{
    uint8_t *planes[4];
    int lines[4];
    av_image_fill_arrays(planes, lines, yuva, pixelFormat(m_output), m_width, m_height, 1);
    if (!convertBoxInto(bgra, box, planes, lines, box.topLeft()))
        convert(bgra, yuva);
}

bool YuvaFrameConverter::convertBoxInto(const unsigned char *bgra, const QRect &box, uint8_t *const planes[4],
                                        const int lines[4], QPoint at)
{
    SwsContext *context = contextFor(box.width(), box.height());
    if (!context)
        return false;
    // The scaler may write a little past the end of a row: into scratch planes
    // with room to spare, then row by row into place.
    const int w = box.width();
    const int h = box.height();
    const int cw = (w + 1) / 2;
    const int ch = (h + 1) / 2;
    const int stride = ((w + 63) & ~63) + 64;
    const int chromaStride = ((cw + 63) & ~63) + 64;
    m_scratch.resize(std::size_t(2 * stride * h + 2 * chromaStride * ch) + 64);
    uint8_t *scratch[4] = {m_scratch.data(), m_scratch.data() + qsizetype(stride) * h,
                           m_scratch.data() + qsizetype(stride) * h + qsizetype(chromaStride) * ch,
                           m_scratch.data() + qsizetype(stride) * h + 2 * qsizetype(chromaStride) * ch};
    const int scratchLines[4] = {stride, chromaStride, chromaStride, stride};
    const uint8_t *source[1] = {bgra + (qsizetype(box.top()) * m_width + box.left()) * 4};
    const int sourceLines[1] = {m_width * 4};
    sws_scale(context, source, sourceLines, 0, h, scratch, scratchLines);
    copyPlanes(scratch, scratchLines, QPoint(), planes, lines, at, box.size());
    return true;
}

void YuvaFrameConverter::convertTiles(const unsigned char *bgra, const QList<PipeTile> &tiles, QSize packedSize,
                                      unsigned char *packed)
{
    uint8_t *planes[4];
    int lines[4];
    av_image_fill_arrays(planes, lines, packed, pixelFormat(m_output), packedSize.width(), packedSize.height(), 1);
    std::vector<unsigned char> whole;  // converted only for a tile the scaler cannot take alone
    for (const PipeTile &tile : tiles) {
        if (convertBoxInto(bgra, tile.canvas, planes, lines, tile.packed))
            continue;
        uint8_t *from[4];
        int fromLines[4];
        if (whole.empty()) {
            whole.resize(std::size_t(byteCount(m_width, m_height, m_output)));
            convert(bgra, whole.data());
        }
        av_image_fill_arrays(from, fromLines, whole.data(), pixelFormat(m_output), m_width, m_height, 1);
        copyPlanes(from, fromLines, tile.canvas.topLeft(), planes, lines, tile.packed, tile.canvas.size());
    }
}

void YuvaFrameConverter::convertContent(const unsigned char *bgra, const QRegion &content, unsigned char *yuva,
                                        QRegion &boxes)
{
    for (const QRect &old : boxes)
        blankBox(old, yuva);
    const QList<QRect> now = boxesAround(content);
    QRegion region;
    for (const QRect &box : now) {
        convertBox(bgra, box, yuva);
        region += box;
    }
    boxes = region;
}

} // namespace routereel
