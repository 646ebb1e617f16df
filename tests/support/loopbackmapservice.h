#pragma once

#include "loopbackhttpserver.h"

#include <QByteArray>
#include <QColor>
#include <QUrl>

#include <memory>

// A loopback map service for the web maps: a small style with a raster source
// and an empty symbol layer whose labels use names, and 256-px raster tiles
// that show their own z/x/y.
namespace testsupport {

QByteArray tilePng(int z, int x, int y);
// A 512-px tile of one colour, so that tests can find the map in a frame.
QByteArray solidTilePng(const QColor &colour);
// `answerStyle` false: the style request is read and never answered.
std::unique_ptr<LoopbackHttpServer> startMapService(bool answerStyle = true);
QUrl styleUrlOf(const LoopbackHttpServer &server);

} // namespace testsupport
