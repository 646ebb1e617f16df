#pragma once

#include "projectdocument.h"

#include "timeline/videosegment.h"
#include "media/videosource.h"

#include <QFutureWatcher>
#include <QList>
#include <QObject>
#include <QUrl>
#include <QUuid>

#include <optional>

namespace routereel {

// The state of one asynchronous restore of a project's video files: the files
// still to probe, the sources loaded so far, and what the restore must check
// after every probe (its cancellation and the timeline's import generation).
class VideoRestoreTask : public QObject {
    Q_OBJECT

public:
    struct Reference {
        QUuid sourceID;
        QUrl url;
    };

    VideoRestoreTask(QList<Reference> references, QUuid generation,
                     std::optional<QList<VideoSegment>> savedSegments, double playheadTime, QObject *parent);

    void cancel() { m_cancelled = true; }
    bool isCancelled() const { return m_cancelled; }

    const QList<Reference> references;
    const QUuid generation;
    const std::optional<QList<VideoSegment>> savedSegments;
    const double playheadTime;

    // The document's video as saved, written at a quit that comes before the restore ends.
    std::optional<QList<VideoFileRef>> savedFiles;

    qsizetype next = 0;
    QList<VideoSource> loaded;
    QFutureWatcher<VideoSource> watcher;

private:
    bool m_cancelled = false;
};

} // namespace routereel
