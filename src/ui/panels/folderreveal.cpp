#include "folderreveal.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>

namespace routereel {

namespace {

void openParentFolder(const QUrl &file)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(file.toLocalFile()).absolutePath()));
}

} // namespace

void showInFolder(const QUrl &file, const QDBusConnection &bus)
{
    if (!file.isLocalFile())
        return;
    if (!bus.isConnected()) {
        openParentFolder(file);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{file.toString(QUrl::FullyEncoded)} << QString();
    // Asynchronous: a file manager that is slow to start must not hold the window.
    auto *watcher = new QDBusPendingCallWatcher(QDBusConnection(bus).asyncCall(call, 10'000));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [file](QDBusPendingCallWatcher *w) {
        if (w->isError())
            openParentFolder(file);
        w->deleteLater();
    });
}

} // namespace routereel
