#pragma once

#include "mapenums.h"

#include <QPainterPath>
#include <QObject>

namespace routereel {

// Settings of the map widget, read from the user's settings once and
// written back on every assignment.
class MapSettings : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool enabled READ enabled WRITE setEnabled NOTIFY enabledChanged)
    Q_PROPERTY(MapShape shape READ shape WRITE setShape NOTIFY shapeChanged)
    Q_PROPERTY(double width READ width WRITE setWidth NOTIFY widthChanged)
    Q_PROPERTY(double height READ height WRITE setHeight NOTIFY heightChanged)
    Q_PROPERTY(double cornerRadius READ cornerRadius WRITE setCornerRadius NOTIFY cornerRadiusChanged)
    Q_PROPERTY(MapOrientation orientation READ orientation WRITE setOrientation NOTIFY orientationChanged)
    Q_PROPERTY(int zoomLevel READ zoomLevel WRITE setZoomLevel NOTIFY zoomLevelChanged)
    Q_PROPERTY(double opacity READ opacity WRITE setOpacity NOTIFY opacityChanged)
    Q_PROPERTY(MapBorderStyle borderStyle READ borderStyle WRITE setBorderStyle NOTIFY borderStyleChanged)

public:
    explicit MapSettings(QObject *parent = nullptr);

    bool enabled() const { return enabled_; }
    MapShape shape() const { return shape_; }
    double width() const { return width_; }
    double height() const { return height_; }
    double cornerRadius() const { return cornerRadius_; }
    MapOrientation orientation() const { return orientation_; }
    int zoomLevel() const { return zoomLevel_; }
    double opacity() const { return opacity_; }
    MapBorderStyle borderStyle() const { return borderStyle_; }

    void setEnabled(bool value);
    void setShape(MapShape value);
    void setWidth(double value);
    void setHeight(double value);
    void setCornerRadius(double value);
    void setOrientation(MapOrientation value);
    void setZoomLevel(int value);
    void setOpacity(double value);
    void setBorderStyle(MapBorderStyle value);

    // The height actually drawn: a circle is always as high as it is wide.
    double effectiveHeight() const;
    // Outline of the widget in a frame of its size: an inscribed circle or a rounded rectangle.
    QPainterPath clipShape(const QRectF &frame) const;

signals:
    // Any setting was assigned.
    void changed();
    void enabledChanged(bool value);
    void shapeChanged(MapShape value);
    void widthChanged(double value);
    void heightChanged(double value);
    void cornerRadiusChanged(double value);
    void orientationChanged(MapOrientation value);
    void zoomLevelChanged(int value);
    void opacityChanged(double value);
    void borderStyleChanged(MapBorderStyle value);

private:
    bool enabled_ = true;
    MapShape shape_ = MapShape::circle;
    double width_ = 200;
    double height_ = 200;
    double cornerRadius_ = 12;
    MapOrientation orientation_ = MapOrientation::north;
    int zoomLevel_ = 15;
    double opacity_ = 0.8;
    MapBorderStyle borderStyle_ = MapBorderStyle::defaultStyle;
};

} // namespace routereel
