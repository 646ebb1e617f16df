#include "atomicfile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace routereel {
namespace {

// write(2) may take fewer bytes than asked (a disk filling up) or be interrupted.
int writeAll(int fd, const char *data, qint64 size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(std::min<qint64>(size, qint64(1) << 30)));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return EIO;
        data += n;
        size -= n;
    }
    return 0;
}

int syncFile(int fd)
{
    while (::fsync(fd) != 0) {
        if (errno != EINTR)
            return errno;
    }
    return 0;
}

// A name of its own beside the target, hidden, so that writers of the same file never share one.
QByteArray temporaryName(const QByteArray &folder, const QByteArray &name)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QByteArray unique(8, '\0');
    for (char &c : unique)
        c = letters[QRandomGenerator::global()->bounded(int(sizeof letters - 1))];
    // Room for the additions within the usual 255-byte limit of a name.
    return folder + "/." + name.left(200) + '.' + unique + ".tmp";
}

} // namespace

std::optional<QString> writeFileAtomically(const QString &path, const QByteArray &bytes)
{
    const QFileInfo info(path);
    const QString canonical = info.isSymLink() ? info.canonicalFilePath() : QString();
    const QFileInfo target(canonical.isEmpty() ? path : canonical);
    const QByteArray targetPath = QFile::encodeName(target.absoluteFilePath());
    const QByteArray folder = QFile::encodeName(target.absolutePath());
    const QByteArray name = QFile::encodeName(target.fileName());

    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temporary = temporaryName(folder, name);
        fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST && errno != EINTR)
            break;
    }
    if (fd < 0)
        return qt_error_string(errno);

    int error = 0;
    // A replaced file keeps its permissions.
    struct stat existing;
    if (::stat(targetPath.constData(), &existing) == 0 && S_ISREG(existing.st_mode))
        ::fchmod(fd, existing.st_mode & 07777);
    error = writeAll(fd, bytes.constData(), bytes.size());
    if (!error)
        error = syncFile(fd);
    // Linux releases the descriptor even when close is interrupted; the data is synced by then.
    if (::close(fd) != 0 && !error && errno != EINTR)
        error = errno;
    if (!error && ::rename(temporary.constData(), targetPath.constData()) != 0)
        error = errno;
    if (error) {
        ::unlink(temporary.constData());
        return qt_error_string(error);
    }
    // The rename itself lasts once the folder is synced; a folder that cannot be synced changes nothing.
    const int folderFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        syncFile(folderFd);
        ::close(folderFd);
    }
    return std::nullopt;
}

} // namespace routereel
