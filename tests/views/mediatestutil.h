#pragma once

#include "timeline/previewplayer.h"

#include "support/waitfor.h"

#include <QColor>
#include <QImage>
#include <QStringList>
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

// An ffmpeg argument list written as one line (no argument holds a space) and the output file.
inline QStringList ffmpegArgs(const char *line, const QString &output)
{
    return QString::fromLatin1(line).split(QLatin1Char(' ')) << output;
}

} // namespace mediatest
