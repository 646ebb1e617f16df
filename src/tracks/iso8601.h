#pragma once

#include "trackpoint.h"

#include <QString>
#include <QStringView>

#include <optional>

namespace routereel {

// The internet date-time profile of ISO 8601: "2023-05-01T08:15:30Z", "2023-05-01T08:15:30.250+02:00".
// Strict on purpose: a time without a zone designator names no instant and is refused.
namespace Iso8601 {

enum class Fraction {
    required,  // only with fractional seconds
    forbidden, // only without them
};

std::optional<Instant> parse(QStringView text, Fraction fraction);

// Either form.
std::optional<Instant> parseAny(QStringView text);

// UTC with milliseconds, e.g. "2023-05-01T08:15:30.250Z".
QString formatWithMilliseconds(Instant instant);

// Days since 1970-01-01 of a proleptic Gregorian date; the caller checks the ranges.
qint64 daysFromCivil(int year, int month, int day);

int daysInMonth(int year, int month);

} // namespace Iso8601
} // namespace routereel
