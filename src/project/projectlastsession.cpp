#include "projectsession.h"

#include "lastsessionpolicy.h"
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
#include <QScopedValueRollback>
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
    m_lastSession->reading();
    queueRead(file, lastSessionReadAttempts, tr("Restore the last session"),
              [this, file](const ReadOutcome &outcome) { finishLastSessionRestore(file, outcome); });
}

void ProjectSession::finishLastSessionRestore(const QString &path, const ReadOutcome &outcome)
{
    if (m_lastSession->received(path, outcome))
        applyProject(*outcome.document, *outcome.files);
}

bool ProjectSession::saveLastSession(LastSessionWrite how)
{
    const auto path = lastSessionPath();
    if (!path)
        return false;
    const QString file = *path;
    const QScopedValueRollback ending(m_ending, m_ending || how == LastSessionWrite::beforeQuit);
    if (how == LastSessionWrite::beforeQuit && !m_gaveUp) {
        // Everything the user asked before the quit is carried out first, however
        // slow, while it moves; what stands still is given up and told.
        if (!m_stage.settle(lastSessionWaitMs)) {
            tellNotCarriedOut(m_stage.unfinished(),
                              tr("Nothing moved for %1 seconds when the application quit.")
                                  .arg(lastSessionWaitMs / 1000));
        }
        waitForWrites(QDeadlineTimer(lastSessionWaitMs));
    }
    if (!m_lastSession->mayWrite(file, m_stage.isReading()))
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
