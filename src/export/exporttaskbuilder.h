#pragma once

#include "timeline/compositionmode.h"
#include "exportpreset.h"
#include "exportstarterror.h"
#include "exporttask.h"

#include "widgets/mapenums.h"

#include <QPointF>
#include <QSizeF>
#include <QString>
#include <QUrl>

#include <optional>
#include <variant>

namespace routereel {

class GPSPathWidgetSettings;
class GPXService;
class HeartRateGraphWidgetSettings;
class HeartRateWidgetSettings;
class MapSettings;
class SpeedWidgetSettings;
class TimeWidgetSettings;
class TimelineEngine;
class VideoPlayerService;

// Turns the window's live models and state, at the moment the user starts an
// export, into the ExportTask the queue runs: the checks that refuse an export
// (first failure wins) and every setting converted to video pixels. It reads
// and changes nothing else; main thread, like the models it reads.
class ExportTaskBuilder {
public:
    // What the export reads of the preview player.
    struct PlayerState {
        QUrl videoURL;  // empty when no video is loaded
        bool isLoaded = false;
        bool isMetadataReady = false;
        double duration = 0;
        double videoFPS = 0;
        double videoBitRate = 0;

        static PlayerState of(const VideoPlayerService &player);
    };

    // The window's own state. Positions are widget centres on the layout of
    // `layoutSize`; none is the widget's default place.
    struct WindowState {
        CompositionMode compositionMode = CompositionMode::regular;
        ExportPreset selectedPreset = ExportPreset::original;
        double compressionFactor = 1;  // the stored setting, not yet clamped
        MapProvider mapProvider = MapProvider::openStreetMap;
        QString mapboxToken;
        QString mapLanguage;
        QSizeF layoutSize;  // the window's resolved layout size
        std::optional<QPointF> mapPosition;
        std::optional<QPointF> timePosition;
        std::optional<QPointF> speedPosition;
        std::optional<QPointF> gpsPathPosition;
        std::optional<QPointF> heartRatePosition;
        std::optional<QPointF> heartRateGraphPosition;
        // Files of the session that no export may replace: the open project
        // file and the last-session file.
        QStringList protectedFiles;
    };

    struct Models {
        const GPXService &gpxService;
        const TimelineEngine &engine;
        const MapSettings &mapSettings;
        const TimeWidgetSettings &timeSettings;
        const SpeedWidgetSettings &speedSettings;
        const GPSPathWidgetSettings &gpsPathSettings;
        const HeartRateWidgetSettings &heartRateSettings;
        const HeartRateGraphWidgetSettings &heartRateGraphSettings;
    };

    ExportTaskBuilder(const Models &models, PlayerState player, WindowState state);

    bool isOverlay() const { return m_state.compositionMode == CompositionMode::overlay; }
    // The Export buttons are enabled: overlay needs tracks with a time range on
    // the timeline; regular a loaded video with its metadata and tracks.
    bool canExport() const;
    // noWidgets when none of the six widgets is enabled.
    std::optional<ExportStartError> checkWidgets() const;
    // The export needs tiles: the map, or the GPS path with its map.
    bool needsNetwork() const;
    // Overlay: the selected preset when it is an overlay preset, else 1080p.
    ExportPreset effectiveExportPreset() const;
    QList<ExportPreset> offeredExportPresets() const;
    // Overlay 30; regular the player's rate, unchanged.
    double exportFrameRate() const;
    // Regular: the canvas, whatever the preset (the pipeline scales); overlay:
    // the preset's size for the canvas.
    QSizeF exportOutputSize(ExportPreset preset) const;
    // The engine's canvas, or 1920 x 1080 without one.
    QSizeF canvasSize() const;
    // Overlay 1; regular shrinks the canvas to the preset's short side, never enlarges.
    double outputScale(ExportPreset preset) const;
    // Expected file size of an export at `preset` with the stored compression
    // factor; none without a GPX range (overlay) or a known source (regular).
    std::optional<qint64> estimatedExportBytes(ExportPreset preset) const;

    // The stored factor limited to [0.6, 1]; not finite reads as 1.
    static double clampedCompressionFactor(double stored);

    // The checks of the Export action, then the task writing to `outputURL`.
    // They stat the clips: never on the window's thread.
    std::variant<ExportTask, ExportStartError> build(const QUrl &outputURL) const;
    // The checks alone, in their order; nothing when the export may start. They stat the clips.
    std::optional<ExportStartError> check() const;
    // The same, reading nothing: `unreachable` is what the file system said of
    // usedSourcePaths() (exportsourcecheck::firstUnreachableSource).
    std::variant<ExportTask, ExportStartError> build(const QUrl &outputURL,
                                                     const std::optional<ExportError> &unreachable) const;
    std::optional<ExportStartError> check(const std::optional<ExportError> &unreachable) const;
    // The clips a regular export reads, each once.
    QStringList usedSourcePaths() const;

private:
    ExportTask makeTask(const QUrl &outputURL, ExportPreset preset, const QSizeF &output) const;

    Models m_models;
    PlayerState m_player;
    WindowState m_state;
};

} // namespace routereel
