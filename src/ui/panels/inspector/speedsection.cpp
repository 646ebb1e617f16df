#include "speedsection.h"

#include "inspectorpickerrow.h"
#include "widgets/speedwidgetsettings.h"

namespace routereel {

SpeedSection::SpeedSection(SpeedWidgetSettings &settings, WindowState &state, QWidget *parent)
    : TextWidgetSection(QStringLiteral("SPEED"), settings, WidgetKind::speed, state, parent)
{
    SpeedWidgetSettings *s = &settings;
    addRow(InspectorPickerRow::forEnum<SpeedUnit>(
        QT_TRANSLATE_NOOP("SettingsPanelView", "Unit"), [s] { return s->unit(); },
        [s](SpeedUnit unit) { s->setUnit(unit); }));
    addTextRows();
}

} // namespace routereel
