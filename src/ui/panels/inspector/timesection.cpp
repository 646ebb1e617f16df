#include "timesection.h"

#include "widgets/timewidgetsettings.h"

namespace routereel {

TimeSection::TimeSection(TimeWidgetSettings &settings, WindowState &state, QWidget *parent)
    : TextWidgetSection(QStringLiteral("TIME"), settings, WidgetKind::time, state, parent)
{
    addTextRows();
}

} // namespace routereel
