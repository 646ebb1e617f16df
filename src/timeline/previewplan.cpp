#include "previewplan.h"

#include <cmath>
#include <limits>

namespace routereel {

std::optional<qint64> compositionTicks(double seconds)
{
    const double nanos = std::round(seconds * 1e9);
    // Keep nanos * 6 inside 64 bits.
    if (!std::isfinite(nanos) || std::fabs(nanos) > double(std::numeric_limits<qint64>::max() / 8))
        return std::nullopt;
    const qint64 scaled = qint64(nanos) * 6; // nanos * 60000 / 1e9 == nanos * 6 / 100000
    const qint64 q = scaled / 100000;
    const qint64 r = scaled % 100000;
    if (2 * std::llabs(r) >= 100000)
        return q + (scaled < 0 ? -1 : 1);
    return q;
}

double compositionSeconds(qint64 ticks)
{
    return double(ticks) / double(compositionTimescale);
}

} // namespace routereel
