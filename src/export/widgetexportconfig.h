#pragma once

#include "widgets/mapenums.h"
#include "widgets/speedunit.h"

#include <QColor>

#include <optional>

namespace routereel {

// The per-widget settings inside an export task, already in video pixels
// (origin top left).

// Time, speed and heart-rate text widgets.
struct TextWidgetExportConfig {
    bool enabled = false;
    double fontSize = 0;
    QColor textColor = Qt::white;
    double opacity = 1;
    int x = 0;  // centre
    int y = 0;
    std::optional<SpeedUnit> speedUnit;  // speed widget only
    std::optional<bool> hrShowIcon;      // heart-rate widget only
    std::optional<bool> hrShowMinMax;    // heart-rate widget only

    SpeedUnit effectiveSpeedUnit() const { return speedUnit.value_or(SpeedUnit::kmh); }
    bool showsHeartIcon() const { return hrShowIcon.value_or(true); }
    bool showsMinMax() const { return hrShowMinMax.value_or(false); }

    bool operator==(const TextWidgetExportConfig &) const = default;
};

struct GPSPathWidgetExportConfig {
    bool enabled = false;
    double pixelSize = 0;      // side of the square widget
    double referenceSize = 0;  // the same side in reference units
    double opacity = 1;
    int centerX = 0;
    int centerY = 0;
    bool showMap = false;
    double padding = 0;
    MapBorderStyle borderStyle = MapBorderStyle::defaultStyle;

    bool operator==(const GPSPathWidgetExportConfig &) const = default;
};

struct HeartRateGraphWidgetExportConfig {
    bool enabled = false;
    double pixelWidth = 0;
    double pixelHeight = 0;
    double referenceWidth = 0;
    double opacity = 1;
    int centerX = 0;
    int centerY = 0;
    QColor lineColor = Qt::white;

    bool operator==(const HeartRateGraphWidgetExportConfig &) const = default;
};

} // namespace routereel
