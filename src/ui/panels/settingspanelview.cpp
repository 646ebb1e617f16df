#include "settingspanelview.h"

#include "inspector/gpspathsection.h"
#include "inspector/heartrategraphsection.h"
#include "inspector/heartratesection.h"
#include "inspector/inspectorfade.h"
#include "inspector/mapsection.h"
#include "inspector/speedsection.h"
#include "inspector/timesection.h"
#include "focusview.h"
#include "panelstyle.h"
#include "tracks/gpxservice.h"

#include <QScrollArea>
#include <QVBoxLayout>

namespace routereel {

const QStringList SettingsPanelView::sectionKeys{QStringLiteral("MAP"),        QStringLiteral("PATH"),
                                                 QStringLiteral("SPEED"),      QStringLiteral("TIME"),
                                                 QStringLiteral("HEART RATE"), QStringLiteral("HEART RATE GRAPH")};

SettingsPanelView::SettingsPanelView(MapSettings &mapSettings, TimeWidgetSettings &timeSettings,
                                     SpeedWidgetSettings &speedSettings, GPSPathWidgetSettings &gpsPathSettings,
                                     HeartRateWidgetSettings &heartRateSettings,
                                     HeartRateGraphWidgetSettings &heartRateGraphSettings, WindowState &state,
                                     GPXService &gpxService, QWidget *parent)
    : QWidget(parent)
    , m_gpxService(gpxService)
    , m_scroll(new QScrollArea(this))
    , m_dimming(new InspectorFade(this))
{
    setObjectName(QStringLiteral("inspector"));
    setFixedWidth(panelWidth);

    m_sections = {new MapSection(mapSettings, state),
                  new GPSPathSection(gpsPathSettings, state),
                  new SpeedSection(speedSettings, state),
                  new TimeSection(timeSettings, state),
                  new HeartRateSection(heartRateSettings, state),
                  new HeartRateGraphSection(heartRateGraphSettings, state)};
    auto *column = new QWidget;
    auto *stack = new QVBoxLayout(column);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    for (InspectorSection *section : m_sections)
        stack->addWidget(section);
    stack->addStretch(1);

    // Scrolls by wheel and by Tab; no bar takes width from the column. The wheel
    // scrolls even over a slider: settings change only when the user moves them.
    m_scroll->setFrameShape(QFrame::NoFrame);
    // Tab goes straight to the controls; the area follows the focused one into view.
    m_scroll->setFocusPolicy(Qt::NoFocus);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setWidgetResizable(true);
    m_scroll->setWidget(column);
    m_scroll->viewport()->setBackgroundRole(QPalette::Base);
    column->setBackgroundRole(QPalette::Base);
    column->setAutoFillBackground(true);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_scroll);
    panelstyle::wheelScrollsPastControls(this);
    // Also when Tab comes in from the timeline or the toolbar.
    focusview::followFocus(this);

    setGraphicsEffect(m_dimming);
    m_dimming->setOpacity(0.5);
    connect(&gpxService, &GPXService::tracksChanged, this, &SettingsPanelView::applyTrackState);
    applyTrackState();
}

InspectorSection *SettingsPanelView::section(const QString &key) const
{
    for (InspectorSection *section : m_sections) {
        if (section->key() == key)
            return section;
    }
    return nullptr;
}

void SettingsPanelView::applyTrackState()
{
    const bool hasTrack = !m_gpxService.tracks().isEmpty();
    setEnabled(hasTrack);
    // Off rather than at opacity 1: an active effect paints through an extra image.
    m_dimming->setEnabled(!hasTrack);
}

} // namespace routereel
