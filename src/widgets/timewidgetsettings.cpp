#include "timewidgetsettings.h"

#include "settingsstore.h"

namespace routereel {

using namespace settingsstore;

TimeWidgetSettings::TimeWidgetSettings(QObject *parent)
    : QObject(parent)
{
    enabled_ = readBool(QStringLiteral("timeWidgetEnabled"), enabled_);
    fontSize_ = readDouble(QStringLiteral("timeWidgetFontSize"), fontSize_);
    opacity_ = readDouble(QStringLiteral("timeWidgetOpacity"), opacity_);
    textColor_ = readEnum(QStringLiteral("timeWidgetTextColor"), textColor_);
}

void TimeWidgetSettings::setEnabled(bool value)
{
    enabled_ = value;
    write(QStringLiteral("timeWidgetEnabled"), value);
    emit enabledChanged(value);
    emit changed();
}

void TimeWidgetSettings::setFontSize(double value)
{
    fontSize_ = value;
    write(QStringLiteral("timeWidgetFontSize"), value);
    emit fontSizeChanged(value);
    emit changed();
}

void TimeWidgetSettings::setOpacity(double value)
{
    opacity_ = value;
    write(QStringLiteral("timeWidgetOpacity"), value);
    emit opacityChanged(value);
    emit changed();
}

void TimeWidgetSettings::setTextColor(WidgetTextColor value)
{
    textColor_ = value;
    writeEnum(QStringLiteral("timeWidgetTextColor"), value);
    emit textColorChanged(value);
    emit changed();
}

} // namespace routereel
