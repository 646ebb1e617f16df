#pragma once

#include "speedunit.h"
#include "textwidgetsettings.h"

namespace routereel {

// Settings of the speed text widget.
class SpeedWidgetSettings : public TextWidgetSettings {
    Q_OBJECT
    Q_PROPERTY(SpeedUnit unit READ unit WRITE setUnit NOTIFY unitChanged)

public:
    explicit SpeedWidgetSettings(QObject *parent = nullptr);

    SpeedUnit unit() const { return unit_; }
    void setUnit(SpeedUnit value);

signals:
    void unitChanged(SpeedUnit value);

private:
    SpeedUnit unit_ = SpeedUnit::kmh;
};

} // namespace routereel
