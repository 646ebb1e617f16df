#include "timewidgetsettings.h"

namespace routereel {

TimeWidgetSettings::TimeWidgetSettings(QObject *parent)
    : TextWidgetSettings(QStringLiteral("timeWidget"), parent)
{
}

} // namespace routereel
