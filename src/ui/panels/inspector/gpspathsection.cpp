#include "gpspathsection.h"

#include "inspectorpickerrow.h"
#include "inspectorpositionrow.h"
#include "inspectorsliderrow.h"
#include "widgets/gpspathwidgetsettings.h"

namespace routereel {

GPSPathSection::GPSPathSection(GPSPathWidgetSettings &settings, WindowState &state, QWidget *parent)
    : InspectorSection(QStringLiteral("PATH"), state, parent)
{
    using Format = InspectorSliderLine::Format;
    GPSPathWidgetSettings *s = &settings;
    setEnabledSetting([s] { return s->enabled(); }, [s](bool on) { s->setEnabled(on); });
    addRow(new InspectorPickerRow(
        QT_TRANSLATE_NOOP("SettingsPanelView", "Show Map"),
        {{QT_TRANSLATE_NOOP("SettingsPanelView", "No"), true}, {QT_TRANSLATE_NOOP("SettingsPanelView", "Yes"), true}},
        [s] { return s->showMap() ? 1 : 0; }, [s](int index) { s->setShowMap(index == 1); }));
    addRow(InspectorPickerRow::forEnum<MapBorderStyle>(
        QT_TRANSLATE_NOOP("SettingsPanelView", "Style"), [s] { return s->borderStyle(); },
        [s](MapBorderStyle v) { s->setBorderStyle(v); }));
    addRow(new InspectorSliderRow(
        QT_TRANSLATE_NOOP("SettingsPanelView", "Size"), {widgetSizeRange.lower, widgetSizeRange.upper, 10},
        Format::integer, 36, [s] { return s->width(); }, [s](double v) { s->setWidth(v); }));
    // Down to 0 here: a path may fade out completely.
    addRow(new InspectorSliderRow(
        QT_TRANSLATE_NOOP("SettingsPanelView", "Opacity"), {0, 1, 0.1}, Format::percent, 36,
        [s] { return s->opacity(); }, [s](double v) { s->setOpacity(v); }));
    addRow(new InspectorSliderRow(
        QT_TRANSLATE_NOOP("SettingsPanelView", "Padding"), {0, 20, 1}, Format::integer, 30,
        [s] { return s->padding(); }, [s](double v) { s->setPadding(v); }));
    addRow(new InspectorPositionRow(state, WidgetKind::gpsPath));
    connect(s, &GPSPathWidgetSettings::changed, this, &InspectorSection::refresh);
    refresh();
}

} // namespace routereel
