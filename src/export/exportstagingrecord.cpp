#include "exportstagingrecord.h"

#include "exportoutputtransaction.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>

namespace routereel {

namespace {

constexpr qint64 maximumNoteSize = 4096;

// Complete notes end in ".staging"; ".tmp" ones were being written when their process died.
bool isNoteName(const QString &name)
{
    return name.endsWith(QLatin1String(".staging")) || name.endsWith(QLatin1String(".tmp"));
}

enum class Removal { removed, gone, stays, notOurs };

// Removes `folder` when it is what an export transaction makes: a real
// folder (no link) of this user named ".routereel-export-XXXXXX", holding at
// most the staging video and its filter graph. A folder that cannot be
// reached, or is still there after that, stays.
Removal removeStagingFolder(const QString &folder)
{
    static const QRegularExpression name(QStringLiteral("^\\.routereel-export-[A-Za-z0-9]{6}$"));
    if (!QDir::isAbsolutePath(folder) || !name.match(QFileInfo(folder).fileName()).hasMatch())
        return Removal::notOurs;
    const QByteArray path = QFile::encodeName(folder);
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0)
        return errno == ENOENT ? Removal::gone : Removal::stays;
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return Removal::notOurs;
    for (const char *file : {ExportOutputTransaction::videoFileName, ExportOutputTransaction::filterScriptFileName})
        ::unlink((path + '/' + file).constData());
    if (::rmdir(path.constData()) == 0)
        return Removal::removed;
    return errno == ENOENT ? Removal::gone : Removal::stays;
}

struct RetryState {
    std::mutex lock;
    ExportStagingRecord::Retry retry;
    bool scheduled = false;
    quint64 asked = 0;  // sweepSoon calls so far: a note kept after a sweep started needs another
    int attemptsLeft = 0;
    std::chrono::milliseconds pause{0};
};

RetryState &retryState()
{
    static auto *state = new RetryState;  // outlives the sweep pool's thread
    return *state;
}

void sweepRound();

// Never destroyed, and waited for at exit only a while: a share that hangs must not hold the process.
QThreadPool &sweepPool()
{
    static QThreadPool *pool = [] {
        auto *p = new QThreadPool;
        p->setMaxThreadCount(1);
        qAddPostRoutine([] { sweepPool().waitForDone(3000); });
        return p;
    }();
    return *pool;
}

// The timer lives on the application's thread; the sweep itself never runs there.
void scheduleSweep(std::chrono::milliseconds pause)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app) {
        std::lock_guard guard(retryState().lock);
        retryState().scheduled = false;
        return;
    }
    QMetaObject::invokeMethod(
        app,
        [pause] {
            QTimer::singleShot(pause, QCoreApplication::instance(),
                               [] { sweepPool().start(sweepRound); });
        },
        Qt::QueuedConnection);
}

void sweepRound()
{
    RetryState &state = retryState();
    quint64 asked = 0;
    {
        std::lock_guard guard(state.lock);
        asked = state.asked;
    }
    int waiting = 0;
    ExportStagingRecord::sweep(&waiting);
    std::chrono::milliseconds pause{0};
    {
        std::lock_guard guard(state.lock);
        const bool askedAgain = state.asked != asked;
        if ((waiting == 0 && !askedAgain) || (!askedAgain && --state.attemptsLeft <= 0)) {
            state.scheduled = false;
            return;
        }
        pause = state.pause;
        state.pause = std::min(state.pause * 2, state.retry.longest);
    }
    scheduleSweep(pause);
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
    if (m_fd < 0)
        return;
    ::unlink(QFile::encodeName(m_path).constData());
    ::close(m_fd);
}

void ExportStagingRecord::handToSweep()
{
    // Closing drops the lock: the note now reads as one a sweep may take.
    ::close(m_fd);
    m_fd = -1;
}

void ExportStagingRecord::setRetry(const Retry &retry)
{
    std::lock_guard guard(retryState().lock);
    retryState().retry = retry;
}

void ExportStagingRecord::sweepSoon()
{
    RetryState &state = retryState();
    std::chrono::milliseconds pause{0};
    {
        std::lock_guard guard(state.lock);
        ++state.asked;
        state.attemptsLeft = state.retry.attempts;
        state.pause = state.retry.first;
        if (state.scheduled || state.attemptsLeft <= 0)
            return;
        state.scheduled = true;
        pause = state.pause;
        state.pause = std::min(state.pause * 2, state.retry.longest);
    }
    scheduleSweep(pause);
}

void ExportStagingRecord::sweepAtStart()
{
    if (!QCoreApplication::instance()) {
        sweep();
        return;
    }
    // A folder on a share that does not answer must not hold up the start.
    sweepPool().start([] {
        int waiting = 0;
        sweep(&waiting);
        if (waiting > 0)
            sweepSoon();
    });
}

int ExportStagingRecord::sweep(int *waiting)
{
    if (waiting)
        *waiting = 0;
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
        // A note that cannot be read now is read again later.
        const Removal removal = n < 0 ? Removal::stays
            : content.isEmpty()       ? Removal::notOurs
                                      : removeStagingFolder(QFile::decodeName(content));
        if (removal == Removal::stays) {
            if (waiting)
                ++*waiting;
            ::close(fd);
            continue;
        }
        if (removal == Removal::removed) {
            ++removed;
            qInfo().noquote() << "[VideoExporter] removed the staging folder left by an ended export:"
                              << QFile::decodeName(content);
        }
        ::unlink(path.constData());
        ::close(fd);
    }
    return removed;
}

} // namespace routereel
