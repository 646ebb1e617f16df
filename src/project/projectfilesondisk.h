#pragma once

#include "projectdocument.h"

#include "tracks/gpxtrack.h"
#include "tracks/trackresult.h"

#include <QHash>
#include <QString>

#include <map>

namespace routereel {

// The files a project names, as the disk has them: which of its video files
// exist, and its track files read and checked. Looked up off the window's thread
// (of() reads every track), so that applying the project reads nothing.
class ProjectFilesOnDisk {
public:
    // Any thread.
    static ProjectFilesOnDisk of(const ProjectDocument &document);

    bool isFile(const QString &path) const { return m_isFile.value(path, false); }
    // The track read from `path`; nothing when the project names no such file.
    const TrackResult<GPXTrack> *track(const QString &path) const;

private:
    QHash<QString, bool> m_isFile;
    std::map<QString, TrackResult<GPXTrack>> m_tracks;
};

} // namespace routereel
