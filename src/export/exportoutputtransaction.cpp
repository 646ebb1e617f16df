#include "exportoutputtransaction.h"

#include "exportstagingrecord.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace routereel {

namespace {

// An absolute path without "." and "..", with the symbolic links of its
// existing leading part resolved (the rest may not exist yet).
QString resolvedPath(const QString &path)
{
    QString clean = QDir::cleanPath(QDir::current().absoluteFilePath(path));
    QStringList missing;
    QString existing = clean;
    while (!QFileInfo::exists(existing)) {
        const QFileInfo info(existing);
        // A dangling symbolic link: keep its own path.
        if (info.isSymLink())
            break;
        const QString parent = info.path();
        if (parent == existing)
            return clean;
        missing.prepend(info.fileName());
        existing = parent;
    }
    QString resolved = QFileInfo(existing).canonicalFilePath();
    if (resolved.isEmpty())
        resolved = existing;
    for (const QString &component : missing)
        resolved = QDir(resolved).filePath(component);
    return resolved;
}

QString systemErrorText(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

// Where the output goes: a symbolic link to an existing file is followed to
// that file, so the link stays; anything else is the path itself.
QString targetOf(const QString &destination)
{
    const QFileInfo info(QDir::current().absoluteFilePath(destination));
    if (info.isSymLink()) {
        const QString resolved = info.canonicalFilePath();
        if (!resolved.isEmpty())
            return resolved;
    }
    return info.absoluteFilePath();
}

// Whatever exists at `path`, links followed, is a regular file or nothing.
bool isRegularOrAbsent(const QString &path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) == 0)
        return S_ISREG(st.st_mode);
    // A loop of links is no file either; a missing file is what a new export makes.
    return errno != ELOOP;
}

} // namespace

QString ExportOutputTransaction::Failure::message() const
{
    switch (kind) {
    case Kind::sourceOverwrite:
        return QCoreApplication::translate("ExportOutputTransaction",
                                           "Choose an export location different from your source files.");
    case Kind::stagingFolder:
        return QCoreApplication::translate("ExportOutputTransaction",
                                           "Could not create a temporary folder in %1: %2")
            .arg(path, systemErrorText(errorCode));
    case Kind::noStagingFile:
        return QCoreApplication::translate("ExportOutputTransaction", "FFmpeg finished without writing a video file.");
    case Kind::rename:
        return QCoreApplication::translate("ExportOutputTransaction", "Could not save the video as %1: %2")
            .arg(path, systemErrorText(errorCode));
    case Kind::notRegularFile:
        return QCoreApplication::translate("ExportOutputTransaction",
                                           "Cannot export to %1: it is not a regular file (a folder, a device or a "
                                           "pipe). Choose another export location.")
            .arg(path);
    }
    return {};
}

ExportOutputTransaction::ExportOutputTransaction(QString destination, QString target, QStringList protectedPaths,
                                                 QString directory)
    : m_stagingPath(QDir(directory).filePath(QLatin1String(videoFileName)))
    , m_directory(std::move(directory))
    , m_destination(std::move(destination))
    , m_target(std::move(target))
    , m_protectedPaths(std::move(protectedPaths))
{
}

QString ExportOutputTransaction::filterScriptPath() const
{
    return QDir(m_directory).filePath(QLatin1String(filterScriptFileName));
}

std::optional<ExportOutputTransaction::Failure> ExportOutputTransaction::refusal(const QString &destination,
                                                                                 const QStringList &protectedPaths)
{
    for (const QString &source : protectedPaths) {
        if (isSameFile(source, destination))
            return Failure{Failure::Kind::sourceOverwrite, 0, destination};
    }
    if (!isRegularOrAbsent(destination))
        return Failure{Failure::Kind::notRegularFile, 0, destination};
    return std::nullopt;
}

std::unique_ptr<ExportOutputTransaction> ExportOutputTransaction::begin(const QString &destination,
                                                                        const QStringList &protectedPaths,
                                                                        Failure *failure)
{
    if (const auto refused = refusal(destination, protectedPaths)) {
        if (failure)
            *failure = *refused;
        return nullptr;
    }
    // A folder next to the file that is replaced is on its file system, so the
    // final rename is atomic and never copies.
    const QString target = targetOf(destination);
    const QString parent = QFileInfo(target).absolutePath();
    QByteArray pattern = QFile::encodeName(QDir(parent).filePath(QStringLiteral(".routereel-export-XXXXXX")));
    if (!::mkdtemp(pattern.data())) {
        if (failure)
            *failure = {Failure::Kind::stagingFolder, errno, parent};
        return nullptr;
    }
    std::unique_ptr<ExportOutputTransaction> transaction(
        new ExportOutputTransaction(destination, target, protectedPaths, QFile::decodeName(pattern)));
    transaction->m_record = ExportStagingRecord::create(transaction->m_directory);
    return transaction;
}

ExportOutputTransaction::~ExportOutputTransaction()
{
    QDir(m_directory).removeRecursively();
    struct stat st {};
    const bool found = ::lstat(QFile::encodeName(m_directory).constData(), &st) == 0;
    if (!found && errno == ENOENT)
        return;  // the note goes with the record
    // A share that dropped out answers nothing now: its note stays until the folder is gone.
    const int error = found ? ENOTEMPTY : errno;
    qWarning().noquote() << "[VideoExporter] the staging folder" << m_directory
                         << "could not be removed now; it is removed once its folder answers again:"
                         << systemErrorText(error);
    if (m_record) {
        m_record->handToSweep();
        ExportStagingRecord::sweepSoon();
    }
}

std::optional<ExportOutputTransaction::Failure> ExportOutputTransaction::commit()
{
    // The destination may have changed while ffmpeg ran.
    if (const auto refused = refusal(m_destination, m_protectedPaths))
        return refused;
    struct stat staged {};
    if (::lstat(QFile::encodeName(m_stagingPath).constData(), &staged) != 0)
        return Failure{Failure::Kind::noStagingFile, ENOENT, m_stagingPath};
    if (::rename(QFile::encodeName(m_stagingPath).constData(), QFile::encodeName(m_target).constData()) != 0)
        return Failure{Failure::Kind::rename, errno ? errno : EIO, m_destination};
    return std::nullopt;
}

bool ExportOutputTransaction::isSameFile(const QString &a, const QString &b)
{
    if (resolvedPath(a) == resolvedPath(b))
        return true;
    struct stat sa {};
    struct stat sb {};
    if (::stat(QFile::encodeName(a).constData(), &sa) != 0 || ::stat(QFile::encodeName(b).constData(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

} // namespace routereel
