#include "ffmpegruntime.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <cmath>
#include <csignal>
#include <map>
#include <mutex>
#include <sys/prctl.h>
#include <sys/stat.h>

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

// What a probe's answer depends on: the program file and the library folder
// beside it. Any change to either (replaced, touched, removed) asks again.
QByteArray probeIdentity(const QString &path)
{
    QByteArray identity = QFile::encodeName(path);
    for (const QString &file : {path, QFileInfo(path).absolutePath() + QStringLiteral("/lib")}) {
        struct stat s {};
        if (::stat(QFile::encodeName(file).constData(), &s) != 0) {
            identity += "|-";
            continue;
        }
        identity += QByteArray::number(quint64(s.st_dev)) + '|' + QByteArray::number(quint64(s.st_ino)) + '|'
            + QByteArray::number(qint64(s.st_size)) + '|' + QByteArray::number(qint64(s.st_mtim.tv_sec)) + '.'
            + QByteArray::number(qint64(s.st_mtim.tv_nsec)) + '|' + QByteArray::number(qint64(s.st_ctim.tv_sec))
            + '.' + QByteArray::number(qint64(s.st_ctim.tv_nsec));
    }
    return identity;
}

std::mutex encoderProbeLock;
std::map<QByteArray, bool> &encoderProbeCache()
{
    static std::map<QByteArray, bool> cache;
    return cache;
}

// Programs that answered "-version": probing starts a process, a tenth of a
// second at the start of every export. A failed probe is never kept, so a
// mended installation is found at once.
std::mutex usableLock;
std::map<QByteArray, bool> &usableCache()
{
    static std::map<QByteArray, bool> cache;
    return cache;
}

bool isUsable(const QString &path)
{
    const QByteArray identity = probeIdentity(path);
    {
        std::lock_guard guard(usableLock);
        if (usableCache().count(identity))
            return true;
    }
    if (!FFmpegRuntime::probeFFmpeg(path))
        return false;
    std::lock_guard guard(usableLock);
    usableCache()[identity] = true;
    return true;
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
    if (!bundled.isEmpty() && isUsable(bundled))
        return bundled;
    for (const QString &location : search.system) {
        if (QFileInfo(location).isFile() && isUsable(location))
            return location;
    }
    if (!search.commandPath.isEmpty()) {
        const QString found = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"), search.commandPath);
        if (!found.isEmpty() && isUsable(found))
            return found;
    }
    if (error)
        *error = ExportError::ffmpegNotFound();
    return {};
}

bool FFmpegRuntime::supportsLibx264(const QString &ffmpegPath)
{
    const QByteArray identity = probeIdentity(ffmpegPath);
    {
        std::lock_guard guard(encoderProbeLock);
        const auto found = encoderProbeCache().find(identity);
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
    encoderProbeCache()[identity] = supported;
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
