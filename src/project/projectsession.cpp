#include "projectsession.h"

#include "errorpresentation.h"
#include "projectalerts.h"
#include "projectfilepanels.h"
#include "projectwindow.h"
#include "videorestoretask.h"

#include "base/atomicfile.h"
#include "timeline/timelineengine.h"
#include "tracks/logstore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimer>

namespace routereel {

namespace {

const QString lastSessionFileName = QStringLiteral("LastSession.rrl");

} // namespace

struct ProjectSession::ReadOutcome {
    enum class Kind { ok, unreadable, undecodable, newerVersion, invalid };
    Kind kind = Kind::unreadable;
    std::optional<ProjectDocument> document;
    qint64 version = 0;
    QString message;  // what the user is told when an open fails
};

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

ProjectSession::ReadOutcome ProjectSession::readProjectFile(const QString &path) const
{
    using Kind = ReadOutcome::Kind;
    ReadOutcome outcome;
    QFile file(path);
    const QString name = QFileInfo(path).fileName();
    // The size first: a huge file is refused before it is read into memory.
    if (QFileInfo(path).size() > maximumFileSize) {
        outcome.message = tr("The file \"%1\" is too large to be a routereel project (the limit is %2 MB).")
                              .arg(name)
                              .arg(maximumFileSize / (1024 * 1024));
        return outcome;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        outcome.message = tr("The project file \"%1\" cannot be read: %2").arg(name, file.errorString());
        return outcome;
    }
    const QByteArray bytes = file.read(maximumFileSize + 1);
    if (bytes.size() > maximumFileSize) {
        outcome.message = tr("The file \"%1\" is too large to be a routereel project (the limit is %2 MB).")
                              .arg(name)
                              .arg(maximumFileSize / (1024 * 1024));
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
    outcome.kind = Kind::ok;
    outcome.document = std::move(document);
    return outcome;
}

void ProjectSession::openProject(const QUrl &url)
{
    const QString path = url.toLocalFile();
    const ReadOutcome outcome = readProjectFile(path);
    if (outcome.kind != ReadOutcome::Kind::ok) {
        presentError(outcome.message);
        return;
    }
    applyProject(*outcome.document);
    setProjectURL(url);
    m_window.logStore().add(LogEntry::Level::info, QStringLiteral("Open Project"), path);
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
    // read (a newer app's, a damaged one) is kept so that nothing is lost.
    // An empty file holds nothing to keep, and a damaged one never replaces a
    // backup that still decodes.
    const auto contentOf = [](const QString &file) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.read(maximumFileSize + 1) : QByteArray();
    };
    const auto decodes = [](const QByteArray &bytes) {
        ProjectCodingError ignored;
        return !bytes.isEmpty() && ProjectDocument::decode(bytes, &ignored).has_value();
    };
    const QByteArray content = contentOf(path);
    if (content.isEmpty() || content.size() > maximumFileSize)
        return;
    const QString backup = lastSessionBackupPath(path);
    if (!decodes(content) && decodes(contentOf(backup)))
        return;
    if (const auto failure = writeFileAtomically(backup, content)) {
        m_window.logStore().add(LogEntry::Level::warning, QStringLiteral("Keeping the last session failed"),
                                *failure + QStringLiteral("\nPath: ") + backup);
        return;
    }
    m_window.logStore().add(
        LogEntry::Level::info, QStringLiteral("Last session kept as a backup"),
        QStringLiteral("The last session could not be restored. Its file was copied to:\n") + backup);
}

void ProjectSession::restoreLastSession()
{
    using Kind = ReadOutcome::Kind;
    if (m_didAttemptAutoRestore)
        return;
    m_didAttemptAutoRestore = true;
    const auto path = lastSessionPath();
    if (!path || !QFileInfo::exists(*path))
        return;
    const ReadOutcome outcome = readProjectFile(*path);
    if (outcome.kind == Kind::newerVersion) {
        m_window.logStore().add(LogEntry::Level::warning, QStringLiteral("Last session saved by newer version"),
                                QStringLiteral("%1 version %2 > app supports %3. Skipped.")
                                    .arg(lastSessionFileName)
                                    .arg(outcome.version)
                                    .arg(ProjectDocument::currentVersion));
    }
    if (outcome.kind != Kind::ok) {
        keepUnreadableLastSession(*path);
        return;
    }
    applyProject(*outcome.document);
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

} // namespace

void ProjectSession::saveLastSession()
{
    const auto path = lastSessionPath();
    if (!path)
        return;
    ProjectDocument document = makeProjectDocument();
    const VideoRestoreTask *restoring = m_videoImportTask.data();
    if (restoring && !restoring->isCancelled() && m_window.engine().importGeneration() == restoring->generation) {
        // Quit before the project's video is back: its pieces are not in the timeline yet.
        document.videoFiles = restoring->savedFiles;
        document.videoSegments = restoring->savedSegments;
    }
    ProjectCodingError codingError;
    const auto bytes = document.encode(ProjectDocument::Style::session, &codingError);
    QString description;
    if (!bytes)
        description = codingError.message();
    else if (writeAtomically(*path, *bytes, &description))
        return;
    m_window.logStore().add(LogEntry::Level::warning, QStringLiteral("Save last session failed"),
                            description + QStringLiteral("\nPath: ") + *path);
}

// ---- saving

bool ProjectSession::saveProject(const QUrl &target)
{
    const QString path = target.toLocalFile();
    ProjectCodingError codingError;
    const auto bytes = makeProjectDocument().encode(ProjectDocument::Style::saved, &codingError);
    if (!bytes) {
        presentError(codingError.message());
        return false;
    }
    QString reason;
    if (!writeAtomically(path, *bytes, &reason)) {
        presentError(tr("The project cannot be saved to \"%1\": %2").arg(path, reason));
        return false;
    }
    m_window.logStore().add(LogEntry::Level::info, QStringLiteral("Save Project"), path);
    return true;
}

void ProjectSession::handleSaveProject()
{
    if (m_projectURL) {
        saveProject(*m_projectURL);
        return;
    }
    const auto url = m_panels.chooseSaveLocation(QStringLiteral("Untitled.rrl"), QString());
    // The project's file changes only once it holds the project.
    if (url && saveProject(*url))
        setProjectURL(*url);
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
    const auto url = m_panels.chooseSaveLocation(name, folder);
    if (url && saveProject(*url))
        setProjectURL(*url);
}

} // namespace routereel
