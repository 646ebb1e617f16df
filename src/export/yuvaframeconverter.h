#pragma once

#include <QtGlobal>

struct SwsContext;

namespace routereel {

// Converts straight-alpha BGRA frames to the planar YUV 4:2:0 with alpha that
// ffmpeg's overlay filter works in, exactly as ffmpeg's own automatic
// conversion would (same library, same settings), so that ffmpeg has no
// conversion left to do on its single filter thread. One converter per thread.
class YuvaFrameConverter {
public:
    YuvaFrameConverter(int width, int height);
    ~YuvaFrameConverter();

    YuvaFrameConverter(const YuvaFrameConverter &) = delete;
    YuvaFrameConverter &operator=(const YuvaFrameConverter &) = delete;

    bool isValid() const { return m_context != nullptr; }
    // Bytes of one converted frame: Y, U, V and A planes without padding.
    static qsizetype byteCount(int width, int height);
    qsizetype byteCount() const { return byteCount(m_width, m_height); }

    void convert(const unsigned char *bgra, unsigned char *yuva) const;

private:
    int m_width;
    int m_height;
    SwsContext *m_context = nullptr;
};

} // namespace routereel
