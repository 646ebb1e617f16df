#include "speedwidgetsettings.h"

#include "settingsstore.h"

namespace routereel {

using namespace settingsstore;

SpeedWidgetSettings::SpeedWidgetSettings(QObject *parent)
    : QObject(parent)
{
    enabled_ = readBool(QStringLiteral("speedWidgetEnabled"), enabled_);
    fontSize_ = readDouble(QStringLiteral("speedWidgetFontSize"), fontSize_);
    opacity_ = readDouble(QStringLiteral("speedWidgetOpacity"), opacity_);
    textColor_ = readEnum(QStringLiteral("speedWidgetTextColor"), textColor_);
    unit_ = readEnum(QStringLiteral("speedWidgetUnit"), unit_);
}

void SpeedWidgetSettings::setEnabled(bool value)
{
    enabled_ = value;
    write(QStringLiteral("speedWidgetEnabled"), value);
    emit enabledChanged(value);
    emit changed();
}

void SpeedWidgetSettings::setFontSize(double value)
{
    fontSize_ = value;
    write(QStringLiteral("speedWidgetFontSize"), value);
    emit fontSizeChanged(value);
    emit changed();
}

void SpeedWidgetSettings::setOpacity(double value)
{
    opacity_ = value;
    write(QStringLiteral("speedWidgetOpacity"), value);
    emit opacityChanged(value);
    emit changed();
}

void SpeedWidgetSettings::setTextColor(WidgetTextColor value)
{
    textColor_ = value;
    writeEnum(QStringLiteral("speedWidgetTextColor"), value);
    emit textColorChanged(value);
    emit changed();
}

void SpeedWidgetSettings::setUnit(SpeedUnit value)
{
    unit_ = value;
    writeEnum(QStringLiteral("speedWidgetUnit"), value);
    emit unitChanged(value);
    emit changed();
}

} // namespace routereel
