#include "gpxtrack.h"

namespace routereel {

const std::array<QColor, 8> &GPXTrack::palette()
{
    static const std::array<QColor, 8> colors = {
        QColor(52, 199, 89),   // green
        QColor(255, 149, 0),   // orange
        QColor(175, 82, 222),  // purple
        QColor(50, 173, 230),  // cyan
        QColor(255, 45, 85),   // pink
        QColor(255, 204, 0),   // yellow
        QColor(48, 176, 199),  // teal
        QColor(88, 86, 214),   // indigo
    };
    return colors;
}

QColor GPXTrack::paletteColor(int colorIndex)
{
    const auto &p = palette();
    const int n = int(p.size());
    return p[std::size_t(((colorIndex % n) + n) % n)];
}

QColor trackColor(const QList<GPXTrack> &tracks, const QUuid &trackID)
{
    for (const GPXTrack &t : tracks) {
        if (t.id == trackID)
            return GPXTrack::paletteColor(t.colorIndex);
    }
    return GPXTrack::palette()[0];
}

} // namespace routereel
