#include "exportstagingrecord.h"

#include "exportoutputtransaction.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace routereel {

namespace {

constexpr qint64 maximumNoteSize = 4096;

// Complete notes end in ".staging"; ".tmp" ones were being written when their process died.
bool isNoteName(const QString &name)
{
    return name.endsWith(QLatin1String(".staging")) || name.endsWith(QLatin1String(".tmp"));
}

// Removes `folder` when it is what an export transaction makes: a real
// folder (no link) of this user named ".routereel-export-XXXXXX", holding at
// most the staging video and its filter graph.
bool removeStagingFolder(const QString &folder)
{
    static const QRegularExpression name(QStringLiteral("^\\.routereel-export-[A-Za-z0-9]{6}$"));
    if (!QDir::isAbsolutePath(folder) || !name.match(QFileInfo(folder).fileName()).hasMatch())
        return false;
    const QByteArray path = QFile::encodeName(folder);
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return false;
    for (const char *file : {ExportOutputTransaction::videoFileName, ExportOutputTransaction::filterScriptFileName})
        ::unlink((path + '/' + file).constData());
    return ::rmdir(path.constData()) == 0;
}

} // namespace

QString ExportStagingRecord::folder()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        return {};
    return base + QStringLiteral("/routereel/export-staging");
}

std::unique_ptr<ExportStagingRecord> ExportStagingRecord::create(const QString &stagingFolder)
{
    const QString notes = folder();
    if (notes.isEmpty() || !QDir().mkpath(notes)) {
        qWarning().noquote() << "[VideoExporter] cannot record the staging folder" << stagingFolder;
        return nullptr;
    }
    // Written and locked under a name the sweep leaves alone while it is locked,
    // then renamed: a sweep never sees a note without its folder.
    QByteArray temporary = QFile::encodeName(notes + QStringLiteral("/XXXXXX.tmp"));
    const int fd = ::mkostemps(temporary.data(), 4, O_CLOEXEC);
    if (fd < 0) {
        qWarning().noquote() << "[VideoExporter] cannot record the staging folder" << stagingFolder;
        return nullptr;
    }
    const QByteArray content = QFile::encodeName(stagingFolder);
    QByteArray final = temporary;
    final.replace(final.size() - 4, 4, ".staging");
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::write(fd, content.constData(), size_t(content.size())) != content.size()
        || ::rename(temporary.constData(), final.constData()) != 0) {
        ::unlink(temporary.constData());
        ::close(fd);
        qWarning().noquote() << "[VideoExporter] cannot record the staging folder" << stagingFolder;
        return nullptr;
    }
    return std::unique_ptr<ExportStagingRecord>(new ExportStagingRecord(QFile::decodeName(final), fd));
}

ExportStagingRecord::~ExportStagingRecord()
{
    ::unlink(QFile::encodeName(m_path).constData());
    ::close(m_fd);
}

int ExportStagingRecord::sweep()
{
    const QString notes = folder();
    if (notes.isEmpty())
        return 0;
    int removed = 0;
    const QStringList names = QDir(notes).entryList(QDir::Files | QDir::Hidden);
    for (const QString &name : names) {
        if (!isNoteName(name))
            continue;
        const QByteArray path = QFile::encodeName(QDir(notes).filePath(name));
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0)
            continue;
        // Held: its export still runs, in this process or another.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            continue;
        }
        QByteArray content(maximumNoteSize, Qt::Uninitialized);
        const ssize_t n = ::read(fd, content.data(), size_t(content.size()));
        content.truncate(n > 0 ? n : 0);
        if (!content.isEmpty() && removeStagingFolder(QFile::decodeName(content))) {
            ++removed;
            qInfo().noquote() << "[VideoExporter] removed the staging folder left by an ended process:"
                              << QFile::decodeName(content);
        }
        ::unlink(path.constData());
        ::close(fd);
    }
    return removed;
}

} // namespace routereel
