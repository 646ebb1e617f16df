#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace routereel {

// The window's modal file panels for project files (type "rrl" only);
// implemented by the main window and faked by tests.
class ProjectFilePanels {
public:
    virtual ~ProjectFilePanels() = default;
    // A save panel proposing `proposedName`, opened in `folder` when it is not
    // empty. Nothing when the user cancels.
    virtual std::optional<QUrl> chooseSaveLocation(const QString &proposedName, const QString &folder) = 0;
    // An open panel for a single project file. Nothing when the user cancels.
    virtual std::optional<QUrl> chooseProjectToOpen() = 0;
};

} // namespace routereel
