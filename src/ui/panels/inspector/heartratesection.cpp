#include "heartratesection.h"

#include "inspectortogglerow.h"
#include "widgets/heartratewidgetsettings.h"

namespace routereel {

HeartRateSection::HeartRateSection(HeartRateWidgetSettings &settings, WindowState &state, QWidget *parent)
    : TextWidgetSection(QStringLiteral("HEART RATE"), settings, WidgetKind::heartRate, state, parent)
{
    HeartRateWidgetSettings *s = &settings;
    addRow(new InspectorToggleRow(QT_TRANSLATE_NOOP("SettingsPanelView", "Show heart icon"),
                                  [s] { return s->showIcon(); }, [s](bool on) { s->setShowIcon(on); }));
    addRow(new InspectorToggleRow(QT_TRANSLATE_NOOP("SettingsPanelView", "Show min and max"),
                                  [s] { return s->showMinMax(); }, [s](bool on) { s->setShowMinMax(on); }));
    addTextRows();
}

} // namespace routereel
