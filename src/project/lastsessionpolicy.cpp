#include "lastsessionpolicy.h"

#include "projectfilequeue.h"
#include "projectreadoutcome.h"

#include "base/atomicfile.h"
#include "tracks/logstore.h"

#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QSaveFile>

#include <cerrno>
#include <sys/stat.h>

namespace routereel {

namespace {

struct Note {
    LogEntry::Level level;
    QString title;
    QString detail;
};

// Whether `path` names nothing: a folder that does not answer is not "nothing".
bool isAbsent(const QString &path)
{
    struct stat status;
    const QByteArray local = QFile::encodeName(path);
    return ::stat(local.constData(), &status) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

// The whole of a file of at most the project limit; an absent one is empty.
// False with the system's reason when it cannot be read.
bool contentOf(const QString &file, QByteArray *bytes, QString *reason)
{
    bytes->clear();
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) {
        if (isAbsent(file))
            return true;
        *reason = f.errorString();
        return false;
    }
    return ProjectSession::readWhole(f, ProjectSession::maximumFileSize, bytes, reason);
}

bool decodes(const QByteArray &bytes)
{
    ProjectCodingError ignored;
    return !bytes.isEmpty() && bytes.size() <= ProjectSession::maximumFileSize
        && ProjectDocument::decode(bytes, &ignored).has_value();
}

// Copies `from` to `to` in pieces, so that a file of any size fits: `to` holds
// its earlier content or the whole copy. The reason when it fails.
std::optional<QString> copyAtomically(const QString &from, const QString &to)
{
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly))
        return in.errorString();
    QSaveFile out(to);
    if (!out.open(QIODevice::WriteOnly))
        return out.errorString();
    constexpr qint64 piece = qint64(1) << 20;
    for (;;) {
        const QByteArray chunk = in.read(piece);
        if (chunk.isEmpty())
            break;
        if (out.write(chunk) != chunk.size()) {
            out.cancelWriting();
            return out.errorString();
        }
    }
    if (in.error() != QFileDevice::NoError) {
        out.cancelWriting();
        return in.errorString();
    }
    if (!out.commit())
        return out.errorString();
    return std::nullopt;
}

} // namespace

LastSessionPolicy::LastSessionPolicy(LogStore &log, QObject *parent) : QObject(parent), m_log(log) {}

void LastSessionPolicy::reading()
{
    m_state = State::reading;
}

bool LastSessionPolicy::received(const QString &path, const ReadOutcome &outcome)
{
    using Kind = ReadOutcome::Kind;
    m_state = State::received;
    switch (outcome.kind) {
    case Kind::ok:
        return true;
    case Kind::missing:
        // No file is no session: nothing to tell, nothing to keep.
        return false;
    case Kind::readError:
        // The disk did not give the file: it may well be whole. Left as it is, it
        // is read again at the next start.
        m_state = State::protectedFile;
        m_reason = outcome.message;
        m_log.add(LogEntry::Level::warning, QStringLiteral("Last session could not be read"),
                  outcome.message + QStringLiteral("\nPath: ") + path
                      + QStringLiteral("\nIt is left as it is and read again at the next start."));
        return false;
    case Kind::newerVersion:
        m_log.add(LogEntry::Level::warning, QStringLiteral("Last session saved by newer version"),
                  QStringLiteral("%1 version %2 > app supports %3. Skipped.")
                      .arg(QFileInfo(path).fileName())
                      .arg(outcome.version)
                      .arg(ProjectDocument::currentVersion));
        copyToBackup(path);
        return false;
    case Kind::tooLarge:
    case Kind::undecodable:
    case Kind::invalid:
        copyToBackup(path);
        return false;
    }
    return false;
}

void LastSessionPolicy::copyToBackup(const QString &path)
{
    // The next quit overwrites the file; a session that this version cannot
    // restore (a newer app's, a damaged one, one too large) is copied first so
    // that nothing is lost. An empty file holds nothing to keep, and one that
    // does not decode never replaces a backup that still does. Until the copy is
    // safe the file is not replaced: a read that fails is never taken for an
    // empty file. The log entry is made here, on this thread.
    auto safe = std::make_shared<bool>(false);
    auto note = std::make_shared<std::optional<Note>>();
    auto copy = [path, safe, note] {
        const QString backup = ProjectSession::lastSessionBackupPath(path);
        const auto failed = [&](const QString &reason, const QString &file) {
            *note = Note{LogEntry::Level::warning, QStringLiteral("Keeping the last session failed"),
                         reason + QStringLiteral("\nPath: ") + file
                             + QStringLiteral("\nThe last session is left as it is.")};
        };
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            if (isAbsent(path)) {
                *safe = true;
                return;
            }
            return failed(file.errorString(), path);
        }
        const bool tooLarge = file.size() > ProjectSession::maximumFileSize;
        QByteArray content;
        QString reason;
        if (!tooLarge && !ProjectSession::readWhole(file, ProjectSession::maximumFileSize, &content, &reason))
            return failed(reason, path);
        file.close();
        if (!tooLarge && content.isEmpty()) {
            *safe = true;
            return;
        }
        if (tooLarge || !decodes(content)) {
            QByteArray kept;
            if (!contentOf(backup, &kept, &reason))
                return failed(reason, backup);
            if (decodes(kept)) {
                *safe = true;
                return;
            }
        }
        const auto failure = tooLarge ? copyAtomically(path, backup) : writeFileAtomically(backup, content);
        if (failure)
            return failed(*failure, backup);
        *safe = true;
        *note = Note{LogEntry::Level::info, QStringLiteral("Last session kept as a backup"),
                     QStringLiteral("The last session could not be restored. Its file was copied to:\n") + backup};
    };
    auto *watcher = new QFutureWatcher<void>(this);
    ++m_reports;
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, note] {
        watcher->deleteLater();
        --m_reports;
        if (*note)
            m_log.add((*note)->level, (*note)->title, (*note)->detail);
    });
    m_safe = safe;
    m_copying = ProjectFileQueue::run(std::move(copy));
    watcher->setFuture(m_copying);
}

bool LastSessionPolicy::mayWrite(const QString &path, bool stillReading)
{
    QString reason;
    if (m_state == State::reading || stillReading)
        reason = QStringLiteral("A project or the last session was still being read.");
    else if (m_state == State::protectedFile)
        reason = QStringLiteral("The last session could not be read: ") + m_reason;
    else if (isCopying())
        reason = QStringLiteral("The last session was still being copied to its backup.");
    else if (m_safe && !*m_safe)
        reason = QStringLiteral("The last session could not be kept as a backup.");
    if (reason.isEmpty())
        return true;
    if (!std::exchange(m_toldProtected, true)) {
        m_log.add(LogEntry::Level::warning, QStringLiteral("Last session left as it is"),
                  reason + QStringLiteral("\nPath: ") + path);
    }
    return false;
}

} // namespace routereel
