#include "frameconverter.h"

#include <QTransform>
#include <QVideoFrameFormat>

#include <algorithm>

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
template <typename Sample>
QImage yuv420(const QVideoFrame &frame, const YuvMatrix &m, bool semiPlanar, bool swapChroma, int shift)
{
    const int w = frame.width();
    const int h = frame.height();
    QImage out(w, h, QImage::Format_RGB32);
    const uchar *yPlane = frame.bits(0);
    const int yStride = frame.bytesPerLine(0);
    const uchar *uPlane = frame.bits(1);
    const int uStride = frame.bytesPerLine(1);
    const uchar *vPlane = semiPlanar ? uPlane + sizeof(Sample) : frame.bits(2);
    const int vStride = semiPlanar ? uStride : frame.bytesPerLine(2);
    if (swapChroma)
        std::swap(uPlane, vPlane);
    const int step = semiPlanar ? 2 : 1;
    for (int row = 0; row < h; ++row) {
        const auto *ys = reinterpret_cast<const Sample *>(yPlane + row * yStride);
        const auto *us = reinterpret_cast<const Sample *>(uPlane + (row / 2) * uStride);
        const auto *vs = reinterpret_cast<const Sample *>(vPlane + (row / 2) * vStride);
        auto *line = reinterpret_cast<QRgb *>(out.scanLine(row));
        for (int col = 0; col < w; ++col) {
            const int c = col / 2 * step;
            const int y = (int(ys[col] >> shift) - m.y0) * m.y;
            const int u = int(us[c] >> shift) - 128;
            const int v = int(vs[c] >> shift) - 128;
            line[col] = qRgb(clamp8(y + m.vr * v + 512), clamp8(y - m.ug * u - m.vg * v + 512),
                             clamp8(y + m.ub * u + 512));
        }
    }
    return out;
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

void FrameConverter::convert(quint64 ticket, const QVideoFrame &frame, QSize bound)
{
    {
        std::lock_guard lock(m_mutex);
        m_pending = Job{ticket, frame, bound};
    }
    m_wake.notify_one();
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
        QMetaObject::invokeMethod(this, [this, ticket = job.ticket, image] { emit converted(ticket, image); },
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
    switch (format) {
    case QVideoFrameFormat::Format_YUV420P:
    case QVideoFrameFormat::Format_YV12:
        image = yuv420<quint8>(frame, matrixOf(frame.surfaceFormat()), false,
                               format == QVideoFrameFormat::Format_YV12, 0);
        break;
    case QVideoFrameFormat::Format_NV12:
    case QVideoFrameFormat::Format_NV21:
        image = yuv420<quint8>(frame, matrixOf(frame.surfaceFormat()), true,
                               format == QVideoFrameFormat::Format_NV21, 0);
        break;
    case QVideoFrameFormat::Format_P010: // 10 bits at the top of 16, as 10-bit HEVC decodes
    case QVideoFrameFormat::Format_P016:
        image = yuv420<quint16>(frame, matrixOf(frame.surfaceFormat()), true, false, 8);
        break;
    case QVideoFrameFormat::Format_YUV420P10: // 10 bits at the bottom of 16
        image = yuv420<quint16>(frame, matrixOf(frame.surfaceFormat()), false, false, 2);
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
