#pragma once

#include "exporterror.h"

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <optional>

namespace routereel {

// Where an ffmpeg executable is looked for, in this order.
struct FFmpegSearch {
    QStringList bundled;      // copies shipped with the application
    QStringList system;       // fixed system locations
    QStringList commandPath;  // folders of the user's command path (first ffmpeg found there)

    // Beside the application, then /usr/local/bin and /usr/bin, then $PATH.
    static FFmpegSearch standard();
};

// Finding, probing and talking to the external ffmpeg program. Blocking calls
// that start child processes: run them off the user-interface thread.
class FFmpegRuntime {
public:
    // The copies an installation may ship: "BundledTools/ffmpeg" beside the
    // executable, and under the installation's share/routereel folder.
    static QStringList bundledCandidates();
    // The first candidate that is an executable file; empty when none is.
    static QString resourceFFmpegPath(const QStringList &candidates = bundledCandidates());

    // The environment of every ffmpeg child: `base`, with a "lib" folder that
    // lies beside the executable put first on LD_LIBRARY_PATH.
    static QProcessEnvironment ffmpegEnvironment(const QString &ffmpegPath,
                                                 const QProcessEnvironment &base
                                                 = QProcessEnvironment::systemEnvironment());
    // Sets `name` to `folder`, followed by ":" and the old value (trimmed) when there is one.
    static void prependLibraryPath(QProcessEnvironment &environment, const QString &name, const QString &folder);

    // Whether the program at `path` runs "-version" and exits with status 0.
    static bool probeFFmpeg(const QString &path);

    // The first usable ffmpeg of `search`; empty, with ExportError::ffmpegNotFound
    // in `error`, when there is none. A program that answered is not probed again
    // while it and the library folder beside it stay unchanged.
    static QString locateFFmpeg(ExportError *error = nullptr, const FFmpegSearch &search = FFmpegSearch::standard());

    // Whether that ffmpeg lists the libx264 encoder; probed once per path while it stays unchanged.
    static bool supportsLibx264(const QString &ffmpegPath);
    // An error that names the missing encoder, when that ffmpeg cannot encode H.264 with libx264.
    static std::optional<ExportError> requireLibx264(const QString &ffmpegPath);

    // The frame rate as written after "-r": "24000/1001", "30", "12.5"...
    static QString ffmpegFrameRate(double fps);
};

} // namespace routereel
