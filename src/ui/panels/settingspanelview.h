#pragma once

#include <QWidget>

class QScrollArea;

namespace routereel {

class GPSPathWidgetSettings;
class GPXService;
class HeartRateGraphWidgetSettings;
class HeartRateWidgetSettings;
class InspectorFade;
class InspectorSection;
class MapSettings;
class SpeedWidgetSettings;
class TimeWidgetSettings;
class WindowState;

// The inspector: the right-hand column of the window, 230 wide, a scrolling
// stack of one collapsible section per overlay widget ("MAP", "PATH", "SPEED",
// "TIME", "HEART RATE", "HEART RATE GRAPH"). Every control writes straight into
// the widget's settings object or the window state, so the preview follows at
// once; the panel keeps nothing of its own. Until a track is loaded the whole
// panel, headers included, is disabled and drawn at half opacity.
class SettingsPanelView : public QWidget {
    Q_OBJECT

public:
    static constexpr int panelWidth = 230;
    static const QStringList sectionKeys;

    SettingsPanelView(MapSettings &mapSettings, TimeWidgetSettings &timeSettings, SpeedWidgetSettings &speedSettings,
                      GPSPathWidgetSettings &gpsPathSettings, HeartRateWidgetSettings &heartRateSettings,
                      HeartRateGraphWidgetSettings &heartRateGraphSettings, WindowState &state,
                      GPXService &gpxService, QWidget *parent = nullptr);

    InspectorSection *section(const QString &key) const;
    QScrollArea *scrollArea() const { return m_scroll; }

private:
    void applyTrackState();

    GPXService &m_gpxService;
    QScrollArea *m_scroll;
    QList<InspectorSection *> m_sections;
    InspectorFade *m_dimming;
};

} // namespace routereel
