#include "ffmpegruntime.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <cmath>
#include <csignal>
#include <map>
#include <mutex>
#include <sys/prctl.h>

namespace routereel {

namespace {

// A hung candidate must not hang the export.
constexpr int probeTimeoutMs = 30'000;

struct ProbeRun {
    bool succeeded = false;  // started and exited with status 0
    QByteArray output;
};

ProbeRun runProbe(const QString &path, const QStringList &arguments, bool readOutput)
{
    QProcess process;
    process.setProcessEnvironment(FFmpegRuntime::ffmpegEnvironment(path));
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    if (!readOutput)
        process.setStandardOutputFile(QProcess::nullDevice());
    // A probe never outlives the application.
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    process.start(path, arguments);
    if (!process.waitForStarted(probeTimeoutMs))
        return {};
    if (!process.waitForFinished(probeTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    ProbeRun run;
    run.succeeded = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (readOutput)
        run.output = process.readAllStandardOutput();
    return run;
}

std::mutex encoderProbeLock;
std::map<QString, bool> &encoderProbeCache()
{
    static std::map<QString, bool> cache;
    return cache;
}

} // namespace

FFmpegSearch FFmpegSearch::standard()
{
    FFmpegSearch search;
    search.bundled = FFmpegRuntime::bundledCandidates();
    search.system = {QStringLiteral("/usr/local/bin/ffmpeg"), QStringLiteral("/usr/bin/ffmpeg")};
    const QString path = qEnvironmentVariable("PATH");
    search.commandPath = path.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    return search;
}

QStringList FFmpegRuntime::bundledCandidates()
{
    if (!QCoreApplication::instance())
        return {};
    const QString appDir = QCoreApplication::applicationDirPath();
    return {QDir::cleanPath(appDir + QStringLiteral("/BundledTools/ffmpeg")),
            QDir::cleanPath(appDir + QStringLiteral("/../share/routereel/BundledTools/ffmpeg"))};
}

QString FFmpegRuntime::resourceFFmpegPath(const QStringList &candidates)
{
    for (const QString &candidate : candidates) {
        const QFileInfo info(candidate);
        if (info.isFile() && info.isExecutable())
            return candidate;
    }
    return {};
}

QProcessEnvironment FFmpegRuntime::ffmpegEnvironment(const QString &ffmpegPath, const QProcessEnvironment &base)
{
    QProcessEnvironment environment = base;
    const QString libraryFolder = QFileInfo(ffmpegPath).absoluteDir().filePath(QStringLiteral("lib"));
    if (QFileInfo::exists(libraryFolder))
        prependLibraryPath(environment, QStringLiteral("LD_LIBRARY_PATH"), libraryFolder);
    return environment;
}

void FFmpegRuntime::prependLibraryPath(QProcessEnvironment &environment, const QString &name, const QString &folder)
{
    QStringList parts;
    if (!folder.isEmpty())
        parts << folder;
    if (environment.contains(name)) {
        const QString old = environment.value(name).trimmed();
        if (!old.isEmpty())
            parts << old;
    }
    environment.insert(name, parts.join(QLatin1Char(':')));
}

bool FFmpegRuntime::probeFFmpeg(const QString &path)
{
    return runProbe(path, {QStringLiteral("-version")}, false).succeeded;
}

QString FFmpegRuntime::locateFFmpeg(ExportError *error, const FFmpegSearch &search)
{
    const QString bundled = resourceFFmpegPath(search.bundled);
    if (!bundled.isEmpty() && probeFFmpeg(bundled))
        return bundled;
    for (const QString &location : search.system) {
        if (QFileInfo(location).isFile() && probeFFmpeg(location))
            return location;
    }
    if (!search.commandPath.isEmpty()) {
        const QString found = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"), search.commandPath);
        if (!found.isEmpty() && probeFFmpeg(found))
            return found;
    }
    if (error)
        *error = ExportError::ffmpegNotFound();
    return {};
}

bool FFmpegRuntime::supportsLibx264(const QString &ffmpegPath)
{
    {
        std::lock_guard guard(encoderProbeLock);
        const auto found = encoderProbeCache().find(ffmpegPath);
        if (found != encoderProbeCache().end())
            return found->second;
    }
    // The probe runs outside the lock; two concurrent probes of one path agree.
    const ProbeRun run = runProbe(ffmpegPath, {QStringLiteral("-hide_banner"), QStringLiteral("-encoders")}, true);
    bool supported = false;
    if (run.succeeded) {
        // Lines read "<flags> <name> <description>"; libx264rgb is no substitute.
        for (const QString &line : QString::fromUtf8(run.output).split(QLatin1Char('\n'))) {
            const QStringList fields = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
            if (fields.size() >= 2 && fields.at(1) == QStringLiteral("libx264"))
                supported = true;
        }
    }
    std::lock_guard guard(encoderProbeLock);
    encoderProbeCache()[ffmpegPath] = supported;
    return supported;
}

std::optional<ExportError> FFmpegRuntime::requireLibx264(const QString &ffmpegPath)
{
    if (supportsLibx264(ffmpegPath))
        return std::nullopt;
    return ExportError::ffmpegError(
        QCoreApplication::translate("ExportError",
                                    "%1 has no libx264 H.264 encoder. Install an FFmpeg built with libx264.")
            .arg(ffmpegPath));
}

QString FFmpegRuntime::ffmpegFrameRate(double fps)
{
    if (std::abs(fps - 24000.0 / 1001) < 0.01)
        return QStringLiteral("24000/1001");
    if (std::abs(fps - 30000.0 / 1001) < 0.01)
        return QStringLiteral("30000/1001");
    if (std::abs(fps - 60000.0 / 1001) < 0.01)
        return QStringLiteral("60000/1001");
    // asprintf formats in the C locale whatever the process locale is.
    if (std::abs(fps - std::round(fps)) < 0.001)
        return QString::asprintf("%.0f", fps);
    return QString::asprintf("%g", fps);
}

} // namespace routereel
