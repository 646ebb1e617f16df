#include "projectsession.h"

#include "projectfilequeue.h"
#include "projectreadoutcome.h"
#include "projectwindow.h"

#include "base/atomicfile.h"
#include "tracks/logstore.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QStandardPaths>

#include <algorithm>

namespace routereel {

namespace {

const QString lastSessionFileName = QStringLiteral("LastSession.rrl");

} // namespace

std::optional<QString> ProjectSession::lastSessionPath()
{
    // The application's data folder "routereel" (~/.local/share/routereel).
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        return std::nullopt;
    const QString folder = base + QStringLiteral("/routereel");
    QDir().mkpath(folder);
    return folder + QLatin1Char('/') + lastSessionFileName;
}

QString ProjectSession::lastSessionBackupPath(const QString &lastSessionPath)
{
    return QFileInfo(lastSessionPath).absolutePath() + QStringLiteral("/LastSession.backup.rrl");
}

void ProjectSession::keepUnreadableLastSession(const QString &path)
{
    // The next quit overwrites the file; a session that this version cannot
    // restore (a newer app's, a damaged one) is copied first so that nothing is
    // lost. An empty file holds nothing to keep, and a damaged one never
    // replaces a backup that still decodes. Until the copy is safe the file is
    // not replaced: a read that fails is never taken for an empty file. The
    // files are read and written on the file queue; the log entry is made here.
    struct Note {
        LogEntry::Level level;
        QString title;
        QString detail;
    };
    auto safe = std::make_shared<bool>(false);
    auto note = std::make_shared<std::optional<Note>>();
    auto keep = [path, safe, note] {
        const auto contentOf = [](const QString &file, QByteArray *bytes, QString *reason) {
            QFile f(file);
            if (!f.open(QIODevice::ReadOnly)) {
                bytes->clear();
                if (!QFileInfo::exists(file))
                    return true;
                *reason = f.errorString();
                return false;
            }
            return readWhole(f, maximumFileSize, bytes, reason);
        };
        const auto decodes = [](const QByteArray &bytes) {
            ProjectCodingError ignored;
            return !bytes.isEmpty() && ProjectDocument::decode(bytes, &ignored).has_value();
        };
        const QString backup = lastSessionBackupPath(path);
        const auto failed = [&](const QString &reason, const QString &file) {
            *note = Note{LogEntry::Level::warning, QStringLiteral("Keeping the last session failed"),
                         reason + QStringLiteral("\nPath: ") + file
                             + QStringLiteral("\nThe last session is left as it is.")};
        };
        QByteArray content;
        QString reason;
        if (!contentOf(path, &content, &reason))
            return failed(reason, path);
        if (content.isEmpty() || content.size() > maximumFileSize) {
            *safe = true;
            return;
        }
        if (!decodes(content)) {
            QByteArray kept;
            if (!contentOf(backup, &kept, &reason))
                return failed(reason, backup);
            if (decodes(kept)) {
                *safe = true;
                return;
            }
        }
        if (const auto failure = writeFileAtomically(backup, content))
            return failed(*failure, backup);
        *safe = true;
        *note = Note{LogEntry::Level::info, QStringLiteral("Last session kept as a backup"),
                     QStringLiteral("The last session could not be restored. Its file was copied to:\n") + backup};
    };
    auto *watcher = new QFutureWatcher<void>(this);
    ++m_writes;
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, note] {
        watcher->deleteLater();
        --m_writes;
        if (*note)
            m_window.logStore().add((*note)->level, (*note)->title, (*note)->detail);
    });
    m_lastSessionSafe = safe;
    m_lastSessionKeeping = ProjectFileQueue::run(std::move(keep));
    watcher->setFuture(m_lastSessionKeeping);
}

void ProjectSession::restoreLastSession()
{
    if (m_didAttemptAutoRestore)
        return;
    m_didAttemptAutoRestore = true;
    const auto path = lastSessionPath();
    if (!path)
        return;
    const QString file = *path;
    // The session is applied first; what the user asks meanwhile waits for it.
    m_lastSession = LastSession::reading;
    queueRead(file, lastSessionReadAttempts,
              [this, file](const ReadOutcome &outcome) { finishLastSessionRestore(file, outcome); });
}

void ProjectSession::finishLastSessionRestore(const QString &path, const ReadOutcome &outcome)
{
    using Kind = ReadOutcome::Kind;
    m_lastSession = LastSession::received;
    // No file is no session: nothing to tell, nothing to keep.
    if (outcome.kind == Kind::missing)
        return;
    if (outcome.kind == Kind::readError || outcome.kind == Kind::unreadable) {
        // The disk did not give the file: it may well be whole. Left as it is, it
        // is read again at the next start.
        m_lastSession = LastSession::protectedFile;
        m_lastSessionReason = outcome.message;
        m_window.logStore().add(LogEntry::Level::warning, QStringLiteral("Last session could not be read"),
                                outcome.message + QStringLiteral("\nPath: ") + path
                                    + QStringLiteral("\nIt is left as it is and read again at the next start."));
        return;
    }
    if (outcome.kind == Kind::newerVersion) {
        m_window.logStore().add(LogEntry::Level::warning, QStringLiteral("Last session saved by newer version"),
                                QStringLiteral("%1 version %2 > app supports %3. Skipped.")
                                    .arg(lastSessionFileName)
                                    .arg(outcome.version)
                                    .arg(ProjectDocument::currentVersion));
    }
    if (outcome.kind != Kind::ok) {
        keepUnreadableLastSession(path);
        return;
    }
    applyProject(*outcome.document, *outcome.files);
}

bool ProjectSession::mayWriteLastSession(const QString &path)
{
    QString reason;
    if (m_lastSession == LastSession::reading || m_stage.isReading())
        reason = QStringLiteral("A project or the last session was still being read.");
    else if (m_lastSession == LastSession::protectedFile)
        reason = QStringLiteral("The last session could not be read: ") + m_lastSessionReason;
    else if (m_lastSessionKeeping.isValid() && !m_lastSessionKeeping.isFinished())
        reason = QStringLiteral("The last session was still being copied to its backup.");
    else if (m_lastSessionSafe && !*m_lastSessionSafe)
        reason = QStringLiteral("The last session could not be kept as a backup.");
    if (reason.isEmpty())
        return true;
    if (!std::exchange(m_toldProtected, true)) {
        m_window.logStore().add(LogEntry::Level::warning, QStringLiteral("Last session left as it is"),
                                reason + QStringLiteral("\nPath: ") + path);
    }
    return false;
}

bool ProjectSession::saveLastSession(LastSessionWrite how)
{
    const auto path = lastSessionPath();
    if (!path)
        return false;
    const QString file = *path;
    if (how == LastSessionWrite::beforeQuit) {
        // What the user asked to be read is applied first, if the disk answers in time.
        QDeadlineTimer deadline(lastSessionWaitMs);
        m_stage.settle(lastSessionWaitMs);
        if (m_lastSessionKeeping.isValid() && !m_lastSessionKeeping.isFinished())
            ProjectFileQueue::waitForIdle(int(std::max<qint64>(0, deadline.remainingTime())));
    }
    if (!mayWriteLastSession(file))
        return false;
    constexpr auto style = ProjectDocument::Style::session;
    QFuture<std::optional<QString>> written = queueWrite(file, documentToSave(style), style);
    if (how == LastSessionWrite::inBackground) {
        auto *watcher = new QFutureWatcher<std::optional<QString>>(this);
        ++m_writes;
        connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, file] {
            watcher->deleteLater();
            --m_writes;
            finishLastSessionWrite(file, watcher->result());
        });
        watcher->setFuture(written);
        return true;
    }
    // The application is ending: wait for the file, but not for a disk that never answers.
    if (!ProjectFileQueue::waitForIdle(lastSessionWaitMs) && !written.isFinished()) {
        finishLastSessionWrite(file, QStringLiteral("Still writing after %1 ms").arg(lastSessionWaitMs));
        return false;
    }
    finishLastSessionWrite(file, written.result());
    return !written.result();
}

void ProjectSession::finishLastSessionWrite(const QString &path, const std::optional<QString> &failure)
{
    if (!failure)
        return;
    m_window.logStore().add(LogEntry::Level::warning, QStringLiteral("Save last session failed"),
                            *failure + QStringLiteral("\nPath: ") + path);
}

// ---- saving

} // namespace routereel
