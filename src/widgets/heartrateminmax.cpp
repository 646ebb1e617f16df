#include "heartrateminmax.h"

namespace routereel {

std::optional<QString> HeartRateMinMax::bpmText(std::optional<int> heartRate, bool showIcon)
{
    if (!heartRate)
        return std::nullopt;
    const QString number = QString::number(*heartRate) + QStringLiteral(" bpm");
    return showIcon ? QStringLiteral("\u2665 ") + number : number;
}

std::optional<QString> HeartRateMinMax::rangeText(const std::optional<HeartRateMinMax> &minMax)
{
    if (!minMax)
        return std::nullopt;
    return QStringLiteral(" Min: %1 / Max: %2 ").arg(minMax->min).arg(minMax->max);
}

} // namespace routereel
