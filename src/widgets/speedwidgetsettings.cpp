#include "speedwidgetsettings.h"

#include "settingsstore.h"

namespace routereel {

using namespace settingsstore;

SpeedWidgetSettings::SpeedWidgetSettings(QObject *parent)
    : TextWidgetSettings(QStringLiteral("speedWidget"), parent)
{
    unit_ = readEnum(key(QLatin1StringView("Unit")), unit_);
}

void SpeedWidgetSettings::setUnit(SpeedUnit value)
{
    unit_ = value;
    writeEnum(key(QLatin1StringView("Unit")), value);
    emit unitChanged(value);
    emit changed();
}

} // namespace routereel
