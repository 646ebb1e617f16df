#pragma once

#include "projectdocument.h"

#include "media/videosource.h"

#include <QFuture>
#include <QList>
#include <QSet>
#include <QStringList>
#include <QUrl>
#include <QUuid>

#include <optional>

namespace routereel {

struct TrackLoadError;

// The files of an applied project that the timeline does not hold although
// nothing is wrong with them: away (not found: a drive not plugged in, a share
// not mounted) or not given by the disk (a read that failed: a failing drive, a
// share that dropped out for a moment). Clips and tracks alike are kept, with
// their saved pieces, in the last session until the timeline holds them again,
// so that the next start restores them once they read again. A file that was
// read and is no usable clip or track, or a reference that names no file, is
// not kept: it would fail the same way at every start. Main thread only.
class KeptFiles {
public:
    enum class Outcome {
        away,      // not found where the project names it
        notGiven,  // the disk refused to read it
        unusable,  // read, and no clip or track
        noFile,    // the reference names no file (no path, or not an absolute one)
    };
    static bool keeps(Outcome outcome) { return outcome == Outcome::away || outcome == Outcome::notGiven; }
    // A file not found where `url`, the reference resolved, names it.
    static Outcome notFound(const std::optional<QUrl> &url) { return url ? Outcome::away : Outcome::noFile; }
    static Outcome outcomeOf(const TrackLoadError &error);
    // A probe that ended without a source.
    static Outcome outcomeOf(const QFuture<VideoSource> &probe);

    // An apply of `document` replaced the timeline, now of `generation`: what was kept goes.
    void start(const QUuid &generation, const ProjectDocument &document);
    // The document's clip or track `file` did not come into the timeline of `generation`.
    void clip(const QUuid &generation, const VideoFileRef &file, Outcome outcome);
    void track(const QUuid &generation, const GPXFileRef &file, Outcome outcome);
    // A track of the document was read for `trackID`: that id's pieces are its own, not kept ones.
    void trackRead(const QString &trackID) { m_readTrackIDs.insert(trackID); }

    // The timeline holds these files again: each is named by the timeline from
    // now on, no more by what is kept (nor are its pieces).
    void forgetFound(const QStringList &videoPaths, const QStringList &trackPaths);
    // Adds what is kept to a last-session document of the timeline of `generation`;
    // nothing once the timeline was cleared or replaced. Clips only when
    // `withVideo` (a document still being restored holds them already).
    void addTo(ProjectDocument &document, const QUuid &generation, bool withVideo) const;

private:
    QUuid m_generation;
    std::optional<QList<VideoSegment>> m_savedVideoSegments;
    QList<SegmentData> m_savedSegments;
    QList<VideoFileRef> m_videoFiles;
    QList<GPXFileRef> m_gpxFiles;
    QSet<QString> m_readTrackIDs;
};

} // namespace routereel
