#pragma once

#include "textwidgetsection.h"

namespace routereel {

class SpeedWidgetSettings;

// "SPEED": the speed widget's switch, unit, font size, opacity and position.
class SpeedSection : public TextWidgetSection {
    Q_OBJECT

public:
    SpeedSection(SpeedWidgetSettings &settings, WindowState &state, QWidget *parent = nullptr);
};

} // namespace routereel
