#pragma once

#include "timeline/previewplayer.h"
#include "timeline/timelineplayer.h"

#include "support/waitfor.h"

#include <QColor>
#include <QImage>
#include <QStringList>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

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

// Waits until `done()` holds while the player still decodes: a busy machine may take
// seconds over pictures, and only a player that decoded none for `stillMs` has
// stopped answering.
template <typename Predicate>
bool waitWhileDecoding(const routereel::PreviewPlayer &player, Predicate done, int stillMs = 5000)
{
    const auto *timeline = dynamic_cast<const routereel::TimelinePlayer *>(&player);
    quint64 decoded = timeline ? timeline->framesDecoded() : 0;
    while (!testsupport::waitFor(done, stillMs)) {
        const quint64 now = timeline ? timeline->framesDecoded() : decoded;
        if (now == decoded)
            return false;
        decoded = now;
    }
    return true;
}

inline bool seekAndWait(routereel::PreviewPlayer &player, double t)
{
    const auto done = std::make_shared<bool>(false); // a seek ending after a failed wait sets it still
    player.seek(t, [done](bool finished) { *done = finished; });
    return waitWhileDecoding(player, [&] { return *done; });
}

// An ffmpeg argument list written as one line (no argument holds a space) and the output file.
inline QStringList ffmpegArgs(const char *line, const QString &output)
{
    return QString::fromLatin1(line).split(QLatin1Char(' ')) << output;
}

} // namespace mediatest
