#pragma once

#include "mapenums.h"

#include <QObject>

namespace routereel {

// Settings of the GPS path widget. Read from the user's settings once, at construction;
// every assignment is written back at once, even of an unchanged value.
class GPSPathWidgetSettings : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool enabled READ enabled WRITE setEnabled NOTIFY enabledChanged)
    Q_PROPERTY(double width READ width WRITE setWidth NOTIFY widthChanged)
    Q_PROPERTY(double opacity READ opacity WRITE setOpacity NOTIFY opacityChanged)
    Q_PROPERTY(bool showMap READ showMap WRITE setShowMap NOTIFY showMapChanged)
    Q_PROPERTY(double padding READ padding WRITE setPadding NOTIFY paddingChanged)
    Q_PROPERTY(MapBorderStyle borderStyle READ borderStyle WRITE setBorderStyle NOTIFY borderStyleChanged)

public:
    explicit GPSPathWidgetSettings(QObject *parent = nullptr);

    bool enabled() const { return enabled_; }
    double width() const { return width_; }
    double opacity() const { return opacity_; }
    bool showMap() const { return showMap_; }
    double padding() const { return padding_; }
    MapBorderStyle borderStyle() const { return borderStyle_; }

    void setEnabled(bool value);
    void setWidth(double value);
    void setOpacity(double value);
    void setShowMap(bool value);
    void setPadding(double value);
    void setBorderStyle(MapBorderStyle value);

signals:
    // Any setting was assigned.
    void changed();
    void enabledChanged(bool value);
    void widthChanged(double value);
    void opacityChanged(double value);
    void showMapChanged(bool value);
    void paddingChanged(double value);
    void borderStyleChanged(MapBorderStyle value);

private:
    bool enabled_ = false;
    double width_ = 180;
    double opacity_ = 0.75;
    bool showMap_ = false;
    double padding_ = 27;
    MapBorderStyle borderStyle_ = MapBorderStyle::defaultStyle;
};

} // namespace routereel
