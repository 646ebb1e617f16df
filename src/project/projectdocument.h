#pragma once

#include "projectcodingerror.h"
#include "timeline/videosegment.h"

#include <QByteArray>
#include <QList>
#include <QSizeF>
#include <QString>
#include <QUuid>

#include <optional>

namespace routereel {

// One video source file of a project.
struct VideoFileRef {
    QUuid id;                         // the source id that video segments refer to
    QString path;                     // absolute file-system path
    std::optional<QString> bookmark;  // Base64 bookmark of another platform; read, never made here

    bool operator==(const VideoFileRef &) const = default;
};

// One track file of a project.
struct GPXFileRef {
    QString path;
    std::optional<QString> bookmark;
    QString trackID;  // the track's id when saved; segments refer to it as text

    bool operator==(const GPXFileRef &) const = default;
};

// One GPX segment on the timeline.
struct SegmentData {
    QString id;       // UUID text when written; any text is read
    QString trackID;  // the trackID of a GPXFileRef
    double gpxStart = 0;
    double gpxEnd = 0;
    double offset = 0;

    bool operator==(const SegmentData &) const = default;
};

struct MapData {
    std::optional<bool> enabled;
    QString provider;
    std::optional<QString> mapboxToken;
    QString shape;
    std::optional<QString> borderStyle;
    double width = 0;
    double height = 0;
    double cornerRadius = 0;
    QString orientation;
    qint64 zoomLevel = 0;
    double opacity = 0;
    std::optional<double> positionX;
    std::optional<double> positionY;

    bool operator==(const MapData &) const = default;
};

struct TimeWidgetData {
    bool enabled = false;
    double fontSize = 0;
    double opacity = 0;
    QString textColor;
    std::optional<double> positionX;
    std::optional<double> positionY;

    bool operator==(const TimeWidgetData &) const = default;
};

struct SpeedWidgetData {
    bool enabled = false;
    double fontSize = 0;
    double opacity = 0;
    QString textColor;
    QString unit;
    std::optional<double> positionX;
    std::optional<double> positionY;

    bool operator==(const SpeedWidgetData &) const = default;
};

struct GPSPathWidgetData {
    bool enabled = false;
    double width = 0;
    double opacity = 0;
    bool showMap = false;
    double padding = 0;
    std::optional<QString> borderStyle;
    std::optional<double> positionX;
    std::optional<double> positionY;

    bool operator==(const GPSPathWidgetData &) const = default;
};

struct HeartRateGraphWidgetData {
    bool enabled = false;
    double width = 0;
    double height = 0;
    double opacity = 0;
    QString lineColor;
    std::optional<double> positionX;
    std::optional<double> positionY;

    bool operator==(const HeartRateGraphWidgetData &) const = default;
};

struct HeartRateWidgetData {
    bool enabled = false;
    double fontSize = 0;
    double opacity = 0;
    QString textColor;
    std::optional<double> positionX;
    std::optional<double> positionY;
    std::optional<bool> showIcon;
    std::optional<bool> showMinMax;

    bool operator==(const HeartRateWidgetData &) const = default;
};

// Everything a project file restores. Decoding builds it exactly as the file
// says; validate() is the range check that must pass before it is applied.
struct ProjectDocument {
    static constexpr qint64 currentVersion = 5;

    enum class ValidationError { invalidValues };
    enum class Style {
        saved,    // indented, keys sorted: the user's project files
        session,  // compact: the last-session file
    };

    qint64 version = currentVersion;
    std::optional<QString> videoPath;
    std::optional<QString> videoBookmark;
    std::optional<QList<VideoFileRef>> videoFiles;
    std::optional<QList<VideoSegment>> videoSegments;
    QList<GPXFileRef> gpxFiles;
    QList<SegmentData> segments;
    MapData map;
    TimeWidgetData timeWidget;
    SpeedWidgetData speedWidget;
    std::optional<GPSPathWidgetData> gpsPathWidget;
    std::optional<HeartRateWidgetData> heartRateWidget;
    std::optional<HeartRateGraphWidgetData> heartRateGraphWidget;
    double playheadTime = 0;
    QString exportPreset;
    std::optional<double> exportCompressionFactor;
    std::optional<QString> compositionMode;
    std::optional<QSizeF> canvasOrigin;
    std::optional<QSizeF> widgetLayoutSize;

    bool operator==(const ProjectDocument &) const = default;

    // Strict reading: the first fault in field order fails the whole document.
    static std::optional<ProjectDocument> decode(const QByteArray &json, ProjectCodingError *error = nullptr);
    // Fails only on a non-finite number, naming its key path.
    std::optional<QByteArray> encode(Style style, ProjectCodingError *error = nullptr) const;

    // Every time, size, opacity and position within its bounds.
    std::optional<ValidationError> validate() const;
    static QString message(ValidationError error);

    // How the file writes an identifier: upper case, without braces.
    static QString uuidText(const QUuid &id);

    // Largest timeline time, and largest position within a track or source: 31 days.
    static constexpr double maxTime = 2678400;
    // How far a saved segment may end past the length of its track or clip and still be restored.
    static constexpr double segmentEndTolerance = 0.000001;
};

} // namespace routereel
