#pragma once

#include "support/loopbackmapservice.h"
#include "support/waitfor.h"
#include "tracks/trackpoint.h"

#include <QCoreApplication>
#include <QImage>
#include <QString>

#include <functional>
#include <memory>

class QWebEnginePage;

namespace webmaptest {

using testsupport::startMapService;
using testsupport::waitFor;

using testsupport::runInBackground;

// The page's answer to `script`, waiting for it at most ten seconds.
QVariant evaluate(QWebEnginePage *page, const QString &script);

// A wavy route of `n` points through Berlin.
QList<routereel::TrackPoint> route(int n);

// The loopback map service, with the map services pointed at it while it lives;
// when it answers, export pages wait for it as long as they need.
struct ServiceScope {
    std::unique_ptr<testsupport::LoopbackHttpServer> server;
    explicit ServiceScope(bool answerStyle = true);
    ~ServiceScope();
};

// MapLibre needs WebGL, which the offscreen platform lacks: those tests run under Xvfb.
bool webGLAvailable();

#define REQUIRE_WEBGL()                                                                                      \
    if (!webmaptest::webGLAvailable())                                                                       \
    GTEST_SKIP() << "web maps need a display with WebGL: run under xvfb-run -a -s \"-screen 0 1920x1080x24\""

} // namespace webmaptest
