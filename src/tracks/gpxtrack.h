#pragma once

#include "trackpoint.h"

#include <QColor>
#include <QString>
#include <QUrl>

#include <array>

namespace routereel {

// One loaded track file. Identity is `id`: every load of a file gives a new one.
struct GPXTrack {
    QUuid id = QUuid::createUuid();
    QUuid revision = QUuid::createUuid();
    QString fileName;
    QUrl fileURL;
    QList<TrackPoint> trackPoints;
    double duration = 0;
    std::optional<Instant> startTime;
    std::optional<Instant> endTime;
    int colorIndex = 0;

    bool operator==(const GPXTrack &other) const { return id == other.id; }

    // green, orange, purple, cyan, pink, yellow, teal, indigo
    static const std::array<QColor, 8> &palette();
    static QColor paletteColor(int colorIndex);
};

// The colour of track `trackID` in `tracks`; green when it is not there.
QColor trackColor(const QList<GPXTrack> &tracks, const QUuid &trackID);

} // namespace routereel
