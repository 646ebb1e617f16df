#pragma once

#include "projectfilesondisk.h"
#include "projectsession.h"

namespace routereel {

// What reading one project file gave: the document and its files, or why not.
struct ProjectSession::ReadOutcome {
    enum class Kind { ok, missing, unreadable, readError, undecodable, newerVersion, invalid };
    Kind kind = Kind::unreadable;
    std::optional<ProjectDocument> document;
    std::optional<ProjectFilesOnDisk> files;
    qint64 version = 0;
    QString message;  // what the user is told when an open fails
};

} // namespace routereel
