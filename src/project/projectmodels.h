#pragma once

#include "projectwindow.h"

#include "timeline/timelineengine.h"
#include "tracks/gpxservice.h"
#include "tracks/logstore.h"
#include "widgets/gpspathwidgetsettings.h"
#include "widgets/heartrategraphwidgetsettings.h"
#include "widgets/heartratewidgetsettings.h"
#include "widgets/mapsettings.h"
#include "widgets/speedwidgetsettings.h"
#include "widgets/timewidgetsettings.h"

namespace routereel {

// A window's model objects and the window state a project saves, held as plain
// members. The holder adds its player and what it does on a video import or a
// drop; the settings objects read the stored settings when constructed.
class ProjectModels : public ProjectWindow {
public:
    TimelineEngine engineObject;
    GPXService gpx;
    LogStore log;
    MapSettings map;
    TimeWidgetSettings time;
    SpeedWidgetSettings speed;
    GPSPathWidgetSettings gpsPath;
    HeartRateWidgetSettings heartRate;
    HeartRateGraphWidgetSettings heartRateGraph;

    MapProvider provider = MapProvider::openStreetMap;
    ExportPreset preset = ExportPreset::original;
    double compressionFactor = 1.0;
    CompositionMode mode = CompositionMode::regular;
    std::optional<QSizeF> layoutSize;
    WidgetPositions positions;

    TimelineEngine &engine() override { return engineObject; }
    GPXService &gpxService() override { return gpx; }
    LogStore &logStore() override { return log; }
    MapSettings &mapSettings() override { return map; }
    TimeWidgetSettings &timeSettings() override { return time; }
    SpeedWidgetSettings &speedSettings() override { return speed; }
    GPSPathWidgetSettings &gpsPathSettings() override { return gpsPath; }
    HeartRateWidgetSettings &heartRateSettings() override { return heartRate; }
    HeartRateGraphWidgetSettings &heartRateGraphSettings() override { return heartRateGraph; }

    MapProvider mapProvider() const override { return provider; }
    void setMapProvider(MapProvider value) override { provider = value; }
    ExportPreset selectedPreset() const override { return preset; }
    void setSelectedPreset(ExportPreset value) override { preset = value; }
    double exportCompressionFactor() const override { return compressionFactor; }
    void setExportCompressionFactor(double value) override { compressionFactor = value; }
    CompositionMode compositionMode() const override { return mode; }
    void setCompositionMode(CompositionMode value) override { mode = value; }
    std::optional<QSizeF> widgetLayoutSize() const override { return layoutSize; }
    void setWidgetLayoutSize(const std::optional<QSizeF> &size) override { layoutSize = size; }
    WidgetPositions widgetPositions() const override { return positions; }
    void setWidgetPositions(const WidgetPositions &value) override { positions = value; }
};

} // namespace routereel
