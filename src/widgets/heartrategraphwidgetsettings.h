#pragma once

#include "widgettextcolor.h"

#include <QObject>

namespace routereel {

// Settings of the heart-rate graph widget. Read from the user's settings once, at construction;
// every assignment is written back at once, even of an unchanged value.
class HeartRateGraphWidgetSettings : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool enabled READ enabled WRITE setEnabled NOTIFY enabledChanged)
    Q_PROPERTY(double width READ width WRITE setWidth NOTIFY widthChanged)
    Q_PROPERTY(double height READ height WRITE setHeight NOTIFY heightChanged)
    Q_PROPERTY(double opacity READ opacity WRITE setOpacity NOTIFY opacityChanged)
    Q_PROPERTY(WidgetTextColor lineColor READ lineColor WRITE setLineColor NOTIFY lineColorChanged)

public:
    explicit HeartRateGraphWidgetSettings(QObject *parent = nullptr);

    bool enabled() const { return enabled_; }
    double width() const { return width_; }
    double height() const { return height_; }
    double opacity() const { return opacity_; }
    WidgetTextColor lineColor() const { return lineColor_; }

    void setEnabled(bool value);
    void setWidth(double value);
    void setHeight(double value);
    void setOpacity(double value);
    void setLineColor(WidgetTextColor value);

signals:
    // Any setting was assigned.
    void changed();
    void enabledChanged(bool value);
    void widthChanged(double value);
    void heightChanged(double value);
    void opacityChanged(double value);
    void lineColorChanged(WidgetTextColor value);

private:
    bool enabled_ = false;
    double width_ = 220;
    double height_ = 70;
    double opacity_ = 0.85;
    WidgetTextColor lineColor_ = WidgetTextColor::white;
};

} // namespace routereel
