#pragma once

#include <QPointF>

#include <optional>

namespace routereel {

// Where the user put each widget on the layout of the window's widgetLayoutSize;
// no value means the widget's default place.
struct WidgetPositions {
    std::optional<QPointF> map;
    std::optional<QPointF> time;
    std::optional<QPointF> speed;
    std::optional<QPointF> gpsPath;
    std::optional<QPointF> heartRate;
    std::optional<QPointF> heartRateGraph;

    bool operator==(const WidgetPositions &) const = default;

    template <typename Visit>
    void forEach(Visit visit)
    {
        for (std::optional<QPointF> *p : {&map, &time, &speed, &gpsPath, &heartRate, &heartRateGraph})
            visit(*p);
    }
};

} // namespace routereel
