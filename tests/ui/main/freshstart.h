#pragma once

#include "project/projectsession.h"

#include <QFile>
#include <QSettings>

namespace testsupport {

// Settings and last session of a first start, before the window reads them.
struct FreshStart {
    FreshStart()
    {
        QSettings().clear();
        QFile::remove(*routereel::ProjectSession::lastSessionPath());
    }
};

} // namespace testsupport
