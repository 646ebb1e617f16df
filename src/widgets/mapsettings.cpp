#include "mapsettings.h"

#include "settingsstore.h"

#include <algorithm>

namespace routereel {

using namespace settingsstore;

MapSettings::MapSettings(QObject *parent)
    : QObject(parent)
{
    enabled_ = readBool(QStringLiteral("mapEnabled"), enabled_);
    // "mapShape" is not read: the map always starts as a circle.
    width_ = boundedWidgetSize(readDouble(QStringLiteral("mapWidth"), width_));
    height_ = boundedWidgetSize(readDouble(QStringLiteral("mapHeight"), height_));
    cornerRadius_ = readDouble(QStringLiteral("mapCornerRadius"), cornerRadius_);
    orientation_ = readEnum(QStringLiteral("mapOrientation"), orientation_);
    zoomLevel_ = readInt(QStringLiteral("mapZoomLevel"), zoomLevel_, 1, 22);
    opacity_ = readDouble(QStringLiteral("mapOpacity"), opacity_);
    borderStyle_ = readEnum(QStringLiteral("mapBorderStyle"), borderStyle_);
}

void MapSettings::setEnabled(bool value)
{
    enabled_ = value;
    write(QStringLiteral("mapEnabled"), value);
    emit enabledChanged(value);
    emit changed();
}

void MapSettings::setShape(MapShape value)
{
    shape_ = value;
    writeEnum(QStringLiteral("mapShape"), value);
    emit shapeChanged(value);
    emit changed();
}

void MapSettings::setWidth(double value)
{
    width_ = value;
    write(QStringLiteral("mapWidth"), value);
    emit widthChanged(value);
    emit changed();
}

void MapSettings::setHeight(double value)
{
    height_ = value;
    write(QStringLiteral("mapHeight"), value);
    emit heightChanged(value);
    emit changed();
}

void MapSettings::setCornerRadius(double value)
{
    cornerRadius_ = value;
    write(QStringLiteral("mapCornerRadius"), value);
    emit cornerRadiusChanged(value);
    emit changed();
}

void MapSettings::setOrientation(MapOrientation value)
{
    orientation_ = value;
    writeEnum(QStringLiteral("mapOrientation"), value);
    emit orientationChanged(value);
    emit changed();
}

void MapSettings::setZoomLevel(int value)
{
    zoomLevel_ = value;
    write(QStringLiteral("mapZoomLevel"), value);
    emit zoomLevelChanged(value);
    emit changed();
}

void MapSettings::setOpacity(double value)
{
    opacity_ = value;
    write(QStringLiteral("mapOpacity"), value);
    emit opacityChanged(value);
    emit changed();
}

void MapSettings::setBorderStyle(MapBorderStyle value)
{
    borderStyle_ = value;
    writeEnum(QStringLiteral("mapBorderStyle"), value);
    emit borderStyleChanged(value);
    emit changed();
}

double MapSettings::effectiveHeight() const
{
    return shape_ == MapShape::circle ? width_ : height_;
}

QPainterPath MapSettings::clipShape(const QRectF &frame) const
{
    QPainterPath path;
    if (shape_ == MapShape::circle) {
        const double d = std::min(frame.width(), frame.height());
        path.addEllipse(QRectF(0, 0, d, d).translated(frame.center() - QPointF(d / 2, d / 2)));
    } else {
        path.addRoundedRect(frame, cornerRadius_, cornerRadius_);
    }
    return path;
}

} // namespace routereel
