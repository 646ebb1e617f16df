#pragma once

#include "projectfilesondisk.h"
#include "projectsession.h"

namespace routereel {

// What reading one project file gave: the document and its files, or why not.
// Every outcome is named by the reader; none stands for another by default.
struct ProjectSession::ReadOutcome {
    enum class Kind {
        ok,
        missing,      // no file at the path
        tooLarge,     // over maximumFileSize: refused unread
        readError,    // the disk did not give the file (EIO, a share that dropped, no permission)
        undecodable,  // damaged: not a project document
        newerVersion,
        invalid,      // decoded, but its values fail validation
    };
    explicit ReadOutcome(Kind kind, QString message = {}) : kind(kind), message(std::move(message)) {}

    Kind kind;
    std::optional<ProjectDocument> document;
    std::optional<ProjectFilesOnDisk> files;
    qint64 version = 0;
    QString message;  // what the user is told when an open fails
};

} // namespace routereel
