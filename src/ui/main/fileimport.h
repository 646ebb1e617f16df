#pragma once

#include "timeline/videoimportchain.h"

#include <QFuture>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>

class QWidget;

namespace routereel {

class GPXService;
class LogStore;
class TimelineEngine;

// Brings video and track files into the window's document, from the open panel
// and from drops. Videos go through the chained video import; each track file is
// parsed on the thread pool and added only while the engine's import generation
// is the one its import started with. Failures reach the window's error road.
class FileImport : public QObject {
    Q_OBJECT

public:
    // The open panel: the chosen files, nothing when cancelled.
    using Panel = std::function<QList<QUrl>(const QStringList &extensions)>;
    using ErrorRoad = std::function<void(const QString &message)>;
    // Opens a dropped project file in the window, then calls `then` (opened or refused).
    using ProjectRoad = std::function<void(const QUrl &url, std::function<void()> then)>;
    // Runs an import once every project asked for before it is read and its video restored.
    using Gate = std::function<void(std::function<void()> import)>;

    static const QStringList videoFileExtensions;
    static const QStringList trackFileExtensions;

    FileImport(TimelineEngine &engine, GPXService &gpx, LogStore &log, ErrorRoad presentError, QWidget *window);

    // The files among `urls` whose lower-cased extension is one of `extensions`, in order.
    static QList<QUrl> filterFileURLs(const QList<QUrl> &urls, const QStringList &extensions);
    // Name filters for the panel, upper-case patterns included (Linux panels match case).
    static QStringList nameFilters(const QStringList &extensions);

    QList<QUrl> presentImportPanel(const QStringList &extensions);
    // Videos and tracks in one selection.
    void importFiles();
    void importVideoFromPanel();
    void importTracksFromPanel();
    // The imports run in the order asked, after the projects asked for before
    // them are read and their video restored (see setGate()).
    void importVideo(const QList<QUrl> &urls);
    void importTracks(const QUrl &url);
    // In drop order each project file opens and each track file is imported;
    // the videos go as one chained import. Other files are ignored. A project
    // that opens stops the videos and the tracks dropped before it.
    void importDropped(const QList<QUrl> &urls);
    // Stops the running and waiting video imports (a project is being opened).
    void cancelVideoImport() { m_videos.cancel(); }

    VideoImportChain &videoImports() { return m_videos; }
    void setPanel(Panel panel) { m_panel = std::move(panel); }
    void setProjectRoad(ProjectRoad open) { m_openProject = std::move(open); }
    // `hold` keeps what is asked after an import waiting until it has landed (or was
    // dropped); it is given the files the import reads.
    using Hold = std::function<void(QFuture<void> settled, const QList<QUrl> &files)>;
    void setGate(Gate gate, Hold hold = {})
    {
        m_gate = std::move(gate);
        m_hold = std::move(hold);
    }
    // What an import of `urls` is called where the user reads what is under way.
    static QString importName(const QList<QUrl> &urls);

private:
    struct Drop;
    QList<QUrl> runPanel(const QStringList &extensions);
    void continueDrop(const std::shared_ptr<Drop> &drop);
    void whenReady(std::function<void()> import);
    void importTrackList(const QList<QUrl> &urls);
    void startTrackImport(const QUrl &url);

    TimelineEngine &m_engine;
    GPXService &m_gpx;
    LogStore &m_log;
    ErrorRoad m_presentError;
    QWidget *m_window;
    VideoImportChain m_videos;
    Panel m_panel;
    ProjectRoad m_openProject;
    Gate m_gate;
    Hold m_hold;
};

} // namespace routereel
