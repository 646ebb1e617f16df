#include "projectsession.h"

#include "errorpresentation.h"
#include "projectalerts.h"
#include "projectfilepanels.h"
#include "projectfilequeue.h"
#include "projectfilesondisk.h"
#include "projectwindow.h"
#include "videorestoretask.h"

#include "base/atomicfile.h"
#include "timeline/timelineengine.h"
#include "tracks/logstore.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QSaveFile>
#include <QSet>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <algorithm>

namespace routereel {

namespace {

const QString lastSessionFileName = QStringLiteral("LastSession.rrl");

} // namespace

struct ProjectSession::ReadOutcome {
    enum class Kind { ok, missing, unreadable, readError, undecodable, newerVersion, invalid };
    Kind kind = Kind::unreadable;
    std::optional<ProjectDocument> document;
    std::optional<ProjectFilesOnDisk> files;
    qint64 version = 0;
    QString message;  // what the user is told when an open fails
};

namespace {

// The whole file, at most `limit` bytes plus one. A disk that fails part way
// answers a short read first and its error only on the next read: read to the
// end and ask the file for its error, so that a failure never passes for an
// empty or a shorter file. False with the system's reason on a read error.
bool readWhole(QFile &file, qint64 limit, QByteArray *bytes, QString *reason)
{
    bytes->clear();
    while (bytes->size() <= limit) {
        const QByteArray chunk = file.read(limit + 1 - bytes->size());
        if (chunk.isEmpty())
            break;
        bytes->append(chunk);
    }
    if (file.error() == QFileDevice::NoError)
        return true;
    *reason = file.errorString();
    return false;
}

} // namespace

ProjectSession::ProjectSession(ProjectWindow &window, ProjectAlerts &alerts, ProjectFilePanels &panels,
                               QObject *parent)
    : QObject(parent), m_window(window), m_alerts(alerts), m_panels(panels), m_probe(&VideoSource::load)
{
}

ProjectSession::~ProjectSession() = default;

void ProjectSession::presentError(const QString &message)
{
    LogStore &log = m_window.logStore();
    routereel::presentError(
        message,
        [&log](const QString &title, const QString &detail) { log.add(LogEntry::Level::error, title, detail); },
        m_alerts);
}

void ProjectSession::setProjectURL(const QUrl &url)
{
    if (m_projectURL == url)
        return;
    m_projectURL = url;
    emit projectURLChanged();
}

QStringList ProjectSession::protectedFiles() const
{
    QStringList files;
    if (m_projectURL && m_projectURL->isLocalFile())
        files << m_projectURL->toLocalFile();
    if (const auto lastSession = lastSessionPath())
        files << *lastSession;
    return files;
}

// ---- reading

ProjectSession::ReadOutcome ProjectSession::readProjectFile(const QString &path)
{
    using Kind = ReadOutcome::Kind;
    ReadOutcome outcome;
    QFile file(path);
    const QString name = QFileInfo(path).fileName();
    const auto tooLarge = [&name] {
        return tr("The file \"%1\" is too large to be a routereel project (the limit is %2 MB).")
            .arg(name)
            .arg(maximumFileSize / (1024 * 1024));
    };
    // The size first: a huge file is refused before it is read into memory.
    if (QFileInfo(path).size() > maximumFileSize) {
        outcome.message = tooLarge();
        return outcome;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        if (!QFileInfo::exists(path))
            outcome.kind = Kind::missing;
        outcome.message = tr("The project file \"%1\" cannot be read: %2").arg(name, file.errorString());
        return outcome;
    }
    QByteArray bytes;
    QString reason;
    if (!readWhole(file, maximumFileSize, &bytes, &reason)) {
        outcome.kind = Kind::readError;
        outcome.message = tr("The project file \"%1\" cannot be read: %2").arg(name, reason);
        return outcome;
    }
    if (bytes.size() > maximumFileSize) {
        outcome.message = tooLarge();
        return outcome;
    }
    ProjectCodingError error;
    auto document = ProjectDocument::decode(bytes, &error);
    if (!document) {
        outcome.kind = Kind::undecodable;
        outcome.message = error.message();
        return outcome;
    }
    outcome.version = document->version;
    if (document->version > ProjectDocument::currentVersion) {
        outcome.kind = Kind::newerVersion;
        outcome.message =
            tr("This project was saved by a newer version of routereel (v%1). Please update the app and try again.")
                .arg(document->version);
        return outcome;
    }
    if (const auto invalid = document->validate()) {
        outcome.kind = Kind::invalid;
        outcome.message = ProjectDocument::message(*invalid);
        return outcome;
    }
    outcome.files = ProjectFilesOnDisk::of(*document);
    outcome.kind = Kind::ok;
    outcome.document = std::move(document);
    return outcome;
}

void ProjectSession::queueRead(const QString &path, int attempts,
                               std::function<void(const ReadOutcome &)> apply)
{
    auto outcome = std::make_shared<ReadOutcome>();
    QFuture<void> done = ProjectFileQueue::run([path, attempts, outcome] {
        for (int attempt = 1;; ++attempt) {
            *outcome = readProjectFile(path);
            if (outcome->kind != ReadOutcome::Kind::readError || attempt >= attempts)
                return;
            QThread::msleep(lastSessionRetryPauseMs);
        }
    });
    m_stage.queueRead(done, [outcome, apply = std::move(apply)] { apply(*outcome); });
}

void ProjectSession::openProject(const QUrl &url, std::function<void()> then)
{
    queueRead(url.toLocalFile(), 1, [this, url, then = std::move(then)](const ReadOutcome &outcome) {
        finishOpen(url, outcome);
        if (then)
            then();
    });
}

void ProjectSession::finishOpen(const QUrl &url, const ReadOutcome &outcome)
{
    if (outcome.kind != ReadOutcome::Kind::ok) {
        presentError(outcome.message);
        return;
    }
    applyProject(*outcome.document, *outcome.files);
    setProjectURL(url);
    m_window.logStore().add(LogEntry::Level::info, QStringLiteral("Open Project"), url.toLocalFile());
}

void ProjectSession::windowDidAppear(const std::optional<QUrl> &pendingOpenURL)
{
    if (pendingOpenURL && !pendingOpenURL->isEmpty()) {
        // The handed-over file stands for the restore: a later call must not replace it.
        m_didAttemptAutoRestore = true;
        openProject(*pendingOpenURL);
    } else {
        restoreLastSession();
    }
}

void ProjectSession::handleOpenProjectURL(const QUrl &url)
{
    if (url.isEmpty() || !url.isLocalFile())
        return;
    openProject(url);
}

void ProjectSession::presentOpenProjectPanel()
{
    if (const auto url = m_panels.chooseProjectToOpen())
        openProject(*url);
}

bool ProjectSession::isProjectFile(const QUrl &url)
{
    return url.isLocalFile()
        && QFileInfo(url.toLocalFile()).suffix().compare(QLatin1String(fileExtension), Qt::CaseInsensitive) == 0;
}

bool ProjectSession::dropPerform(const QList<QUrl> &urls)
{
    // The window starts the videos' import, then goes through the files in
    // drop order, opening projects with openProject().
    QTimer::singleShot(0, this, [this, urls] { m_window.importDroppedFiles(urls); });
    return true;
}

std::optional<QUrl> ProjectSession::projectFromArguments(const QStringList &arguments)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument.startsWith(QLatin1Char('-')))
            continue;
        if (QFileInfo(argument).suffix().compare(QLatin1String(fileExtension), Qt::CaseInsensitive) == 0)
            return QUrl::fromLocalFile(QFileInfo(argument).absoluteFilePath());
    }
    return std::nullopt;
}

// ---- last session

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

namespace {

// Atomic: the target changes only when every byte was written.
bool writeAtomically(const QString &path, const QByteArray &bytes, QString *errorText)
{
    const auto failure = writeFileAtomically(path, bytes);
    if (!failure)
        return true;
    *errorText = *failure;
    // A temporary file of this name may be left over from an earlier writer.
    const QFileInfo target(path);
    QFile::remove(target.absolutePath() + QStringLiteral("/.") + target.fileName() + QStringLiteral(".tmp"));
    return false;
}

QString cannotSaveMessage(const QString &path, const QString &reason)
{
    return ProjectSession::tr("The project cannot be saved to \"%1\": %2").arg(path, reason);
}

} // namespace

ProjectDocument ProjectSession::documentToSave(ProjectDocument::Style style) const
{
    ProjectDocument document = makeProjectDocument();
    const QUuid generation = m_window.engine().importGeneration();
    const VideoRestoreTask *restoring = m_videoImportTask.data();
    if (restoring && !restoring->isCancelled() && generation == restoring->generation) {
        // The project's video is not back yet: its pieces are not in the timeline.
        // The last session keeps even the files not found (a drive not plugged in);
        // a saved project holds what the restore will bring back.
        document.videoFiles = restoring->savedFiles;
        document.videoSegments = restoring->savedSegments;
        if (style == ProjectDocument::Style::saved && document.videoFiles) {
            QSet<QUuid> found;
            for (const VideoRestoreTask::Reference &reference : restoring->references)
                found.insert(reference.sourceID);
            document.videoFiles->removeIf([&](const VideoFileRef &file) { return !found.contains(file.id); });
            if (document.videoSegments) {
                document.videoSegments->removeIf(
                    [&](const VideoSegment &segment) { return !found.contains(segment.sourceID); });
            }
        }
    } else if (style == ProjectDocument::Style::session && m_missingVideo
               && m_missingVideo->generation == generation) {
        // Files not found stay in the last session until the timeline is cleared
        // or replaced: with the drive back, the next start restores them.
        QList<VideoFileRef> files = document.videoFiles.value_or(QList<VideoFileRef>());
        QList<VideoSegment> segments = document.videoSegments.value_or(QList<VideoSegment>());
        for (const VideoFileRef &file : m_missingVideo->files) {
            if (std::none_of(files.begin(), files.end(), [&](const VideoFileRef &f) { return f.id == file.id; }))
                files.append(file);
        }
        for (const VideoSegment &segment : m_missingVideo->segments) {
            if (std::none_of(segments.begin(), segments.end(),
                             [&](const VideoSegment &s) { return s.id == segment.id; }))
                segments.append(segment);
        }
        document.videoFiles = files;
        document.videoSegments = segments;
    }
    if (m_restoringPlayhead)
        document.playheadTime = *m_restoringPlayhead;
    return document;
}

QFuture<std::optional<QString>> ProjectSession::queueWrite(const QString &path, const ProjectDocument &document,
                                                           ProjectDocument::Style style)
{
    return ProjectFileQueue::run([path, document, style]() -> std::optional<QString> {
        ProjectCodingError codingError;
        const auto bytes = document.encode(style, &codingError);
        if (!bytes)
            return codingError.message();
        QString reason;
        if (writeAtomically(path, *bytes, &reason))
            return std::nullopt;
        if (style == ProjectDocument::Style::session)
            return reason;
        return cannotSaveMessage(path, reason);
    });
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

void ProjectSession::startSaveProject(const QUrl &target, std::function<void(bool written)> done)
{
    const QString path = target.toLocalFile();
    auto *watcher = new QFutureWatcher<std::optional<QString>>(this);
    ++m_writes;
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, path, done = std::move(done)] {
        watcher->deleteLater();
        --m_writes;
        const bool written = finishSave(path, watcher->result());
        if (done)
            done(written);
    });
    constexpr auto style = ProjectDocument::Style::saved;
    watcher->setFuture(queueWrite(path, documentToSave(style), style));
}

bool ProjectSession::saveProject(const QUrl &target)
{
    const QString path = target.toLocalFile();
    constexpr auto style = ProjectDocument::Style::saved;
    QFuture<std::optional<QString>> written = queueWrite(path, documentToSave(style), style);
    if (!ProjectFileQueue::waitForIdle(lastSessionWaitMs) && !written.isFinished())
        return finishSave(path, cannotSaveMessage(path, tr("The disk did not answer within %1 seconds.")
                                                                .arg(lastSessionWaitMs / 1000)));
    return finishSave(path, written.result());
}

bool ProjectSession::finishSave(const QString &path, const std::optional<QString> &failure)
{
    if (failure) {
        presentError(*failure);
        return false;
    }
    m_window.logStore().add(LogEntry::Level::info, QStringLiteral("Save Project"), path);
    return true;
}

void ProjectSession::saveWhenRead(const QUrl &target, bool nameTarget)
{
    // The document is what the window holds once everything asked before is applied.
    m_stage.whenRead([this, target, nameTarget] {
        const quint64 applies = m_applies;
        startSaveProject(target, [this, target, nameTarget, applies](bool written) {
            // The window names the file only while it shows what the file holds.
            if (written && nameTarget && applies == m_applies)
                setProjectURL(target);
        });
    });
}

void ProjectSession::handleSaveProject()
{
    // Which file depends on the project open by then.
    m_stage.whenRead([this] {
        if (m_projectURL) {
            saveWhenRead(*m_projectURL, false);
            return;
        }
        if (const auto url = m_panels.chooseSaveLocation(QStringLiteral("Untitled.rrl"), QString()))
            saveWhenRead(*url, true);
    });
}

void ProjectSession::handleSaveProjectAs()
{
    QString name = QStringLiteral("Untitled.rrl");
    QString folder;
    if (m_projectURL) {
        const QFileInfo current(m_projectURL->toLocalFile());
        name = current.completeBaseName() + QStringLiteral(" Copy.rrl");
        folder = current.absolutePath();
    }
    if (const auto url = m_panels.chooseSaveLocation(name, folder))
        saveWhenRead(*url, true);
}

} // namespace routereel
