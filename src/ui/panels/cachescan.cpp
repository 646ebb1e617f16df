#include "cachescan.h"

#include "maps/tilecache.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QStandardPaths>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace routereel {

QString cacheClearErrorMessage(CacheClearError error)
{
    switch (error) {
    case CacheClearError::notAFolder:
        return QCoreApplication::translate("CacheClearError", "The item is no longer a folder; it was left alone.");
    case CacheClearError::notOwned:
        return QCoreApplication::translate("CacheClearError", "The item belongs to another user; it was left alone.");
    case CacheClearError::removeFailed:
        return QCoreApplication::translate("CacheClearError", "Some files could not be deleted.");
    }
    return {};
}

namespace cachescan {

namespace {

// An owned real directory (no link) right at `path`.
bool isOwnDirectory(const QString &path)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
}

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Removes everything inside the open folder `dir`, links as links; false when something stayed.
bool removeContents(int dir, int depth, QString &reason)
{
    if (depth > 256) {
        reason = systemReason(ELOOP);
        return false;
    }
    std::vector<std::string> names;
    {
        const int copy = ::dup(dir);
        DIR *stream = copy >= 0 ? ::fdopendir(copy) : nullptr;
        if (!stream) {
            reason = systemReason(errno);
            if (copy >= 0)
                ::close(copy);
            return false;
        }
        while (const dirent *entry = ::readdir(stream)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        ::closedir(stream);
    }
    bool ok = true;
    for (const std::string &name : names) {
        struct stat st {};
        if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT) {
                reason = systemReason(errno);
                ok = false;
            }
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            const int sub = ::openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub < 0) {
                reason = systemReason(errno);
                ok = false;
                continue;
            }
            ok = removeContents(sub, depth + 1, reason) && ok;
            ::close(sub);
            if (::unlinkat(dir, name.c_str(), AT_REMOVEDIR) != 0) {
                reason = systemReason(errno);
                ok = false;
            }
        } else if (::unlinkat(dir, name.c_str(), 0) != 0 && errno != ENOENT) {
            reason = systemReason(errno);
            ok = false;
        }
    }
    return ok;
}

} // namespace

std::optional<DirectorySize> directorySize(const QString &path)
{
    if (path.isEmpty() || !QFileInfo::exists(path))
        return std::nullopt;
    DirectorySize total;
    // Without FollowSymlinks the walk never enters a linked folder.
    QDirIterator walk(path, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                      QDirIterator::Subdirectories);
    while (walk.hasNext()) {
        walk.next();
        const QFileInfo info = walk.fileInfo();
        if (info.isSymLink() || !info.isFile())
            continue;
        total.bytes += info.size();
        ++total.files;
    }
    if (total.files == 0)
        return std::nullopt;
    return total;
}

std::optional<DirectorySize> tileCacheSize(const QString &root)
{
    DirectorySize total;
    for (const TileCache::DiskFile &file : TileCache::diskFiles(root, true)) {
        total.bytes += file.size;
        ++total.files;
    }
    if (total.files == 0)
        return std::nullopt;
    return total;
}

QString tileRoot(const TileCache &tiles)
{
    if (tiles.options().root.isEmpty()
        && QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation).isEmpty())
        return {};
    const QString root = tiles.rootPath();
    return QDir::isAbsolutePath(root) ? root : QString();
}

QList<CacheEntry> scan(const QString &tileRoot, const QString &tempDir)
{
    QList<CacheEntry> entries;
    if (const auto size = tileCacheSize(tileRoot)) {
        CacheEntry entry;
        entry.kind = CacheEntry::Kind::tileCache;
        entry.path = tileRoot;
        entry.size = size->bytes;
        entry.fileCount = size->files;
        entries << entry;
    }
    if (tempDir.isEmpty())
        return entries;
    const QDir temp(tempDir);
    const QStringList names =
        temp.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QString &name : names) {
        if (!name.startsWith(QLatin1String(exportTempPrefix)))
            continue;
        const QString path = temp.filePath(name);
        // Another user's item, a link planted to a folder elsewhere or a plain file: not ours to list.
        if (!isOwnDirectory(path))
            continue;
        const auto size = directorySize(path);
        if (!size)
            continue;
        CacheEntry entry;
        entry.kind = CacheEntry::Kind::exportTemp;
        entry.path = path;
        entry.itemName = name;
        entry.size = size->bytes;
        entry.fileCount = size->files;
        entries << entry;
    }
    return entries;
}

std::optional<CacheClearFailure> removeTempItem(const QString &path)
{
    const QFileInfo info(path);
    const QByteArray parentPath = QFile::encodeName(info.absolutePath());
    const QByteArray name = QFile::encodeName(info.fileName());
    const int parent = ::open(parentPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parent < 0)
        return CacheClearFailure{CacheClearError::removeFailed, systemReason(errno), {}};
    std::optional<CacheClearFailure> failure;
    struct stat st {};
    if (::fstatat(parent, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        // Gone already: nothing is left to clear.
        if (errno != ENOENT)
            failure = CacheClearFailure{CacheClearError::removeFailed, systemReason(errno), {}};
        ::close(parent);
        return failure;
    }
    // Opened without following a link, then checked on the open folder itself, so that
    // nothing swapped in between the check and the removal is entered.
    const int dir = S_ISDIR(st.st_mode)
        ? ::openat(parent, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)
        : -1;
    if (dir < 0) {
        ::close(parent);
        return CacheClearFailure{CacheClearError::notAFolder, {}, {}};
    }
    if (::fstat(dir, &st) != 0 || st.st_uid != ::geteuid()) {
        ::close(dir);
        ::close(parent);
        return CacheClearFailure{CacheClearError::notOwned, {}, {}};
    }
    QString reason;
    const bool emptied = removeContents(dir, 0, reason);
    ::close(dir);
    if (!emptied)
        failure = CacheClearFailure{CacheClearError::removeFailed, reason, {}};
    else if (::unlinkat(parent, name.constData(), AT_REMOVEDIR) != 0 && errno != ENOENT)
        failure = CacheClearFailure{CacheClearError::removeFailed, systemReason(errno), {}};
    ::close(parent);
    return failure;
}

std::optional<CacheClearFailure> clear(const CacheEntry &entry, TileCache &tiles)
{
    const bool isTiles = entry.kind == CacheEntry::Kind::tileCache;
    std::optional<CacheClearFailure> failure;
    if (!isTiles)
        failure = removeTempItem(entry.path);
    else if (!tiles.clear())
        failure = CacheClearFailure{CacheClearError::removeFailed, {}, {}};
    // A row that stays shows what is really left, not what the scan found; none when
    // nothing could be read there (a folder that does not answer).
    if (failure)
        failure->left = isTiles ? tileCacheSize(entry.path) : directorySize(entry.path);
    return failure;
}

} // namespace cachescan

} // namespace routereel
