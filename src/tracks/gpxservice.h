#pragma once

#include "gpxtrack.h"
#include "maptrackdata.h"
#include "trackposition.h"
#include "trackresult.h"

#include <QFuture>
#include <QList>
#include <QObject>
#include <QUrl>

#include <functional>
#include <optional>

namespace routereel {

// The loaded tracks of one document, ordered by start time, with their merged map data.
// Lives on the main thread; only loadTrack() may run elsewhere.
class GPXService : public QObject {
    Q_OBJECT
    Q_PROPERTY(QList<GPXTrack> tracks READ tracks WRITE setTracks NOTIFY tracksChanged)

public:
    // Larger files are refused before reading: the points of a bigger file would not fit in
    // memory in any case, and nothing real comes near it.
    static constexpr qint64 maximumFileSize = qint64(256) * 1024 * 1024;
    // Longest span from the first to the last point, in seconds (31 days).
    static constexpr double maximumSpan = 2'678'400;
    static constexpr int smoothingWindow = 5;

    explicit GPXService(QObject *parent = nullptr);

    const QList<GPXTrack> &tracks() const { return trackList; }
    // Any assignment notifies (tracksAboutToChange before the list changes, tracksChanged after)
    // and drops the map data cache.
    void setTracks(const QList<GPXTrack> &tracks);

    // Built on first use after each change of the tracks; every build has a new revision.
    MapTrackData mapTrackData() const;

    // Reads, checks and smooths a track file. Any thread: it touches no state of the store.
    static TrackResult<GPXTrack> loadTrack(const QUrl &url);
    // The checks and smoothing of loadTrack() applied to points that were already read.
    static TrackResult<GPXTrack> trackFromPoints(QList<TrackPoint> points, const QUrl &url);

    // Gives the track the next palette colour and inserts it by start time.
    void addTrack(GPXTrack track);
    // loadTrack() then addTrack(); the track as added, or the error with the list unchanged.
    TrackResult<GPXTrack> importTrack(const QUrl &url);

    std::optional<TrackPoint> trackPoint(const TrackPosition &position) const;

    // Loads a track on the thread pool and calls `deliver` with the result on this object's
    // thread, unless `stillWanted` (asked there, just before) says a newer import or project has
    // started since. Nothing is delivered once this object is gone. The store itself is left
    // alone: the caller adds the track. Delivery never happens inside this call; the returned
    // future finishes once the result was delivered or dropped.
    using StillWanted = std::function<bool()>;
    using Delivery = std::function<void(const TrackResult<GPXTrack> &result)>;
    QFuture<void> loadTrackInBackground(const QUrl &url, StillWanted stillWanted, Delivery deliver);

signals:
    void tracksAboutToChange();
    void tracksChanged();

private:
    QList<GPXTrack> trackList;
    mutable std::optional<MapTrackData> mapTrackCache;
};

} // namespace routereel
