#pragma once

#include "timeline/previewplayer.h"

#include "support/waitfor.h"

#include <QColor>
#include <QImage>
#include <QStringList>
#include <QVideoFrame>
#include <gtest/gtest.h>

#include <cstdlib>

namespace mediatest {

// Whether `c` is within `tolerance` of (r, g, b) in every channel; a failure names the colour seen.
inline testing::AssertionResult near(const QColor &c, int r, int g, int b, int tolerance = 40)
{
    if (c.isValid() && std::abs(c.red() - r) < tolerance && std::abs(c.green() - g) < tolerance
        && std::abs(c.blue() - b) < tolerance)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "colour " << (c.isValid() ? c.name().toStdString() : "none");
}

inline QColor centreColour(const routereel::PreviewPlayer &player)
{
    const QImage image = player.currentFrame();
    return image.isNull() ? QColor() : image.pixelColor(image.width() / 2, image.height() / 2);
}

inline bool seekAndWait(routereel::PreviewPlayer &player, double t)
{
    bool done = false;
    player.seek(t, [&](bool finished) { done = finished; });
    return testsupport::waitFor([&] { return done; });
}

// The number a frame of testsupport::makeNumberedClip shows, read from its luma
// plane directly (cheap enough for every frame of a 1080p clip); -1 for none.
inline int frameNumberOf(const QVideoFrame &source)
{
    QVideoFrame frame(source);
    if (!frame.isValid() || !frame.map(QVideoFrame::ReadOnly))
        return -1;
    int n = -1;
    switch (frame.pixelFormat()) {
    case QVideoFrameFormat::Format_YUV420P:
    case QVideoFrameFormat::Format_YV12:
    case QVideoFrameFormat::Format_NV12:
    case QVideoFrameFormat::Format_NV21: {
        n = 0;
        const uchar *row = frame.bits(0) + qsizetype(frame.height() / 2) * frame.bytesPerLine(0);
        for (int bar = 0; bar < 12; ++bar) {
            if (row[int((bar + 0.5) * frame.width() / 12)] > 128)
                n |= 1 << bar;
        }
        break;
    }
    default:
        break;
    }
    frame.unmap();
    return n;
}

// An ffmpeg argument list written as one line (no argument holds a space) and the output file.
inline QStringList ffmpegArgs(const char *line, const QString &output)
{
    return QString::fromLatin1(line).split(QLatin1Char(' ')) << output;
}

} // namespace mediatest
