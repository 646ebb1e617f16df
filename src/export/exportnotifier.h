#pragma once

#include <QString>

namespace routereel {

// Tells the user, outside the window, how an export ended. The desktop
// implementation lives with the views; tests record what would be shown.
class ExportNotifier {
public:
    virtual ~ExportNotifier() = default;
    virtual void postExportNotification(const QString &title, const QString &body) = 0;
};

} // namespace routereel
