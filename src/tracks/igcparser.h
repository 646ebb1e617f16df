#pragma once

#include "trackpoint.h"

#include <QList>
#include <QStringView>

#include <optional>

namespace routereel {

// Reads the fixes (B records) of an IGC flight log, dated by its HFDTE header. Never fails:
// lines it cannot use are skipped, and an empty result is for the caller to report.
class IGCParser {
public:
    // A fix whose clock is more than this far behind the previous one is taken to be past
    // midnight UTC. A smaller step back is a fault of the log and stays out of order.
    static constexpr int midnightRolloverThreshold = 12 * 3600;

    static QList<TrackPoint> parse(QStringView text);
    // DDMMYY -> 00:00:00 UTC of that day; 00-69 mean 2000-2069, 70-99 mean 1970-1999.
    static std::optional<Instant> parseDate(QStringView ddmmyy);
    static std::optional<TrackPoint> parseFix(QStringView line, Instant date);
};

} // namespace routereel
