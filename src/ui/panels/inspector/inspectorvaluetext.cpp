#include "inspectorvaluetext.h"

#include <cmath>
#include <optional>

namespace routereel {

namespace {

// Beyond this a number no longer fits the value box written out in full.
constexpr double longestPlain = 1e6;

std::optional<QString> unusualText(double value)
{
    if (std::isnan(value))
        return QStringLiteral("\u2013");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("\u221e") : QStringLiteral("-\u221e");
    if (std::fabs(value) >= longestPlain)
        return QString::number(value, 'g', 2);
    return std::nullopt;
}

} // namespace

QString integerValueText(double value)
{
    if (auto text = unusualText(value))
        return *text;
    // + 0.0 turns the -0 of a truncated -0.5 into 0.
    return QString::number(std::trunc(value) + 0.0, 'f', 0);
}

QString percentValueText(double fraction)
{
    const double percent = fraction * 100;
    if (auto text = unusualText(percent))
        return *text + QLatin1Char('%');
    return QString::asprintf("%.0f%%", percent);
}

} // namespace routereel
