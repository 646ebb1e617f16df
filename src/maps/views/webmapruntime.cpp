#include "maps/views/webmapruntime.h"

#include "maps/views/maplibschemehandler.h"
#include "maps/views/webmapexportpage.h"
#include "maps/webmappage.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QWebEngineUrlScheme>

#include <unistd.h>

namespace routereel {

void prepareWebMapRuntime()
{
    static bool done = false;
    if (done)
        return;
    done = true;

    // Chromium refuses to start its sandbox as root.
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");

    // Software GL (Mesa llvmpipe, Xvfb) is on Chromium's block list; without the
    // flag the map canvas gets no WebGL context at all.
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (!flags.contains("--ignore-gpu-blocklist")) {
        if (!flags.isEmpty())
            flags += ' ';
        flags += "--ignore-gpu-blocklist";
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
    }

    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    MapLibSchemeHandler::registerScheme();
    setWebMapPageFactory(&WebMapExportPage::create);
}

} // namespace routereel
