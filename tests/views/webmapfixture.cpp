#include "webmapfixture.h"

#include "maps/views/webmapruntime.h"
#include "support/waitfor.h"

#include <QGuiApplication>

namespace webmaptest {

namespace {
// Before the test main creates the QApplication.
const bool runtimePrepared = (routereel::prepareWebMapRuntime(), true);
} // namespace

bool waitFor(const std::function<bool()> &done, int timeoutMs)
{
    return testsupport::waitFor(done, timeoutMs);
}

bool webGLAvailable()
{
    return QGuiApplication::platformName() != QLatin1String("offscreen")
        && QGuiApplication::platformName() != QLatin1String("minimal");
}


} // namespace webmaptest
