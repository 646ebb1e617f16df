#pragma once

#include "pipeframe.h"

#include "timeline/timelinefiltergraph.h"

#include <QList>
#include <QRect>
#include <QRegion>

#include <map>
#include <vector>
#include <utility>

struct SwsContext;

#include <cstdint>

namespace routereel {

// Converts straight-alpha BGRA frames to planar YUV 4:2:0 exactly as ffmpeg
// itself would (same library, same settings), so that ffmpeg has no conversion
// left to do on its single filter thread. One converter per thread.
class YuvaFrameConverter {
public:
    // With alpha, what the overlay filter works in, in the colours of the video it
    // is laid over; or without alpha, BT.709 limited range, what the frames-only
    // graph's scale filter makes.
    enum class Output { yuva420p, yuv420pBt709 };

    // `background` is the pixel that fills the frame where nothing is drawn;
    // `colour` (matrix and range) is the video's, for yuva420p.
    YuvaFrameConverter(int width, int height, Output output = Output::yuva420p, quint32 background = 0,
                       const ExportColour &colour = {});
    ~YuvaFrameConverter();

    YuvaFrameConverter(const YuvaFrameConverter &) = delete;
    YuvaFrameConverter &operator=(const YuvaFrameConverter &) = delete;

    bool isValid() const { return m_context != nullptr; }
    // Bytes of one converted frame: Y, U, V (and A) planes without padding.
    static qsizetype byteCount(int width, int height, Output output = Output::yuva420p);
    qsizetype byteCount() const { return byteCount(m_width, m_height, m_output); }

    void convert(const unsigned char *bgra, unsigned char *yuva) const;

    // The same result for a frame that is background outside `content`, converting
    // only boxes around it: far enough out that the conversion's filters see
    // background pixels at their edges, as they would in the whole frame. `yuva`
    // must hold a converted frame whose own boxes are `boxes`; they are updated.
    void convertContent(const unsigned char *bgra, const QRegion &content, unsigned char *yuva, QRegion &boxes);

    // Converts each tile of the canvas frame `bgra` into its place in `packed`, a
    // converted frame of `packedSize`. Equal to the whole frame's conversion there
    // when everything drawn lies at least `margin` inside the tiles.
    void convertTiles(const unsigned char *bgra, const QList<PipeTile> &tiles, QSize packedSize,
                      unsigned char *packed);

    // Boxes around `content` on a grid of 16, apart from each other.
    QList<QRect> boxesAround(const QRegion &content) const;

    static constexpr int margin = 32;

private:
    SwsContext *contextFor(int width, int height);
    void convertBox(const unsigned char *bgra, const QRect &box, unsigned char *yuva);
    // `box` of the canvas into planes of another frame, its top-left corner at `at`.
    bool convertBoxInto(const unsigned char *bgra, const QRect &box, uint8_t *const planes[4], const int lines[4],
                        QPoint at);
    void blankBox(const QRect &box, unsigned char *yuva) const;

    int m_width;
    int m_height;
    Output m_output;
    ExportColour m_colour;
    SwsContext *m_context = nullptr;
    std::map<std::pair<int, int>, SwsContext *> m_boxContexts;
    std::vector<unsigned char> m_scratch;
    unsigned char m_blank[4] = {0, 0, 0, 0};  // Y, U, V, A of a background pixel
};

} // namespace routereel
