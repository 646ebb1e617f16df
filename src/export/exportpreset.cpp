#include "exportpreset.h"

#include "widgets/canvasgeometry.h"

#include <algorithm>
#include <cmath>

namespace routereel {

std::optional<int> targetShortSide(ExportPreset preset)
{
    switch (preset) {
    case ExportPreset::original:
        return std::nullopt;
    case ExportPreset::p4K:
        return 2160;
    case ExportPreset::p2K:
        return 1440;
    case ExportPreset::p1080:
        return 1080;
    case ExportPreset::p720:
        return 720;
    }
    return std::nullopt;
}

QList<ExportPreset> availablePresets(const QSizeF &sourceSize)
{
    const double s = std::min(sourceSize.width(), sourceSize.height());
    QList<ExportPreset> out;
    for (ExportPreset preset : enumCases<ExportPreset>()) {
        const std::optional<int> target = targetShortSide(preset);
        if (!target || s >= *target)
            out.append(preset);
    }
    return out;
}

const QList<ExportPreset> &overlayPresets()
{
    static const QList<ExportPreset> presets{ExportPreset::p4K, ExportPreset::p1080, ExportPreset::p720};
    return presets;
}

ExportPreset overlayPresetFor(ExportPreset selected)
{
    return overlayPresets().contains(selected) ? selected : ExportPreset::p1080;
}

QSizeF outputSize(ExportPreset preset, const QSizeF &sourceSize)
{
    const QSizeF source = isUsableSize(sourceSize) ? sourceSize : QSizeF(1920, 1080);
    const double t = overlayPresets().contains(preset) ? *targetShortSide(preset) : 1080;
    const double longer = std::max(source.width(), source.height());
    const double shorter = std::min(source.width(), source.height());
    const double l = std::max(2.0, 2 * std::floor(longer / shorter * t / 2));
    if (source.height() >= source.width())
        return {t, l};
    return {l, t};
}

double regularOutputScale(ExportPreset preset, const QSizeF &canvasSize)
{
    const std::optional<int> target = targetShortSide(preset);
    const double s = std::min(canvasSize.width(), canvasSize.height());
    if (!target || !(s > *target))
        return 1;
    return *target / s;
}

QString resolutionLabel(double shortSide)
{
    if (shortSide >= 2160)
        return QStringLiteral("4k");
    if (shortSide >= 1440)
        return QStringLiteral("2k");
    if (shortSide >= 1080)
        return QStringLiteral("1080p");
    if (shortSide >= 720)
        return QStringLiteral("720p");
    const double lines = std::isfinite(shortSide) ? std::trunc(shortSide) : 0;
    return QString::number(static_cast<long long>(lines)) + QLatin1Char('p');
}

} // namespace routereel
