#pragma once

#include "widgetpositions.h"

#include "timeline/compositionmode.h"
#include "export/exportpreset.h"
#include "widgets/mapenums.h"

#include <QList>
#include <QSizeF>
#include <QUrl>

#include <optional>

namespace routereel {

class GPSPathWidgetSettings;
class GPXService;
class HeartRateGraphWidgetSettings;
class HeartRateWidgetSettings;
class LogStore;
class MapSettings;
class ProjectPlayer;
class SpeedWidgetSettings;
class TimeWidgetSettings;
class TimelineEngine;

// The window that owns the model objects, as the project roads see it: the
// objects themselves and the window state that a project saves and restores.
// Implemented by the main window; tests fake it.
class ProjectWindow {
public:
    virtual ~ProjectWindow() = default;

    virtual TimelineEngine &engine() = 0;
    virtual GPXService &gpxService() = 0;
    virtual LogStore &logStore() = 0;
    virtual ProjectPlayer &player() = 0;
    virtual MapSettings &mapSettings() = 0;
    virtual TimeWidgetSettings &timeSettings() = 0;
    virtual SpeedWidgetSettings &speedSettings() = 0;
    virtual GPSPathWidgetSettings &gpsPathSettings() = 0;
    virtual HeartRateWidgetSettings &heartRateSettings() = 0;
    virtual HeartRateGraphWidgetSettings &heartRateGraphSettings() = 0;

    virtual MapProvider mapProvider() const = 0;
    virtual void setMapProvider(MapProvider provider) = 0;
    virtual ExportPreset selectedPreset() const = 0;
    virtual void setSelectedPreset(ExportPreset preset) = 0;
    // The stored setting "exportCompressionFactor".
    virtual double exportCompressionFactor() const = 0;
    virtual void setExportCompressionFactor(double factor) = 0;
    // The window calls ProjectSession::cancelRestoreSeekAndRebuildPlayer() when this changes.
    virtual CompositionMode compositionMode() const = 0;
    virtual void setCompositionMode(CompositionMode mode) = 0;
    virtual std::optional<QSizeF> widgetLayoutSize() const = 0;
    virtual void setWidgetLayoutSize(const std::optional<QSizeF> &size) = 0;
    virtual WidgetPositions widgetPositions() const = 0;
    virtual void setWidgetPositions(const WidgetPositions &positions) = 0;

    // Stops the window's own video import, if one runs; a project replaces everything.
    virtual void cancelVideoImport() = 0;
    // Files dropped on the window, in drop order; the window opens the project
    // files among them through ProjectSession::openProject().
    virtual void importDroppedFiles(const QList<QUrl> &urls) = 0;
};

} // namespace routereel
