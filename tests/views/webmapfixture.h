#pragma once

#include "support/loopbackmapservice.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFuture>
#include <QImage>
#include <QString>
#include <QtConcurrent>

#include <functional>
#include <memory>

namespace webmaptest {

struct MapService {
    std::unique_ptr<testsupport::LoopbackHttpServer> server;
    QUrl styleUrl() const { return QUrl(server->baseUrl().toString() + QStringLiteral("/styles/liberty")); }
};

using testsupport::startMapService;
using testsupport::styleUrlOf;
using testsupport::tilePng;

// Runs `work` on a pool thread while the main thread keeps serving the pages.
template <typename T>
T runInBackground(std::function<T()> work, int timeoutMs = 120000)
{
    QFuture<T> future = QtConcurrent::run(work);
    QElapsedTimer clock;
    clock.start();
    while (!future.isFinished() && clock.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    future.waitForFinished();
    return future.result();
}

// Spins the event loop until `done` or the timeout; returns `done()`.
bool waitFor(const std::function<bool()> &done, int timeoutMs = 60000);

// MapLibre needs WebGL, which the offscreen platform lacks: those tests run under Xvfb.
bool webGLAvailable();

#define REQUIRE_WEBGL()                                                                                      \
    if (!webmaptest::webGLAvailable())                                                                       \
    GTEST_SKIP() << "web maps need a display with WebGL: run under xvfb-run -a -s \"-screen 0 1920x1080x24\""


} // namespace webmaptest
