#pragma once

#include "textwidgetsection.h"

namespace routereel {

class TimeWidgetSettings;

// "TIME": the clock-time widget's switch, font size, opacity and position.
class TimeSection : public TextWidgetSection {
    Q_OBJECT

public:
    TimeSection(TimeWidgetSettings &settings, WindowState &state, QWidget *parent = nullptr);
};

} // namespace routereel
