#include "gpxservice.h"

#include "gpxparser.h"
#include "igcparser.h"
#include "tcxparser.h"
#include "utf8textfile.h"

#include <QFileInfo>
#include <QFutureWatcher>
#include <QPromise>
#include <QThreadPool>
#include <QtConcurrent>

#include <cmath>
#include <memory>

namespace routereel {

GPXService::GPXService(QObject *parent) : QObject(parent) {}

void GPXService::setTracks(const QList<GPXTrack> &tracks)
{
    emit tracksAboutToChange();
    trackList = tracks;
    mapTrackCache.reset();
    emit tracksChanged();
}

MapTrackData GPXService::mapTrackData() const
{
    if (!mapTrackCache)
        mapTrackCache = MapTrackData::build(trackList);
    return *mapTrackCache;
}

TrackResult<GPXTrack> GPXService::loadTrack(const QUrl &url)
{
    const QString path = url.isLocalFile() ? url.toLocalFile() : QString();
    const QFileInfo info(path);
    if (!path.isEmpty() && info.exists() && info.size() > maximumFileSize)
        return GPXServiceError::fileTooLarge;

    const QString extension = QFileInfo(url.path()).suffix().toLower();
    if (extension == u"igc") {
        auto text = Utf8TextFile::read(path, maximumFileSize);
        if (!text)
            return text.error();
        return trackFromPoints(IGCParser::parse(text.value()), url);
    }

    auto points = extension == u"tcx" ? TCXParser().parse(url) : GPXParser().parse(url);
    if (!points)
        return points.error();
    return trackFromPoints(std::move(points).value(), url);
}

TrackResult<GPXTrack> GPXService::trackFromPoints(QList<TrackPoint> points, const QUrl &url)
{
    if (points.isEmpty())
        return GPXServiceError::emptyTrack;
    for (const TrackPoint &p : points) {
        if (!std::isfinite(p.lat) || !std::isfinite(p.lng) || p.lat < -90 || p.lat > 90
            || p.lng < -180 || p.lng > 180)
            return GPXParserError::invalidCoordinates;
    }
    for (qsizetype i = 1; i < points.size(); ++i) {
        if (points[i].time < points[i - 1].time)
            return GPXParserError::invalidTimeRange;
    }
    const double span = points.last().time - points.first().time;
    if (!std::isfinite(span) || span > maximumSpan)
        return GPXParserError::invalidTimeRange;

    GPXTrack track;
    track.fileName = url.fileName();
    track.fileURL = url;
    track.trackPoints = TrackPoint::smoothed(points, smoothingWindow);
    track.startTime = track.trackPoints.first().time;
    track.endTime = track.trackPoints.last().time;
    track.duration = *track.endTime - *track.startTime;
    track.colorIndex = 0;
    return track;
}

void GPXService::addTrack(GPXTrack track)
{
    track.colorIndex = int(trackList.size() % qsizetype(GPXTrack::palette().size()));
    QList<GPXTrack> next = trackList;
    qsizetype at = next.size();
    if (track.startTime) {
        for (qsizetype i = 0; i < next.size(); ++i) {
            if (next[i].startTime && *next[i].startTime > *track.startTime) {
                at = i;
                break;
            }
        }
    }
    next.insert(at, track);
    setTracks(next);
}

TrackResult<GPXTrack> GPXService::importTrack(const QUrl &url)
{
    auto loaded = loadTrack(url);
    if (!loaded)
        return loaded;
    addTrack(loaded.value());
    for (const GPXTrack &t : trackList) {
        if (t.id == loaded.value().id)
            return t;
    }
    return loaded;
}

std::optional<TrackPoint> GPXService::trackPoint(const TrackPosition &position) const
{
    for (const GPXTrack &t : trackList) {
        if (t.id != position.trackID)
            continue;
        if (position.index < 0 || position.index >= t.trackPoints.size())
            return std::nullopt;
        return t.trackPoints[position.index];
    }
    return std::nullopt;
}

QFuture<void> GPXService::loadTrackInBackground(const QUrl &url, StillWanted stillWanted,
                                                Delivery deliver)
{
    // The watcher is our child: once we are gone it is gone, and so is its pending delivery.
    // Its finished signal always comes through the event loop, even for a load that is already
    // done, so delivery never happens inside this call. The promise reports that the result was
    // delivered or dropped; when the watcher goes with it unfinished, the promise is cancelled.
    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    QFuture<void> settled = promise->future();

    auto *watcher = new QFutureWatcher<TrackResult<GPXTrack>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this,
            [watcher, promise, stillWanted = std::move(stillWanted), deliver = std::move(deliver)] {
                watcher->deleteLater();
                const QFuture<TrackResult<GPXTrack>> future = watcher->future();
                if (future.resultCount() > 0 && (!stillWanted || stillWanted()))
                    deliver(future.result());
                promise->finish();
            });
    watcher->setFuture(QtConcurrent::run(QThreadPool::globalInstance(), [url] { return loadTrack(url); }));
    return settled;
}

} // namespace routereel
