#pragma once

#include <QString>

// Shell scripts that stand in for ffmpeg in tests of discovery, probing and failures.
namespace testsupport {

struct FakeFfmpegSpec {
    int versionExit = 0;                          // status of "-version"
    QString encoders = QStringLiteral(" V....D libx264              libx264 H.264 / AVC\n");
    int encodersExit = 0;                         // status of "-hide_banner -encoders"
    QString requiredLibraryPath;                  // "-version" fails unless LD_LIBRARY_PATH begins with it
    QString callLog;                              // when set, every call appends its arguments as one line
    QString stderrText;                           // any other call: drains stdin, prints this to stderr
    int runExit = 0;                              // ... and exits with this status
};

// Writes an executable script at `path` (its folder must exist); returns false on failure.
bool writeFakeFfmpeg(const QString &path, const FakeFfmpegSpec &spec = {});

// Single-quotes `text` for /bin/sh.
QString shellQuote(const QString &text);

} // namespace testsupport
