#include "frameconverter.h"

#include <QTransform>
#include <QVideoFrameFormat>

#include <algorithm>
#include <future>
#include <vector>

namespace routereel {

namespace {

// Fixed-point (1/1024) factors of Y, V→R, U→G, V→G and U→B, and the offset of Y.
struct YuvMatrix {
    int y, vr, ug, vg, ub, y0;
};

YuvMatrix matrixOf(const QVideoFrameFormat &format)
{
    const bool full = format.colorRange() == QVideoFrameFormat::ColorRange_Full;
    const bool bt709 = format.colorSpace() == QVideoFrameFormat::ColorSpace_BT709;
    if (full)
        return bt709 ? YuvMatrix{1024, 1613, 192, 479, 1900, 0} : YuvMatrix{1024, 1436, 352, 731, 1815, 0};
    return bt709 ? YuvMatrix{1192, 1836, 218, 546, 2163, 16} : YuvMatrix{1192, 1634, 401, 833, 2066, 16};
}

inline uchar clamp8(int v)
{
    return uchar(std::clamp(v >> 10, 0, 255));
}

// Where output pixel i's block of source pixels starts, for i = 0 .. out.
std::vector<int> blockEdges(int source, int out)
{
    std::vector<int> edges(out + 1);
    for (int i = 0; i <= out; ++i)
        edges[i] = int(qint64(i) * source / out);
    return edges;
}

// 4:2:0 in three planes or with interleaved chroma (semi-planar); samples of
// 8 bits, or of 16 bits whose top 8 are kept (`shift` drops the bits below them).
// Each output pixel is the mean of its block of source pixels, so a large picture
// is read once and only the size shown is converted, in bands side by side.
template <typename Sample>
QImage yuv420(const QVideoFrame &frame, const YuvMatrix &m, bool semiPlanar, bool swapChroma, int shift, QSize size)
{
    QImage out(size, QImage::Format_RGB32);
    if (out.isNull())
        return out;
    const int w = size.width();
    const int h = size.height();
    const uchar *yPlane = frame.bits(0);
    const int yStride = frame.bytesPerLine(0);
    const uchar *uPlane = frame.bits(1);
    const int uStride = frame.bytesPerLine(1);
    const uchar *vPlane = semiPlanar ? uPlane + sizeof(Sample) : frame.bits(2);
    const int vStride = semiPlanar ? uStride : frame.bytesPerLine(2);
    if (swapChroma)
        std::swap(uPlane, vPlane);
    const int step = semiPlanar ? 2 : 1;
    const std::vector<int> xs = blockEdges(frame.width(), w);
    const std::vector<int> ys = blockEdges(frame.height(), h);
    // Means by a multiplication: 1/count in 16-bit fixed point, for every block size.
    const int widest = frame.width() / w + 2;
    const int tallest = frame.height() / h + 2;
    std::vector<int> inverse(size_t(widest) * tallest + 1);
    for (size_t count = 1; count < inverse.size(); ++count)
        inverse[count] = int((65536 + count / 2) / count);

    const auto band = [&](int from, int to) {
        std::vector<int> ySum(w);
        std::vector<int> uSum(w);
        std::vector<int> vSum(w);
        for (int row = from; row < to; ++row) {
            const int r0 = ys[row];
            const int r1 = std::max(r0 + 1, ys[row + 1]);
            std::fill(ySum.begin(), ySum.end(), 0);
            for (int r = r0; r < r1; ++r) {
                const auto *line = reinterpret_cast<const Sample *>(yPlane + qsizetype(r) * yStride);
                for (int col = 0; col < w; ++col) {
                    int sum = 0;
                    for (int x = xs[col], end = std::max(x + 1, xs[col + 1]); x < end; ++x)
                        sum += line[x] >> shift;
                    ySum[col] += sum;
                }
            }
            // Chroma has half the rows and columns: those under the block.
            const int c0 = r0 / 2;
            const int c1 = (r1 - 1) / 2 + 1;
            std::fill(uSum.begin(), uSum.end(), 0);
            std::fill(vSum.begin(), vSum.end(), 0);
            for (int r = c0; r < c1; ++r) {
                const auto *us = reinterpret_cast<const Sample *>(uPlane + qsizetype(r) * uStride);
                const auto *vs = reinterpret_cast<const Sample *>(vPlane + qsizetype(r) * vStride);
                for (int col = 0; col < w; ++col) {
                    for (int x = xs[col] / 2, end = (std::max(xs[col] + 1, xs[col + 1]) - 1) / 2 + 1; x < end; ++x) {
                        uSum[col] += us[x * step] >> shift;
                        vSum[col] += vs[x * step] >> shift;
                    }
                }
            }
            auto *pixels = reinterpret_cast<QRgb *>(out.scanLine(row));
            for (int col = 0; col < w; ++col) {
                const int x0 = xs[col];
                const int x1 = std::max(x0 + 1, xs[col + 1]);
                const int yInverse = inverse[size_t(x1 - x0) * (r1 - r0)];
                const int cInverse = inverse[size_t((x1 - 1) / 2 + 1 - x0 / 2) * (c1 - c0)];
                const int y = (((qint64(ySum[col]) * yInverse + 32768) >> 16) - m.y0) * m.y;
                const int u = int((qint64(uSum[col]) * cInverse + 32768) >> 16) - 128;
                const int v = int((qint64(vSum[col]) * cInverse + 32768) >> 16) - 128;
                pixels[col] = qRgb(clamp8(y + m.vr * v + 512), clamp8(y - m.ug * u - m.vg * v + 512),
                                   clamp8(y + m.ub * u + 512));
            }
        }
    };
    // A 4K picture is some 8 million samples: shared out, it is ready within a frame.
    const int bands = std::clamp(int(qint64(frame.width()) * frame.height() / 1'000'000), 1, 4);
    std::vector<std::future<void>> others;
    for (int i = 1; i < bands; ++i)
        others.push_back(std::async(std::launch::async, band, h * i / bands, h * (i + 1) / bands));
    band(0, h / bands);
    for (auto &f : others)
        f.get();
    return out;
}

// The size the picture is converted at: the upright picture fitted into `bound`
// with its proportions, never enlarged; in the frame's stored orientation.
QSize convertedSize(const QVideoFrame &frame, QSize bound)
{
    const QSize stored = frame.size();
    if (bound.isEmpty())
        return stored;
    const int angle = int(frame.rotationAngle());
    if (angle == 90 || angle == 270)
        bound.transpose();
    if (stored.width() <= bound.width() && stored.height() <= bound.height())
        return stored;
    return stored.scaled(bound, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

} // namespace

FrameConverter::FrameConverter(QObject *parent)
    : QObject(parent), m_thread([this] { run(); })
{
}

FrameConverter::~FrameConverter()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        m_pending.reset();
    }
    m_wake.notify_one();
    m_thread.join();
}

void FrameConverter::convert(quint64 ticket, const QVideoFrame &frame, QSize bound, const FramePlacement &placement)
{
    {
        std::lock_guard lock(m_mutex);
        m_pending = Job{ticket, frame, bound, placement};
    }
    m_wake.notify_one();
}

void FrameConverter::discardBefore(quint64 ticket)
{
    m_floor = std::max(m_floor, ticket);
}

void FrameConverter::run()
{
    for (;;) {
        Job job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || m_pending; });
            if (m_stop)
                return;
            job = std::move(*m_pending);
            m_pending.reset();
        }
        const QImage image = toImage(job.frame, job.bound);
        job.frame = QVideoFrame(); // the decoder gets its buffer back at once
        const QTransform toCanvas = job.placement.transformFor(image.size());
        QMetaObject::invokeMethod(
            this,
            [this, ticket = job.ticket, image, toCanvas] {
                if (ticket < m_floor || ticket <= m_lastReported)
                    return;
                m_lastReported = ticket;
                emit converted(ticket, image, toCanvas);
            },
            Qt::QueuedConnection);
    }
}

QImage FrameConverter::toImage(const QVideoFrame &source, QSize bound)
{
    QVideoFrame frame(source);
    if (!frame.isValid() || !frame.map(QVideoFrame::ReadOnly))
        return {};
    const QVideoFrameFormat::PixelFormat format = frame.pixelFormat();
    QImage image;
    const QSize size = convertedSize(frame, bound);
    switch (format) {
    case QVideoFrameFormat::Format_YUV420P:
    case QVideoFrameFormat::Format_YV12:
        image = yuv420<quint8>(frame, matrixOf(frame.surfaceFormat()), false,
                               format == QVideoFrameFormat::Format_YV12, 0, size);
        break;
    case QVideoFrameFormat::Format_NV12:
    case QVideoFrameFormat::Format_NV21:
        image = yuv420<quint8>(frame, matrixOf(frame.surfaceFormat()), true,
                               format == QVideoFrameFormat::Format_NV21, 0, size);
        break;
    case QVideoFrameFormat::Format_P010: // 10 bits at the top of 16, as 10-bit HEVC decodes
    case QVideoFrameFormat::Format_P016:
        image = yuv420<quint16>(frame, matrixOf(frame.surfaceFormat()), true, false, 8, size);
        break;
    case QVideoFrameFormat::Format_YUV420P10: // 10 bits at the bottom of 16
        image = yuv420<quint16>(frame, matrixOf(frame.surfaceFormat()), false, false, 2, size);
        break;
    default:
        if (const QImage::Format packed = QVideoFrameFormat::imageFormatFromPixelFormat(format);
            packed != QImage::Format_Invalid)
            image = QImage(frame.bits(0), frame.width(), frame.height(), frame.bytesPerLine(0), packed).copy();
        break;
    }
    frame.unmap();
    if (image.isNull())
        return source.toImage(); // an unusual format: Qt's own conversion, off the main thread all the same
    if (frame.rotationAngle() != QVideoFrame::Rotation0)
        image = image.transformed(QTransform().rotate(int(frame.rotationAngle())));
    if (frame.mirrored())
        image = image.mirrored(true, false);
    if (!bound.isEmpty() && (image.width() > bound.width() || image.height() > bound.height()))
        image = image.scaled(bound, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

} // namespace routereel
