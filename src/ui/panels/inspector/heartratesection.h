#pragma once

#include "textwidgetsection.h"

namespace routereel {

class HeartRateWidgetSettings;

// "HEART RATE": the heart-rate widget's switch, icon, minimum and maximum line,
// font size, opacity and position.
class HeartRateSection : public TextWidgetSection {
    Q_OBJECT

public:
    HeartRateSection(HeartRateWidgetSettings &settings, WindowState &state, QWidget *parent = nullptr);
};

} // namespace routereel
