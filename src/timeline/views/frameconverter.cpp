#include "frameconverter.h"

#include <QTransform>
#include <QVideoFrameFormat>

#include <algorithm>
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

// 4:2:0 in three planes or with interleaved chroma (semi-planar); samples of
// 8 bits, or of 16 bits whose top 8 are kept (`shift` drops the bits below them).
// Each output pixel is the mean of an n x n block, so a large picture is read once
// and only its reduced size is converted.
template <typename Sample>
QImage yuv420(const QVideoFrame &frame, const YuvMatrix &m, bool semiPlanar, bool swapChroma, int shift, int n)
{
    const int w = frame.width() / n;
    const int h = frame.height() / n;
    QImage out(w, h, QImage::Format_RGB32);
    if (out.isNull())
        return out;
    const uchar *yPlane = frame.bits(0);
    const int yStride = frame.bytesPerLine(0);
    const uchar *uPlane = frame.bits(1);
    const int uStride = frame.bytesPerLine(1);
    const uchar *vPlane = semiPlanar ? uPlane + sizeof(Sample) : frame.bits(2);
    const int vStride = semiPlanar ? uStride : frame.bytesPerLine(2);
    if (swapChroma)
        std::swap(uPlane, vPlane);
    const int step = semiPlanar ? 2 : 1;
    const int area = n * n;
    std::vector<int> ySum(w);
    std::vector<int> uSum(w);
    std::vector<int> vSum(w);
    std::vector<int> cCount(w);
    for (int row = 0; row < h; ++row) {
        std::fill(ySum.begin(), ySum.end(), 0);
        for (int r = row * n; r < row * n + n; ++r) {
            const auto *ys = reinterpret_cast<const Sample *>(yPlane + qsizetype(r) * yStride);
            for (int col = 0, x = 0; col < w; ++col) {
                int sum = 0;
                for (int k = 0; k < n; ++k, ++x)
                    sum += ys[x] >> shift;
                ySum[col] += sum;
            }
        }
        // Chroma has half the rows and columns: the block's own, at least one.
        const int c0 = row * n / 2;
        const int c1 = std::max(c0 + 1, (row + 1) * n / 2);
        std::fill(uSum.begin(), uSum.end(), 0);
        std::fill(vSum.begin(), vSum.end(), 0);
        for (int r = c0; r < c1; ++r) {
            const auto *us = reinterpret_cast<const Sample *>(uPlane + qsizetype(r) * uStride);
            const auto *vs = reinterpret_cast<const Sample *>(vPlane + qsizetype(r) * vStride);
            for (int col = 0; col < w; ++col) {
                const int x0 = col * n / 2;
                const int x1 = std::max(x0 + 1, (col + 1) * n / 2);
                for (int x = x0; x < x1; ++x) {
                    uSum[col] += us[x * step] >> shift;
                    vSum[col] += vs[x * step] >> shift;
                }
            }
        }
        for (int col = 0; col < w; ++col)
            cCount[col] = (c1 - c0) * (std::max(col * n / 2 + 1, (col + 1) * n / 2) - col * n / 2);
        auto *line = reinterpret_cast<QRgb *>(out.scanLine(row));
        for (int col = 0; col < w; ++col) {
            const int y = (ySum[col] / area - m.y0) * m.y;
            const int u = uSum[col] / cCount[col] - 128;
            const int v = vSum[col] / cCount[col] - 128;
            line[col] = qRgb(clamp8(y + m.vr * v + 512), clamp8(y - m.ug * u - m.vg * v + 512),
                             clamp8(y + m.ub * u + 512));
        }
    }
    return out;
}

// The whole factor by which a picture can be reduced and still cover what `bound`
// shows of it (its stored sides; `bound` is for the upright picture).
int reductionFor(const QVideoFrame &frame, QSize bound)
{
    if (bound.isEmpty())
        return 1;
    const int angle = int(frame.rotationAngle());
    if (angle == 90 || angle == 270)
        bound.transpose();
    const double over = std::max(double(frame.width()) / bound.width(), double(frame.height()) / bound.height());
    return std::max(1, int(over));
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
    const int n = reductionFor(frame, bound);
    switch (format) {
    case QVideoFrameFormat::Format_YUV420P:
    case QVideoFrameFormat::Format_YV12:
        image = yuv420<quint8>(frame, matrixOf(frame.surfaceFormat()), false,
                               format == QVideoFrameFormat::Format_YV12, 0, n);
        break;
    case QVideoFrameFormat::Format_NV12:
    case QVideoFrameFormat::Format_NV21:
        image = yuv420<quint8>(frame, matrixOf(frame.surfaceFormat()), true,
                               format == QVideoFrameFormat::Format_NV21, 0, n);
        break;
    case QVideoFrameFormat::Format_P010: // 10 bits at the top of 16, as 10-bit HEVC decodes
    case QVideoFrameFormat::Format_P016:
        image = yuv420<quint16>(frame, matrixOf(frame.surfaceFormat()), true, false, 8, n);
        break;
    case QVideoFrameFormat::Format_YUV420P10: // 10 bits at the bottom of 16
        image = yuv420<quint16>(frame, matrixOf(frame.surfaceFormat()), false, false, 2, n);
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
