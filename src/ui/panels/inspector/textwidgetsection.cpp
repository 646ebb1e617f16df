#include "textwidgetsection.h"

#include "inspectorpositionrow.h"
#include "inspectorsliderrow.h"
#include "widgets/textwidgetsettings.h"

namespace routereel {

TextWidgetSection::TextWidgetSection(const QString &key, TextWidgetSettings &settings, WidgetKind widget,
                                     WindowState &state, QWidget *parent)
    : InspectorSection(key, state, parent)
    , m_settings(settings)
    , m_widget(widget)
    , m_state(state)
{
    TextWidgetSettings *s = &settings;
    setEnabledSetting([s] { return s->enabled(); }, [s](bool on) { s->setEnabled(on); });
    connect(s, &TextWidgetSettings::changed, this, &InspectorSection::refresh);
}

void TextWidgetSection::addTextRows()
{
    using Format = InspectorSliderLine::Format;
    TextWidgetSettings *s = &m_settings;
    addRow(new InspectorSliderRow(
        QT_TRANSLATE_NOOP("SettingsPanelView", "Font Size"), {10, 20, 1}, Format::integer, 30,
        [s] { return s->fontSize(); }, [s](double v) { s->setFontSize(v); }));
    addRow(new InspectorSliderRow(
        QT_TRANSLATE_NOOP("SettingsPanelView", "Opacity"), {0.1, 1, 0.1}, Format::percent, 36,
        [s] { return s->opacity(); }, [s](double v) { s->setOpacity(v); }));
    addRow(new InspectorPositionRow(m_state, m_widget));
    refresh();
}

} // namespace routereel
