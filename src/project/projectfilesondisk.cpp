#include "projectfilesondisk.h"

#include "projectsession.h"

#include "tracks/gpxservice.h"

#include <QFileInfo>

namespace routereel {

ProjectFilesOnDisk ProjectFilesOnDisk::of(const ProjectDocument &document)
{
    ProjectFilesOnDisk found;
    const auto look = [&](const std::optional<QString> &bookmark, const QString &path, bool isTrack) {
        const auto url = ProjectSession::resolveFileReference(bookmark, path, isTrack);
        if (!url)
            return;
        const QString local = url->toLocalFile();
        const bool isFile = QFileInfo(local).isFile();
        found.m_isFile.insert(local, isFile);
        if (isTrack && isFile && found.m_tracks.find(local) == found.m_tracks.end())
            found.m_tracks.emplace(local, GPXService::loadTrack(*url));
    };
    if (document.videoFiles) {
        for (const VideoFileRef &ref : *document.videoFiles)
            look(ref.bookmark, ref.path, false);
    } else if (document.videoPath) {
        look(document.videoBookmark, *document.videoPath, false);
    }
    for (const GPXFileRef &ref : document.gpxFiles)
        look(ref.bookmark, ref.path, true);
    return found;
}

const TrackResult<GPXTrack> *ProjectFilesOnDisk::track(const QString &path) const
{
    const auto it = m_tracks.find(path);
    return it == m_tracks.end() ? nullptr : &it->second;
}

} // namespace routereel
