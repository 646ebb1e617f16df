#pragma once

#include "keptfiles.h"
#include "projectdocument.h"
#include "projectstage.h"

#include "media/videosource.h"

#include <QDeadlineTimer>
#include <QFuture>
#include <QObject>
#include <QPointer>
#include <QSizeF>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class QFile;

namespace routereel {

class LastSessionPolicy;
class ProjectAlerts;
class ProjectFilesOnDisk;
class ProjectFilePanels;
class ProjectWindow;
class VideoRestoreTask;

// Moves whole projects between the window's live models and files: open, save,
// save as, the last session written at quit and restored once at start, dropped
// and handed-over project files, the asynchronous restore of a project's video,
// and the one error road of all of them. Main thread only; the files themselves
// are read and written on the project file queue. Its stage() keeps the order of
// events: Save, Save As and opens run after the reads asked before them have
// been applied, and so do the window's imports and (refused meanwhile) exports.
//
// The window wires it up once: installReactions() after construction,
// windowDidAppear() when first shown, saveLastSession() on
// QCoreApplication::aboutToQuit, the menu commands to handleSaveProject(),
// handleSaveProjectAs() and presentOpenProjectPanel(), file drops to
// dropPerform(), and a change of its composition mode (queued, like the other
// reactions) to cancelRestoreSeekAndRebuildPlayer().
class ProjectSession : public QObject {
    Q_OBJECT

public:
    // Probes one video file as a source with the given id (VideoSource::load by default).
    using VideoProbe = std::function<QFuture<VideoSource>(const QUrl &url, const QUuid &sourceID)>;

    // Project files larger than this are refused before they are read.
    static constexpr qint64 maximumFileSize = qint64(32) * 1024 * 1024;
    static constexpr const char *fileExtension = "rrl";

    ProjectSession(ProjectWindow &window, ProjectAlerts &alerts, ProjectFilePanels &panels,
                   QObject *parent = nullptr);
    ~ProjectSession() override;

    // The file of the open project; set by open, and by save and save as once written.
    std::optional<QUrl> projectURL() const { return m_projectURL; }
    bool didAttemptAutoRestore() const { return m_didAttemptAutoRestore; }
    // Files no export may replace: the open project's file and the last-session
    // file (the export action passes them to its task builder).
    QStringList protectedFiles() const;

    // ---- files
    // The window's first appearance: opens the file handed over at start
    // (command line, desktop), which counts as the restore, or else restores
    // the last session once.
    void windowDidAppear(const std::optional<QUrl> &pendingOpenURL);
    // Reads the file off the window's thread, then applies it. Opens are applied
    // in the order they were asked for; `then` runs after this one was applied
    // or refused.
    void openProject(const QUrl &url, std::function<void()> then = {});
    // Reads the last session once, retrying a read that fails a few times (a
    // network home that hiccups). A session that still cannot be read is logged
    // and never overwritten by this run: it comes back on the next launch.
    void restoreLastSession();
    static constexpr int lastSessionReadAttempts = 3;
    static constexpr int lastSessionRetryPauseMs = 300;
    enum class LastSessionWrite {
        beforeQuit,   // waits for the write, at most lastSessionWaitMs
        inBackground, // returns at once; a failure is logged when it ends
    };
    static constexpr int lastSessionWaitMs = 5000;
    // The live state to the last-session file, compact. Before a quit, a project
    // or last session still being read is first waited for (within
    // lastSessionWaitMs) and applied. Nothing is written while the state has not
    // received what was asked to be read, nor over a last session that could
    // not be read or kept: false then, and the file stays as it is.
    bool saveLastSession(LastSessionWrite how = LastSessionWrite::beforeQuit);
    // "LastSession.rrl" in the application's data folder "routereel"; the folder
    // is created on every call. Nothing when there is no data folder.
    static std::optional<QString> lastSessionPath();
    // The copy kept of a last-session file that could not be restored.
    static QString lastSessionBackupPath(const QString &lastSessionPath);
    // Writes the live state to `target`, indented with sorted keys, off the
    // window's thread; `done` gets whether it was written (a failure is already
    // reported).
    void startSaveProject(const QUrl &target, std::function<void(bool written)> done = {});
    // The same, waiting for the write (at most lastSessionWaitMs): for callers
    // outside the window's roads. False on failure (already reported).
    bool saveProject(const QUrl &target);
    void handleSaveProject();
    void handleSaveProjectAs();
    void presentOpenProjectPanel();
    // A project file handed over while running; an empty or non-file URL is ignored.
    void handleOpenProjectURL(const QUrl &url);
    // Always accepts; on the next turn of the event loop hands `urls` to the window's import.
    bool dropPerform(const QList<QUrl> &urls);
    static bool isProjectFile(const QUrl &url);
    // The first command-line argument that is not an option, as a file URL.
    static std::optional<QUrl> projectFromArguments(const QStringList &arguments);

    // ---- documents
    ProjectDocument makeProjectDocument() const;
    // Replaces the whole window state with `document` (decoded, version-tested and
    // validated), whose files were looked up in `files`. The first form looks them
    // up itself, reading the tracks on the calling thread.
    void applyProject(const ProjectDocument &document);
    void applyProject(const ProjectDocument &document, const ProjectFilesOnDisk &files);
    // A candidate URL for a saved file reference; the caller tests that it exists.
    // Bookmarks are another platform's and are ignored: the path decides, and
    // only an absolute path names a file.
    static std::optional<QUrl> resolveFileReference(const std::optional<QString> &bookmark, const QString &path,
                                                    bool isTrackFile);
    // The layout to which widget positions refer: the reference canvas of the
    // engine's canvas (1920 x 1080 when unset) with the window's layout size.
    QSizeF resolveLayoutSize() const;

    // ---- video restore and player
    // The saved piece as restored against the loaded sources: its end clamped to
    // its clip's length when it lies within the file's stated length or a frame of
    // its end; none for a piece outside its clip.
    static std::optional<VideoSegment> restorableVideoSegment(const VideoSegment &segment,
                                                              const QList<VideoSource> &sources);
    void rebuildPlayer();
    // Reaction to a change of the composition mode.
    void cancelRestoreSeekAndRebuildPlayer();
    // Reaction to a loading error of the player.
    void failPendingRestore(const QString &message);
    // Rescales the six widget positions from the window's layout size to `newLayout`.
    void restoreWidgetPositions(const QSizeF &newLayout);
    // Connects the reactions to the engine and the player (sources, segments,
    // canvas, loading errors) and applies the layout reaction once.
    void installReactions();
    bool hasPendingRestoreSeek() const { return !m_pendingRestoreSeek.isNull(); }
    // A project is still being read, or its video probed: the timeline is not whole yet.
    bool isRestoringVideo() const { return !m_videoImportTask.isNull() || m_stage.isReading(); }
    // Reads or writes of project files that have not ended on the window's thread yet.
    bool hasFileWork() const;
    // Where every command of the window asks whether a project is read, applied or restored.
    ProjectStage &stage() { return m_stage; }
    const ProjectStage &stage() const { return m_stage; }

    // ---- the quit
    // Nothing the user asked is left to carry out, and no file is being written.
    bool isSettled() const { return m_stage.isIdle() && !hasFileWork(); }
    // What the quit still waits for, named as the user would name it.
    QStringList quitWaitsFor() const;
    // Changes whenever what the quit waits for moves (a file read further, a command carried out).
    ProjectStage::Motion quitMotion() const;
    // The quit goes on without what is left, which is told (log and system log);
    // the last session written at quit then waits for nothing more.
    void giveUpBeforeQuit(const QString &why);
    // What the user reads of a quit given up: "Not carried out: ..." and why.
    static QString notCarriedOutText(const QStringList &what, const QString &why);

    // ---- errors
    // Logs the whole message as an error and raises the alert with its first line.
    void presentError(const QString &message);

    void setVideoProbe(VideoProbe probe) { m_probe = std::move(probe); }

    // What reading one project file gave (projectreadoutcome.h).
    struct ReadOutcome;
    // The whole file, at most `limit` bytes plus one; false with the system's reason on a read error.
    static bool readWhole(QFile &file, qint64 limit, QByteArray *bytes, QString *reason);

signals:
    void projectURLChanged();
    // A restore of a project's video started: imports started from now on wait for it.
    void videoRestoreStarted(QObject *task);

private:
    // Read, decode, version test and validation shared by open and restore, and
    // the project's files looked up. Any thread.
    static ReadOutcome readProjectFile(const QString &path);
    void queueRead(const QString &path, int attempts, const QString &what,
                   std::function<void(const ReadOutcome &)> apply);
    void finishOpen(const QUrl &url, const ReadOutcome &outcome);
    void finishLastSessionRestore(const QString &path, const ReadOutcome &outcome);
    // The document a save writes: while the project's video is still being
    // restored, its files, pieces and playhead as they were saved.
    ProjectDocument documentToSave(ProjectDocument::Style style) const;
    QFuture<std::optional<QString>> queueWrite(const QString &path, const ProjectDocument &document,
                                                ProjectDocument::Style style);
    bool finishSave(const QString &path, const std::optional<QString> &failure);
    void finishLastSessionWrite(const QString &path, const std::optional<QString> &failure);
    void setProjectURL(const QUrl &url);
    // Runs one of the window's panels as an answer of the stage.
    std::optional<QUrl> choose(const std::function<std::optional<QUrl>()> &panel);
    // Writes to `target` once every read asked before has been applied; the
    // window names `target` afterwards only when it still shows what was written.
    void saveWhenRead(const QUrl &target, bool nameTarget);
    // Waits, within `deadline`, for the writes this session started to be reported.
    void waitForWrites(const QDeadlineTimer &deadline);
    // Logs what will never be carried out, naming each command.
    void tellNotCarriedOut(const QStringList &what, const QString &why);
    void forgetFoundFiles();
    void continueVideoRestore(VideoRestoreTask *task);
    // A clip of the restore that gave no source: kept when `outcome` keeps it.
    void keepUnread(const VideoRestoreTask *task, const QUuid &sourceID, KeptFiles::Outcome outcome);
    void finishVideoRestore(VideoRestoreTask *task);
    void seekToRestoredPlayhead(const QUuid &generation, double playheadTime);
    void cancelPendingRestoreSeek();
    void armRestoreSeek(const QUuid &generation, double playheadTime);

    ProjectWindow &m_window;
    ProjectAlerts &m_alerts;
    ProjectFilePanels &m_panels;
    VideoProbe m_probe;

    std::optional<QUrl> m_projectURL;
    bool m_didAttemptAutoRestore = false;
    QPointer<VideoRestoreTask> m_videoImportTask;
    QPointer<QObject> m_pendingRestoreSeek;
    // The saved playhead until the restore's seek has moved there.
    std::optional<double> m_restoringPlayhead;
    ProjectStage m_stage;
    int m_writes = 0;
    quint64 m_writesDone = 0;
    // The quit gave up on what was left: it is not waited for again.
    bool m_gaveUp = false;
    // A write before the quit is under way: failures also go to the system log.
    bool m_ending = false;
    // Renewed by every apply: a save names its file only if no project came meanwhile.
    quint64 m_applies = 0;

    // What is kept, protected, backed up and told of the last session.
    std::unique_ptr<LastSessionPolicy> m_lastSession;
    // The applied project's files that are away or that the disk did not give.
    KeptFiles m_keptFiles;
};

} // namespace routereel
