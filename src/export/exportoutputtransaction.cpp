#include "exportoutputtransaction.h"

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
    }
    return {};
}

ExportOutputTransaction::ExportOutputTransaction(QString destination, QStringList protectedPaths, QString directory)
    : m_stagingPath(QDir(directory).filePath(QStringLiteral("video.mp4")))
    , m_directory(std::move(directory))
    , m_destination(std::move(destination))
    , m_protectedPaths(std::move(protectedPaths))
{
}

std::unique_ptr<ExportOutputTransaction> ExportOutputTransaction::begin(const QString &destination,
                                                                        const QStringList &protectedPaths,
                                                                        Failure *failure)
{
    for (const QString &source : protectedPaths) {
        if (isSameFile(source, destination)) {
            if (failure)
                *failure = {Failure::Kind::sourceOverwrite, 0, destination};
            return nullptr;
        }
    }
    // A folder next to the destination is on its file system, so the final
    // rename is atomic and never copies.
    const QString parent = QFileInfo(QDir::current().absoluteFilePath(destination)).absolutePath();
    QByteArray pattern = QFile::encodeName(QDir(parent).filePath(QStringLiteral(".routereel-export-XXXXXX")));
    if (!::mkdtemp(pattern.data())) {
        if (failure)
            *failure = {Failure::Kind::stagingFolder, errno, parent};
        return nullptr;
    }
    return std::unique_ptr<ExportOutputTransaction>(
        new ExportOutputTransaction(destination, protectedPaths, QFile::decodeName(pattern)));
}

ExportOutputTransaction::~ExportOutputTransaction()
{
    QDir(m_directory).removeRecursively();
}

bool ExportOutputTransaction::destinationIsProtected() const
{
    for (const QString &source : m_protectedPaths) {
        if (isSameFile(source, m_destination))
            return true;
    }
    return false;
}

std::optional<ExportOutputTransaction::Failure> ExportOutputTransaction::commit()
{
    if (destinationIsProtected())
        return Failure{Failure::Kind::sourceOverwrite, 0, m_destination};
    struct stat staged {};
    if (::lstat(QFile::encodeName(m_stagingPath).constData(), &staged) != 0)
        return Failure{Failure::Kind::noStagingFile, ENOENT, m_stagingPath};
    if (::rename(QFile::encodeName(m_stagingPath).constData(), QFile::encodeName(m_destination).constData()) != 0)
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
