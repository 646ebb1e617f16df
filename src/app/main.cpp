#include "applicationshell.h"
#include "singleinstance.h"

#include "export/exportshutdown.h"
#include "maps/views/webmapruntime.h"
#include "ui/main/interfacelanguage.h"
#include "ui/main/mainwindow.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>

#include <unistd.h>

namespace {

// Qt warns on every start when the runtime folder is missing (root under Xvfb, CI).
void ensureRuntimeDir()
{
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        return;
    const QString dir = QDir::tempPath() + QStringLiteral("/routereel-runtime-") + QString::number(getuid());
    QDir().mkpath(dir);
    QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", dir.toLocal8Bit());
}

} // namespace

int main(int argc, char *argv[])
{
    ensureRuntimeDir();
    routereel::prepareWebMapRuntime();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("routereel"));
    // Settings in ~/.config/routereel/routereel.conf.
    QApplication::setOrganizationName(QStringLiteral("routereel"));
    QApplication::setApplicationVersion(QStringLiteral(ROUTEREEL_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("routereel"));

    // A routereel already runs for this user: it opens the files, this launch ends.
    const QList<QUrl> files = routereel::SingleInstance::urlsFromArguments(QApplication::arguments());
    routereel::SingleInstance instance(routereel::SingleInstance::defaultName());
    switch (instance.claim(files)) {
    case routereel::SingleInstance::Claim::handedOver:
        return 0;
    case routereel::SingleInstance::Claim::unanswered:
        // A second window would write over the first one's last session.
        routereel::InterfaceLanguage::install(routereel::InterfaceLanguage::stored());
        QMessageBox::critical(nullptr, QStringLiteral("routereel"), routereel::SingleInstance::unansweredMessage());
        return 1;
    case routereel::SingleInstance::Claim::listening:
    case routereel::SingleInstance::Claim::alone:
        break;
    }

    QApplication::setStyle(QStringLiteral("Fusion"));
    // The stored language before any window exists, so every text starts in it.
    routereel::InterfaceLanguage::install(routereel::InterfaceLanguage::stored());
    // Staging folders of a run that was killed go; a signal cancels running exports before the app ends.
    routereel::ExportShutdown::prepareProcess();

    routereel::MainWindow window;
    routereel::ApplicationShell shell(window);
    shell.attach(instance);
    shell.openURLs(files);
    window.show();
    return app.exec();
}
