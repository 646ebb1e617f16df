#pragma once

#include <QString>

#include <optional>

namespace routereel {

// Lowest and highest heart rate of the loaded tracks, in beats per minute.
struct HeartRateMinMax {
    int min = 0;
    int max = 0;

    bool operator==(const HeartRateMinMax &) const = default;

    // "♥ 142 bpm" with the icon, "142 bpm" without; none without a heart rate.
    static std::optional<QString> bpmText(std::optional<int> heartRate, bool showIcon);
    // " Min: 95 / Max: 178 " (blank at both ends); none when unknown.
    static std::optional<QString> rangeText(const std::optional<HeartRateMinMax> &minMax);
};

} // namespace routereel
