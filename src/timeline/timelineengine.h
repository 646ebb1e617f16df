#pragma once

#include "trackinterpolation.h"
#include "undoablevaluechange.h"
#include "videotimelinesnapshot.h"

#include "tracks/gpxsegment.h"
#include "tracks/gpxtrack.h"
#include "tracks/trackposition.h"

#include <QObject>
#include <QSizeF>
#include <QUndoStack>
#include <QUuid>

#include <functional>
#include <optional>

namespace routereel {

// The editable timeline of one document: the GPX lane, the video lane, the
// selection, the explicit canvas size and an undo stack of its own. Every edit
// that changes something, and every GPX move, is one undo step restoring the
// whole editable state (see TimelineSnapshotCommand). Main thread only, except
// that an export's own engine answers the time queries on the export's worker,
// one call at a time.
class TimelineEngine : public QObject {
    Q_OBJECT
    Q_PROPERTY(QList<GPXSegment> segments READ segments WRITE setSegments NOTIFY segmentsChanged)
    Q_PROPERTY(QUuid selectedId READ selectedId WRITE setSelectedId NOTIFY selectedIdChanged)
    Q_PROPERTY(QUuid selectedVideoId READ selectedVideoId WRITE setSelectedVideoId NOTIFY selectedVideoIdChanged)
    Q_PROPERTY(QList<VideoSource> videoSources READ videoSources WRITE setVideoSources NOTIFY videoSourcesChanged)
    Q_PROPERTY(QList<VideoSegment> videoSegments READ videoSegments WRITE setVideoSegments NOTIFY videoSegmentsChanged)
    Q_PROPERTY(std::optional<QSizeF> canvasOrigin READ canvasOrigin WRITE setCanvasOrigin NOTIFY canvasOriginChanged)

public:
    // The whole editable state, as one undo step saves it.
    struct UndoSnapshot {
        QList<GPXSegment> segments;
        QUuid selectedId;
        QList<VideoSegment> videoSegments;
        QList<VideoSource> videoSources;
        QUuid selectedVideoId;
        std::optional<QSizeF> canvasOrigin;
        QString actionName;

        bool sameState(const UndoSnapshot &other) const;
    };

    struct TimeRange {
        double lower = 0;
        double upper = 0;
        bool operator==(const TimeRange &) const = default;
    };
    struct Heading {
        double lat = 0;
        double lng = 0;
        double degrees = 0;  // clockwise from north, [0, 360)
    };
    struct EffectiveTrackPoints {
        QList<TrackPoint> points;
        QList<int> breaks;  // indices in `points` where a polyline begins
        QUuid revision;     // new whenever the list is rebuilt
    };

    explicit TimelineEngine(QObject *parent = nullptr);
    ~TimelineEngine() override;

    // Published state. A null QUuid means "no selection"; selecting in one lane
    // clears the other lane's selection. Writing `segments` drops the query caches.
    QList<GPXSegment> segments() const { return m_segments; }
    void setSegments(const QList<GPXSegment> &segments);
    QUuid selectedId() const { return m_selectedId; }
    void setSelectedId(const QUuid &id);
    QUuid selectedVideoId() const { return m_selectedVideoId; }
    void setSelectedVideoId(const QUuid &id);
    QList<VideoSource> videoSources() const { return m_videoSources; }
    void setVideoSources(const QList<VideoSource> &sources);
    QList<VideoSegment> videoSegments() const { return m_videoSegments; }
    void setVideoSegments(const QList<VideoSegment> &segments);
    std::optional<QSizeF> canvasOrigin() const { return m_canvasOrigin; }
    void setCanvasOrigin(const std::optional<QSizeF> &size);

    // Renewed by load() and clear(): asynchronous imports compare it to drop stale results.
    QUuid importGeneration() const { return m_importGeneration; }
    QUndoStack *undoStack() const { return m_undoStack; }

    // Starts a new document: empty lanes, no selection, no undo history.
    void load(const std::optional<QSizeF> &canvasSize = std::nullopt);
    // Empties the timeline as one "Clear" step (the undo history stays).
    void clear();
    bool hasSelection() const;
    // From the earliest offset to the latest end of the usable GPX segments.
    std::optional<TimeRange> gpxTimeRange() const;
    VideoTimelineSnapshot videoSnapshot() const;
    // Sets the canvas size only when none is set yet and the size is usable.
    void updateCanvasOrigin(const std::optional<QSizeF> &size);

    // GPX lane.
    void importGPX(const GPXTrack &track);
    void moveSegment(const QUuid &id, double offset);
    void snapSegment(const QUuid &id);
    // Proposed values come from the drag; `trackDuration` is 0 when the track is unknown.
    void trimSegmentStart(const QUuid &id, double gpxStart, double offset, double trackDuration);
    void trimSegmentEnd(const QUuid &id, double gpxEnd, double trackDuration);
    void splitAtPlayhead(double t);
    bool canSplit(double t) const;
    void deleteSegment(const QUuid &id);
    void deleteSelected();
    void toggleSegmentSelection(const QUuid &id);
    void toggleVideoSegmentSelection(const QUuid &id);
    bool canAlignToZero() const;
    void alignToZero();

    // Video lane.
    void importVideo(const VideoSource &source);
    void moveVideoSegment(const QUuid &id, double offset);
    void snapVideoSegment(const QUuid &id);
    void trimVideoSegmentStart(const QUuid &id, double sourceStart, double offset);
    void trimVideoSegmentEnd(const QUuid &id, double sourceEnd);
    void splitVideoSegment(const QUuid &id, double t);

    // Call when a drag gesture on a segment ends: the next trim starts a new undo step.
    void endTrimGesture() { m_trimUndoSaved = false; }

    // Time queries over `tracks` (the track store's list, or an export's copy).
    std::optional<TrackPosition> trackPosition(const QList<GPXTrack> &tracks, double t) const;
    std::optional<trackinterpolation::LatLng> coordinate(const QList<GPXTrack> &tracks, double t) const;
    std::optional<Heading> heading(const QList<GPXTrack> &tracks, double t) const;
    // The tracks as the segments show them, one per segment in offset order; cached.
    QList<GPXTrack> effectiveTracks(const QList<GPXTrack> &tracks) const;
    EffectiveTrackPoints effectiveTrackPoints(const QList<GPXTrack> &tracks) const;

    // Undoable change of a value held outside the engine (the track store's
    // tracks, a widget's enabled flag), on this engine's undo stack.
    template <typename T>
    void registerUndoableChange(const T &newValue, const QString &actionName, std::function<T()> read,
                                std::function<void(const T &)> write)
    {
        m_trimUndoSaved = false;
        m_undoStack->push(new UndoableValueChange<T>(newValue, actionName, std::move(read), std::move(write)));
    }
    void registerUndoableTracksChange(const QList<GPXTrack> &newValue, const QString &actionName,
                                      std::function<QList<GPXTrack>()> read,
                                      std::function<void(const QList<GPXTrack> &)> write);
    void registerUndoableBoolChange(bool newValue, const QString &actionName, std::function<bool()> read,
                                    std::function<void(const bool &)> write);

    UndoSnapshot undoSnapshot(const QString &actionName) const;
    // Puts a saved state back: canvas, GPX segments, sources, video segments, then the selection.
    void restoreSnapshot(const UndoSnapshot &snapshot);

signals:
    void segmentsChanged();
    void selectedIdChanged();
    void selectedVideoIdChanged();
    void videoSourcesChanged();
    void videoSegmentsChanged();
    void canvasOriginChanged();
    // A Clear or a project load started a new generation: older async results are stale.
    void importGenerationChanged();

private:
    struct Chosen {
        const GPXTrack *track;
        double localTime;  // seconds after the track's first point
        bool fallback;     // before every segment: the first track's first point
    };
    // What decides the effective lists: the segments as they stand and, per
    // track, its revision and point count (never a pass over the points).
    struct EffectiveTracksKey {
        struct Fingerprint {
            QUuid revision;
            qsizetype count;
            bool operator==(const Fingerprint &) const = default;
        };
        QList<GPXSegment> segments;
        QList<Fingerprint> fingerprints;
        bool operator==(const EffectiveTracksKey &) const = default;
    };
    struct TracksCache {
        EffectiveTracksKey key;
        QList<GPXTrack> tracks;
    };
    struct PointsCache {
        EffectiveTracksKey key;
        EffectiveTrackPoints value;
    };

    enum class Unchanged { skip, keep };
    // Runs `change` as one undo step named `actionName` (a name used as it
    // stands, not translated); nothing is registered when it leaves the state
    // as it was, unless `unchanged` says keep.
    void edit(const QString &actionName, const std::function<void()> &change, Unchanged unchanged = Unchanged::skip);
    // The same for trims: every call of one drag lands in the drag's single step.
    void trimEdit(const std::function<void()> &change);

    GPXSegment *findSegment(const QUuid &id);
    VideoSegment *findVideoSegment(const QUuid &id);
    const VideoSource *findSource(const QUuid &id) const;
    std::optional<Chosen> chooseSegment(const QList<GPXTrack> &tracks, double t) const;
    template <typename Visit>
    void walkSegmentRuns(const QList<GPXTrack> &tracks, Visit visit) const;
    EffectiveTracksKey cacheKey(const QList<GPXTrack> &tracks) const;
    void dropCaches();

    QList<GPXSegment> m_segments;
    QUuid m_selectedId;
    QUuid m_selectedVideoId;
    QList<VideoSource> m_videoSources;
    QList<VideoSegment> m_videoSegments;
    std::optional<QSizeF> m_canvasOrigin;

    QUuid m_importGeneration = QUuid::createUuid();
    QUndoStack *m_undoStack;
    bool m_trimUndoSaved = false;
    quint64 m_trimDrag = 0;  // numbers the trim drags; their steps merge only within one drag
    mutable std::optional<TracksCache> m_tracksCache;
    mutable std::optional<PointsCache> m_pointsCache;
};

} // namespace routereel
