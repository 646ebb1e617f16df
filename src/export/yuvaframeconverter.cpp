#include "yuvaframeconverter.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

namespace routereel {

YuvaFrameConverter::YuvaFrameConverter(int width, int height) : m_width(width), m_height(height)
{
    // ffmpeg's automatically inserted scaler uses the library's default flags (bicubic).
    m_context = sws_getContext(width, height, AV_PIX_FMT_BGRA, width, height, AV_PIX_FMT_YUVA420P, SWS_BICUBIC,
                               nullptr, nullptr, nullptr);
}

YuvaFrameConverter::~YuvaFrameConverter()
{
    sws_freeContext(m_context);
}

qsizetype YuvaFrameConverter::byteCount(int width, int height)
{
    return av_image_get_buffer_size(AV_PIX_FMT_YUVA420P, width, height, 1);
}

void YuvaFrameConverter::convert(const unsigned char *bgra, unsigned char *yuva) const
{
    uint8_t *planes[4];
    int lines[4];
    av_image_fill_arrays(planes, lines, yuva, AV_PIX_FMT_YUVA420P, m_width, m_height, 1);
    const uint8_t *source[1] = {bgra};
    const int sourceLines[1] = {m_width * 4};
    sws_scale(m_context, source, sourceLines, 0, m_height, planes, lines);
}

} // namespace routereel
