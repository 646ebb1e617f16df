#include "heartrategraphsection.h"

#include "inspectorpositionrow.h"
#include "inspectorsliderrow.h"
#include "widgets/heartrategraphwidgetsettings.h"

namespace routereel {

HeartRateGraphSection::HeartRateGraphSection(HeartRateGraphWidgetSettings &settings, WindowState &state,
                                             QWidget *parent)
    : InspectorSection(QStringLiteral("HEART RATE GRAPH"), state, parent)
{
    using Format = InspectorSliderLine::Format;
    HeartRateGraphWidgetSettings *s = &settings;
    setEnabledSetting([s] { return s->enabled(); }, [s](bool on) { s->setEnabled(on); });
    addRow(new InspectorSliderRow(QT_TRANSLATE_NOOP("SettingsPanelView", "Width"), {140, 240, 10}, Format::integer,
                                  36, [s] { return s->width(); }, [s](double v) { s->setWidth(v); }));
    addRow(new InspectorSliderRow(QT_TRANSLATE_NOOP("SettingsPanelView", "Height"), {40, 80, 5}, Format::integer,
                                  36, [s] { return s->height(); }, [s](double v) { s->setHeight(v); }));
    addRow(new InspectorSliderRow(QT_TRANSLATE_NOOP("SettingsPanelView", "Opacity"), {0.1, 1, 0.1},
                                  Format::percent, 36, [s] { return s->opacity(); },
                                  [s](double v) { s->setOpacity(v); }));
    addRow(new InspectorPositionRow(state, WidgetKind::heartRateGraph));
    connect(s, &HeartRateGraphWidgetSettings::changed, this, &InspectorSection::refresh);
    refresh();
}

} // namespace routereel
