#pragma once

#include <QStringView>

#include <optional>

namespace routereel {

// Whole-text number parsing for untrusted files: no leading white space, nothing after the
// number, C locale regardless of the user's locale.

// One floating-point number as strtod reads it in the C locale ("1e3", "-0.5", "inf", "nan").
std::optional<double> parseStrictDouble(QStringView text);

// An optional '+' or '-' followed by one or more ASCII digits, within the 64-bit signed range.
std::optional<qint64> parseStrictInteger(QStringView text);

} // namespace routereel
