#pragma once

#include <QList>

namespace testsupport {

// The children of `pid` named "ffmpeg".
QList<qint64> ffmpegChildren(qint64 pid);

// True while a thread of `pid` sits in a read of its standard input: ffmpeg
// waiting for the next frame on its pipe.
bool waitsOnItsInput(qint64 pid);

} // namespace testsupport
