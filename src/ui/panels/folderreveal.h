#pragma once

#include <QDBusConnection>
#include <QUrl>

namespace routereel {

// Shows a file in the desktop's file manager, selected (the freedesktop
// FileManager1 service on `bus`); when there is none or it fails, opens the
// folder that holds the file. Never opens the file itself. Returns at once.
void showInFolder(const QUrl &file, const QDBusConnection &bus = QDBusConnection::sessionBus());

} // namespace routereel
