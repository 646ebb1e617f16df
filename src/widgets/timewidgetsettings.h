#pragma once

#include "textwidgetsettings.h"

namespace routereel {

// Settings of the clock-time text widget.
class TimeWidgetSettings : public TextWidgetSettings {
    Q_OBJECT

public:
    explicit TimeWidgetSettings(QObject *parent = nullptr);
};

} // namespace routereel
