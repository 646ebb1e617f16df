#include "exporttask.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace routereel {

QString ExportTask::title() const
{
    if (compositionMode == CompositionMode::overlay)
        return QCoreApplication::translate("ExportTask", "Overlay");
    return videoURL.isEmpty() ? QString() : videoURL.fileName();
}

double ExportTask::frameRate() const
{
    return videoFPS > 0 ? videoFPS : 30;
}

QStringList ExportTask::protectedFilePaths() const
{
    QStringList paths;
    const auto add = [&paths](const QUrl &url) {
        const QString path = url.isLocalFile() ? url.toLocalFile() : QString();
        if (!path.isEmpty() && !paths.contains(path))
            paths.append(path);
    };
    // Overlay exports read no video, but the user's clips must survive a
    // mistaken choice of destination all the same.
    if (videoTimeline) {
        for (const VideoSource &source : videoTimeline->sources)
            add(source.url);
    }
    add(videoURL);
    for (const GPXTrack &track : tracks)
        add(track.fileURL);
    for (const QString &path : protectedFiles)
        add(QUrl::fromLocalFile(path));
    return paths;
}

} // namespace routereel
