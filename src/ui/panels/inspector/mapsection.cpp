#include "mapsection.h"

#include "inspectorlook.h"
#include "inspectorpickerrow.h"
#include "inspectorpositionrow.h"
#include "inspectorsliderrow.h"
#include "ui/state/windowstate.h"
#include "widgets/mapsettings.h"

#include <QEvent>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

#include <cmath>

namespace routereel {

namespace {

using Format = InspectorSliderLine::Format;
constexpr InspectorSliderLine::Range sizeRange{widgetSizeRange.lower, widgetSizeRange.upper, 10};

} // namespace

MapSection::MapSection(MapSettings &settings, WindowState &state, QWidget *parent)
    : InspectorSection(QStringLiteral("MAP"), state, parent)
    , m_state(state)
    , m_setToken(inspectorlook::makeWideButton(nullptr))
{
    MapSettings *s = &settings;
    setEnabledSetting([s] { return s->enabled(); }, [s](bool on) { s->setEnabled(on); });

    auto *provider = addRow(InspectorPickerRow::forEnum<MapProvider>(
        QT_TRANSLATE_NOOP("SettingsPanelView", "Provider"), [&state] { return state.mapProvider(); },
        [this](MapProvider p) { saveMapProvider(p); }));
    provider->rowLayout()->addWidget(m_setToken);
    // Also with a token: the user may want to replace it.
    connect(m_setToken, &QPushButton::clicked, this, [&state] { state.setShowTokenSheet(true); });

    addRow(InspectorPickerRow::forEnum<MapBorderStyle>(
        QT_TRANSLATE_NOOP("SettingsPanelView", "Style"), [s] { return s->borderStyle(); },
        [s](MapBorderStyle v) { s->setBorderStyle(v); }));
    addRow(InspectorPickerRow::forEnum<MapOrientation>(
        QT_TRANSLATE_NOOP("SettingsPanelView", "Orientation"), [s] { return s->orientation(); },
        [s](MapOrientation v) { s->setOrientation(v); }));

    auto *size = addRow(new InspectorSliderRow(QT_TRANSLATE_NOOP("SettingsPanelView", "Size")));
    size->setSpacing(8);
    auto *widthLine = size->addLine(new InspectorSliderLine(
        sizeRange, Format::integer, 30, [s] { return s->width(); }, [s](double v) { s->setWidth(v); }));
    widthLine->setSideLabel(QT_TRANSLATE_NOOP("SettingsPanelView", "W"));
    auto *heightLine = size->addLine(new InspectorSliderLine(sizeRange, Format::integer, 30,
                                                             [s] { return s->height(); },
                                                             [s](double v) { s->setHeight(v); }),
                                     QT_TRANSLATE_NOOP("SettingsPanelView", "Height"));
    heightLine->setSideLabel(QT_TRANSLATE_NOOP("SettingsPanelView", "H"));

    addRow(new InspectorSliderRow(
        QT_TRANSLATE_NOOP("SettingsPanelView", "Zoom Level"), {10, 18, 1}, Format::integer, 30,
        [s] { return double(s->zoomLevel()); },
        // The slider only offers 10 … 18, so the conversion is safe.
        [s](double v) { s->setZoomLevel(int(std::trunc(v))); }));
    auto *cornerRadius = addRow(new InspectorSliderRow(
        QT_TRANSLATE_NOOP("SettingsPanelView", "Corner Radius"), {0, 60, 2}, Format::integer, 30,
        [s] { return s->cornerRadius(); }, [s](double v) { s->setCornerRadius(v); }));
    addRow(new InspectorSliderRow(
        QT_TRANSLATE_NOOP("SettingsPanelView", "Opacity"), {0.1, 1, 0.1}, Format::percent, 36,
        [s] { return s->opacity(); }, [s](double v) { s->setOpacity(v); }));
    addRow(new InspectorPositionRow(state, WidgetKind::map));

    // The shape has no control here: a project sets it. Only a rectangle has a
    // height of its own and corners to round.
    onRefresh([this, s, widthLine, heightLine, cornerRadius] {
        const bool rect = s->shape() == MapShape::roundedRect;
        widthLine->setSideLabelShown(rect);
        heightLine->setVisible(rect);
        cornerRadius->setVisible(rect);
        m_setToken->setVisible(m_state.mapProvider() == MapProvider::mapbox);
    });
    connect(s, &MapSettings::changed, this, &InspectorSection::refresh);
    connect(&state, &WindowState::mapProviderChanged, this, &InspectorSection::refresh);
    retranslate();
    refresh();
}

void MapSection::saveMapProvider(MapProvider provider)
{
    m_state.setMapProvider(provider);
    QSettings().setValue(QStringLiteral("mapProvider"), enumText(provider));
    // A token of blanks counts as given; only an empty one asks.
    if (provider == MapProvider::mapbox && m_state.mapboxToken().isEmpty())
        m_state.setShowTokenSheet(true);
}

void MapSection::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    InspectorSection::changeEvent(event);
}

void MapSection::retranslate()
{
    m_setToken->setText(inspectorlook::translated(QT_TRANSLATE_NOOP("SettingsPanelView", "Set Token...")));
}

} // namespace routereel
