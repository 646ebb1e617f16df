#pragma once

#include "inspectorsection.h"

namespace routereel {

class HeartRateGraphWidgetSettings;

// "HEART RATE GRAPH": the graph's switch, width, height, opacity and position.
class HeartRateGraphSection : public InspectorSection {
    Q_OBJECT

public:
    HeartRateGraphSection(HeartRateGraphWidgetSettings &settings, WindowState &state, QWidget *parent = nullptr);
};

} // namespace routereel
