#include "keptfiles.h"

#include "media/videoreaderror.h"
#include "tracks/trackloaderror.h"

#include <QDir>

#include <algorithm>

namespace routereel {

namespace {

QString cleanPath(const QString &path)
{
    return QDir::cleanPath(path);
}

} // namespace

KeptFiles::Outcome KeptFiles::outcomeOf(const TrackLoadError &error)
{
    const auto *parser = std::get_if<GPXParserError>(&error.reason);
    if (parser && *parser == GPXParserError::fileNotFound)
        return Outcome::away;
    if (parser && *parser == GPXParserError::readFailed)
        return Outcome::notGiven;
    return Outcome::unusable;
}

KeptFiles::Outcome KeptFiles::outcomeOf(const QFuture<VideoSource> &probe)
{
    try {
        QFuture<VideoSource>(probe).waitForFinished();
    } catch (const VideoReadError &e) {
        return e.refused() ? Outcome::notGiven : Outcome::unusable;
    } catch (...) {
    }
    return Outcome::unusable;
}

void KeptFiles::start(const QUuid &generation, const ProjectDocument &document)
{
    m_generation = generation;
    m_savedVideoSegments = document.videoSegments;
    m_savedSegments = document.segments;
    m_videoFiles.clear();
    m_gpxFiles.clear();
    m_readTrackIDs.clear();
}

void KeptFiles::clip(const QUuid &generation, const VideoFileRef &file, Outcome outcome)
{
    if (generation == m_generation && keeps(outcome))
        m_videoFiles.append(file);
}

void KeptFiles::track(const QUuid &generation, const GPXFileRef &file, Outcome outcome)
{
    if (generation == m_generation && keeps(outcome))
        m_gpxFiles.append(file);
}

void KeptFiles::forgetFound(const QStringList &videoPaths, const QStringList &trackPaths)
{
    if (m_videoFiles.isEmpty() && m_gpxFiles.isEmpty())
        return;
    QSet<QString> videos, tracks;
    for (const QString &path : videoPaths)
        videos.insert(cleanPath(path));
    for (const QString &path : trackPaths)
        tracks.insert(cleanPath(path));
    m_videoFiles.removeIf([&](const VideoFileRef &file) { return videos.contains(cleanPath(file.path)); });
    m_gpxFiles.removeIf([&](const GPXFileRef &file) { return tracks.contains(cleanPath(file.path)); });
}

void KeptFiles::addTo(ProjectDocument &document, const QUuid &generation, bool withVideo) const
{
    if (generation != m_generation)
        return;
    if (withVideo && !m_videoFiles.isEmpty()) {
        QList<VideoFileRef> files = document.videoFiles.value_or(QList<VideoFileRef>());
        QList<VideoSegment> segments = document.videoSegments.value_or(QList<VideoSegment>());
        QSet<QString> named;
        for (const VideoFileRef &file : files)
            named.insert(cleanPath(file.path));
        for (const VideoFileRef &file : m_videoFiles) {
            // A file the timeline names again is named once: with the timeline's pieces.
            if (named.contains(cleanPath(file.path)))
                continue;
            if (std::none_of(files.begin(), files.end(), [&](const VideoFileRef &f) { return f.id == file.id; }))
                files.append(file);
            for (const VideoSegment &segment : m_savedVideoSegments.value_or(QList<VideoSegment>())) {
                if (segment.sourceID == file.id
                    && std::none_of(segments.begin(), segments.end(),
                                    [&](const VideoSegment &s) { return s.id == segment.id; }))
                    segments.append(segment);
            }
        }
        document.videoFiles = files;
        document.videoSegments = segments;
    }
    QSet<QString> named;
    for (const GPXFileRef &file : document.gpxFiles)
        named.insert(cleanPath(file.path));
    QSet<QString> added;
    for (const GPXFileRef &file : m_gpxFiles) {
        if (named.contains(cleanPath(file.path)))
            continue;
        document.gpxFiles.append(file);
        added.insert(file.trackID);
    }
    // The pieces of a kept track, unless a track that was read took its id.
    for (const SegmentData &segment : m_savedSegments) {
        if (added.contains(segment.trackID) && !m_readTrackIDs.contains(segment.trackID)
            && !document.segments.contains(segment))
            document.segments.append(segment);
    }
}

} // namespace routereel
