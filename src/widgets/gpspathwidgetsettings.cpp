#include "gpspathwidgetsettings.h"

#include "settingsstore.h"

namespace routereel {

using namespace settingsstore;

GPSPathWidgetSettings::GPSPathWidgetSettings(QObject *parent)
    : QObject(parent)
{
    enabled_ = readBool(QStringLiteral("gpsPathEnabled"), enabled_);
    width_ = boundedWidgetSize(readDouble(QStringLiteral("gpsPathWidth"), width_));
    opacity_ = readDouble(QStringLiteral("gpsPathOpacity"), opacity_);
    showMap_ = readBool(QStringLiteral("gpsPathShowMap"), showMap_);
    padding_ = readDouble(QStringLiteral("gpsPathPadding"), padding_);
    borderStyle_ = readEnum(QStringLiteral("gpsPathBorderStyle"), borderStyle_);
}

void GPSPathWidgetSettings::setEnabled(bool value)
{
    enabled_ = value;
    write(QStringLiteral("gpsPathEnabled"), value);
    emit enabledChanged(value);
    emit changed();
}

void GPSPathWidgetSettings::setWidth(double value)
{
    width_ = value;
    write(QStringLiteral("gpsPathWidth"), value);
    emit widthChanged(value);
    emit changed();
}

void GPSPathWidgetSettings::setOpacity(double value)
{
    opacity_ = value;
    write(QStringLiteral("gpsPathOpacity"), value);
    emit opacityChanged(value);
    emit changed();
}

void GPSPathWidgetSettings::setShowMap(bool value)
{
    showMap_ = value;
    write(QStringLiteral("gpsPathShowMap"), value);
    emit showMapChanged(value);
    emit changed();
}

void GPSPathWidgetSettings::setPadding(double value)
{
    padding_ = value;
    write(QStringLiteral("gpsPathPadding"), value);
    emit paddingChanged(value);
    emit changed();
}

void GPSPathWidgetSettings::setBorderStyle(MapBorderStyle value)
{
    borderStyle_ = value;
    writeEnum(QStringLiteral("gpsPathBorderStyle"), value);
    emit borderStyleChanged(value);
    emit changed();
}

} // namespace routereel
