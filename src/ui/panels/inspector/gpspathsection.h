#pragma once

#include "inspectorsection.h"

namespace routereel {

class GPSPathWidgetSettings;

// "PATH": the GPS path widget's switch, map backdrop, border style, size, opacity and padding.
class GPSPathSection : public InspectorSection {
    Q_OBJECT

public:
    GPSPathSection(GPSPathWidgetSettings &settings, WindowState &state, QWidget *parent = nullptr);
};

} // namespace routereel
