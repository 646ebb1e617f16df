#include "projectsession.h"

#include "errorpresentation.h"
#include "lastsessionpolicy.h"
#include "projectalerts.h"
#include "projectfilepanels.h"
#include "projectfilequeue.h"
#include "projectfilesondisk.h"
#include "projectreadoutcome.h"
#include "projectwindow.h"
#include "videorestoretask.h"

#include "base/atomicfile.h"
#include "timeline/timelineengine.h"
#include "tracks/gpxservice.h"
#include "tracks/logstore.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDeadlineTimer>
#include <QEventLoop>
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
#include <cerrno>
#include <sys/stat.h>

namespace routereel {

ProjectSession::ProjectSession(ProjectWindow &window, ProjectAlerts &alerts, ProjectFilePanels &panels,
                               QObject *parent)
    : QObject(parent),
      m_window(window),
      m_alerts(alerts),
      m_panels(panels),
      m_probe(&VideoSource::load),
      m_lastSession(std::make_unique<LastSessionPolicy>(window.logStore()))
{
    // Direct: a file the timeline holds again is named by it before any save.
    connect(&window.engine(), &TimelineEngine::videoSourcesChanged, this, &ProjectSession::forgetFoundFiles);
    connect(&window.gpxService(), &GPXService::tracksChanged, this, &ProjectSession::forgetFoundFiles);
}

ProjectSession::~ProjectSession()
{
    // The window goes: what still waits in the stage will never run.
    tellNotCarriedOut(m_stage.abandon(), tr("The window closed first."));
}

bool ProjectSession::hasFileWork() const
{
    return m_stage.isReading() || m_writes > 0 || m_lastSession->hasFileWork();
}

QString ProjectSession::notCarriedOutText(const QStringList &what, const QString &why)
{
    return tr("Not carried out: %1").arg(what.join(QStringLiteral(", "))) + QLatin1Char('\n') + why;
}

QStringList ProjectSession::quitWaitsFor() const
{
    QStringList what = m_stage.unfinished();
    if (m_writes > 0)
        what << tr("Save Project");
    return what;
}

ProjectStage::Motion ProjectSession::quitMotion() const
{
    ProjectStage::Motion motion = m_stage.motion();
    motion.done += m_writesDone;
    return motion;
}

void ProjectSession::giveUpBeforeQuit(const QString &why)
{
    m_gaveUp = true;
    m_stage.setEnding();
    tellNotCarriedOut(quitWaitsFor(), why);
}

void ProjectSession::tellNotCarriedOut(const QStringList &what, const QString &why)
{
    if (what.isEmpty())
        return;
    const QString detail = notCarriedOutText(what, why);
    // The window may be gone by the time anyone looks: the system log has it too.
    qWarning().noquote() << "[ProjectSession]" << detail;
    m_window.logStore().add(LogEntry::Level::warning, QStringLiteral("Commands not carried out"), detail);
}

void ProjectSession::waitForWrites(const QDeadlineTimer &deadline)
{
    // Each write is reported through this thread's events: a failure is told, not lost with the process.
    while (hasFileWork() && !deadline.hasExpired()) {
        ProjectFileQueue::waitForIdle(int(std::max<qint64>(0, deadline.remainingTime())));
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    if (m_writes > 0) {
        tellNotCarriedOut({tr("Save Project")}, tr("The disk did not answer within %1 seconds.")
                                                     .arg(lastSessionWaitMs / 1000));
    }
}

void ProjectSession::forgetFoundFiles()
{
    QStringList videos, tracks;
    for (const VideoSource &source : m_window.engine().videoSources())
        videos << source.url.toLocalFile();
    for (const GPXTrack &track : m_window.gpxService().tracks()) {
        if (!track.fileURL.isEmpty())
            tracks << track.fileURL.toLocalFile();
    }
    m_keptFiles.forgetFound(videos, tracks);
}

void ProjectSession::presentError(const QString &message)
{
    // While the application ends, nobody may see the window's alert.
    if (m_ending)
        qWarning().noquote() << "[ProjectSession]" << message;
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

// The whole file, at most `limit` bytes plus one. A disk that fails part way
// answers a short read first and its error only on the next read: read to the
// end and ask the file for its error, so that a failure never passes for an
// empty or a shorter file. False with the system's reason on a read error.
bool ProjectSession::readWhole(QFile &file, qint64 limit, QByteArray *bytes, QString *reason)
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

ProjectSession::ReadOutcome ProjectSession::readProjectFile(const QString &path)
{
    using Kind = ReadOutcome::Kind;
    QFile file(path);
    const QString name = QFileInfo(path).fileName();
    const auto tooLarge = [&name] {
        return ReadOutcome(Kind::tooLarge,
                           tr("The file \"%1\" is too large to be a routereel project (the limit is %2 MB).")
                               .arg(name)
                               .arg(maximumFileSize / (1024 * 1024)));
    };
    // The size first: a huge file is refused before it is read into memory.
    if (QFileInfo(path).size() > maximumFileSize)
        return tooLarge();
    if (!file.open(QIODevice::ReadOnly)) {
        const QString message = tr("The project file \"%1\" cannot be read: %2").arg(name, file.errorString());
        // Only a path the system says is not there is missing: a folder that does not
        // answer (ENOTCONN, ESTALE, EIO) hides a file that may well be whole.
        struct stat status;
        const QByteArray local = QFile::encodeName(path);
        const bool absent = ::stat(local.constData(), &status) != 0 && (errno == ENOENT || errno == ENOTDIR);
        return ReadOutcome(absent ? Kind::missing : Kind::readError, message);
    }
    QByteArray bytes;
    QString reason;
    if (!readWhole(file, maximumFileSize, &bytes, &reason))
        return ReadOutcome(Kind::readError, tr("The project file \"%1\" cannot be read: %2").arg(name, reason));
    if (bytes.size() > maximumFileSize)
        return tooLarge();
    ProjectCodingError error;
    auto document = ProjectDocument::decode(bytes, &error);
    if (!document)
        return ReadOutcome(Kind::undecodable, error.message());
    if (document->version > ProjectDocument::currentVersion) {
        ReadOutcome outcome(
            Kind::newerVersion,
            tr("This project was saved by a newer version of routereel (v%1). Please update the app and try again.")
                .arg(document->version));
        outcome.version = document->version;
        return outcome;
    }
    if (const auto invalid = document->validate()) {
        ReadOutcome outcome(Kind::invalid, ProjectDocument::message(*invalid));
        outcome.version = document->version;
        return outcome;
    }
    ReadOutcome outcome(Kind::ok);
    outcome.version = document->version;
    outcome.files = ProjectFilesOnDisk::of(*document);
    outcome.document = std::move(document);
    return outcome;
}

void ProjectSession::queueRead(const QString &path, int attempts, const QString &what,
                               std::function<void(const ReadOutcome &)> apply)
{
    auto outcome = std::make_shared<std::optional<ReadOutcome>>();
    QFuture<void> done = ProjectFileQueue::run([path, attempts, outcome] {
        for (int attempt = 1;; ++attempt) {
            *outcome = readProjectFile(path);
            if ((*outcome)->kind != ReadOutcome::Kind::readError || attempt >= attempts)
                return;
            QThread::msleep(lastSessionRetryPauseMs);
        }
    });
    m_stage.queueRead(done, [outcome, apply = std::move(apply)] { apply(**outcome); }, what, {path});
}

void ProjectSession::openProject(const QUrl &url, std::function<void()> then)
{
    const QString what = tr("Open \"%1\"").arg(QFileInfo(url.toLocalFile()).fileName());
    queueRead(url.toLocalFile(), 1, what, [this, url, then = std::move(then)](const ReadOutcome &outcome) {
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
    // Handed over from outside: what the user answers now is about the project they see.
    const QString what = tr("Open \"%1\"").arg(QFileInfo(url.toLocalFile()).fileName());
    m_stage.whenAnswered([this, url] { openProject(url); }, what);
}

void ProjectSession::presentOpenProjectPanel()
{
    if (const auto url = choose([this] { return m_panels.chooseProjectToOpen(); }))
        openProject(*url);
}

std::optional<QUrl> ProjectSession::choose(const std::function<std::optional<QUrl>()> &panel)
{
    const ProjectStage::Answer answer = m_stage.answering();
    return panel();
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
    const bool videoNotBack = restoring && !restoring->isCancelled() && generation == restoring->generation;
    if (videoNotBack) {
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
    }
    // Files not found stay in the last session until they are back, or the
    // timeline is cleared or replaced: with the drive back, the next start restores them.
    if (style == ProjectDocument::Style::session)
        m_keptFiles.addTo(document, generation, !videoNotBack);
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

void ProjectSession::startSaveProject(const QUrl &target, std::function<void(bool written)> done)
{
    const QString path = target.toLocalFile();
    auto *watcher = new QFutureWatcher<std::optional<QString>>(this);
    ++m_writes;
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, path, done = std::move(done)] {
        watcher->deleteLater();
        --m_writes;
        ++m_writesDone;
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
    const QString what = nameTarget ? tr("Save Project As \"%1\"").arg(QFileInfo(target.toLocalFile()).fileName())
                                    : tr("Save Project");
    m_stage.whenRead([this, target, nameTarget] {
        const quint64 applies = m_applies;
        startSaveProject(target, [this, target, nameTarget, applies](bool written) {
            // The window names the file only while it shows what the file holds.
            if (written && nameTarget && applies == m_applies)
                setProjectURL(target);
        });
    }, what);
}

void ProjectSession::handleSaveProject()
{
    // Which file depends on the project open by then.
    m_stage.whenRead([this] {
        if (m_projectURL) {
            saveWhenRead(*m_projectURL, false);
            return;
        }
        if (const auto url = choose([this] { return m_panels.chooseSaveLocation(QStringLiteral("Untitled.rrl"), {}); }))
            saveWhenRead(*url, true);
    }, tr("Save Project"));
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
    if (const auto url = choose([&] { return m_panels.chooseSaveLocation(name, folder); }))
        saveWhenRead(*url, true);
}

} // namespace routereel
