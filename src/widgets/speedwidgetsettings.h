#pragma once

#include "speedunit.h"
#include "widgettextcolor.h"

#include <QObject>

namespace routereel {

// Settings of the speed text widget. Read from the user's settings once, at construction;
// every assignment is written back at once, even of an unchanged value.
class SpeedWidgetSettings : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool enabled READ enabled WRITE setEnabled NOTIFY enabledChanged)
    Q_PROPERTY(double fontSize READ fontSize WRITE setFontSize NOTIFY fontSizeChanged)
    Q_PROPERTY(double opacity READ opacity WRITE setOpacity NOTIFY opacityChanged)
    Q_PROPERTY(WidgetTextColor textColor READ textColor WRITE setTextColor NOTIFY textColorChanged)
    Q_PROPERTY(SpeedUnit unit READ unit WRITE setUnit NOTIFY unitChanged)

public:
    explicit SpeedWidgetSettings(QObject *parent = nullptr);

    bool enabled() const { return enabled_; }
    double fontSize() const { return fontSize_; }
    double opacity() const { return opacity_; }
    WidgetTextColor textColor() const { return textColor_; }
    SpeedUnit unit() const { return unit_; }

    void setEnabled(bool value);
    void setFontSize(double value);
    void setOpacity(double value);
    void setTextColor(WidgetTextColor value);
    void setUnit(SpeedUnit value);

signals:
    // Any setting was assigned.
    void changed();
    void enabledChanged(bool value);
    void fontSizeChanged(double value);
    void opacityChanged(double value);
    void textColorChanged(WidgetTextColor value);
    void unitChanged(SpeedUnit value);

private:
    bool enabled_ = false;
    double fontSize_ = 18;
    double opacity_ = 1;
    WidgetTextColor textColor_ = WidgetTextColor::white;
    SpeedUnit unit_ = SpeedUnit::kmh;
};

} // namespace routereel
