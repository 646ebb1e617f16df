#include "fileimport.h"

#include "project/projectsession.h"
#include "timeline/timelineengine.h"
#include "tracks/gpxservice.h"
#include "tracks/logstore.h"
#include "ui/panels/screenfit.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QPointer>

namespace routereel {

const QStringList FileImport::videoFileExtensions = {QStringLiteral("mp4"), QStringLiteral("mov"),
                                                     QStringLiteral("m4v")};
const QStringList FileImport::trackFileExtensions = {QStringLiteral("gpx"), QStringLiteral("tcx"),
                                                     QStringLiteral("igc")};

FileImport::FileImport(TimelineEngine &engine, GPXService &gpx, LogStore &log, ErrorRoad presentError,
                       QWidget *window)
    : QObject(window),
      m_engine(engine),
      m_gpx(gpx),
      m_log(log),
      m_presentError(std::move(presentError)),
      m_window(window),
      m_videos(engine, log)
{
    connect(&m_videos, &VideoImportChain::failed, this, [this](const QString &message) { m_presentError(message); });
}

QList<QUrl> FileImport::filterFileURLs(const QList<QUrl> &urls, const QStringList &extensions)
{
    QList<QUrl> kept;
    for (const QUrl &url : urls) {
        if (url.isLocalFile() && extensions.contains(QFileInfo(url.toLocalFile()).suffix().toLower()))
            kept.append(url);
    }
    return kept;
}

QStringList FileImport::nameFilters(const QStringList &extensions)
{
    QStringList patterns;
    for (const QString &extension : extensions)
        patterns << QStringLiteral("*.") + extension << QStringLiteral("*.") + extension.toUpper();
    return {tr("Supported files (%1)").arg(patterns.join(QLatin1Char(' ')))};
}

QList<QUrl> FileImport::runPanel(const QStringList &extensions)
{
    if (m_panel)
        return m_panel(extensions);
    QFileDialog dialog(m_window);
    screenfit::fitPanel(&dialog);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilters(nameFilters(extensions));
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedUrls();
}

QList<QUrl> FileImport::presentImportPanel(const QStringList &extensions)
{
    return filterFileURLs(runPanel(extensions), extensions);
}

void FileImport::importFiles()
{
    const QList<QUrl> chosen = presentImportPanel(videoFileExtensions + trackFileExtensions);
    importVideo(filterFileURLs(chosen, videoFileExtensions));
    importTrackList(filterFileURLs(chosen, trackFileExtensions));
}

void FileImport::importVideoFromPanel()
{
    importVideo(presentImportPanel(videoFileExtensions));
}

void FileImport::importTracksFromPanel()
{
    importTrackList(presentImportPanel(trackFileExtensions));
}

QString FileImport::importName(const QList<QUrl> &urls)
{
    QStringList names;
    for (const QUrl &url : urls)
        names << QFileInfo(url.toLocalFile()).fileName();
    return tr("Import \"%1\"").arg(names.join(QStringLiteral("\", \"")));
}

void FileImport::whenReady(std::function<void()> import)
{
    // The import may run after this object is gone (the window closed while a project was read).
    QPointer<FileImport> self(this);
    auto guarded = [self, import = std::move(import)] {
        if (self)
            import();
    };
    if (m_gate)
        m_gate(std::move(guarded));
    else
        guarded();
}

void FileImport::importVideo(const QList<QUrl> &urls)
{
    if (urls.isEmpty())
        return;
    whenReady([this, urls] {
        const QFuture<void> settled = m_videos.import(urls);
        if (m_hold)
            m_hold(settled, urls);
    });
}

void FileImport::importTracks(const QUrl &url)
{
    importTrackList({url});
}

void FileImport::importTrackList(const QList<QUrl> &urls)
{
    if (urls.isEmpty())
        return;
    // One selection is one import: its files are parsed side by side.
    whenReady([this, urls] {
        for (const QUrl &url : urls)
            startTrackImport(url);
    });
}

void FileImport::startTrackImport(const QUrl &url)
{
    const QUuid generation = m_engine.importGeneration();
    QPointer<FileImport> self(this);
    const QFuture<void> settled = m_gpx.loadTrackInBackground(
        url, [self, generation] { return self && self->m_engine.importGeneration() == generation; },
        [self, url](const TrackResult<GPXTrack> &result) {
            if (!self)
                return;
            if (!result) {
                self->m_presentError(result.error().message());
                return;
            }
            self->m_gpx.addTrack(result.value());
            self->m_engine.importGPX(result.value());
            self->m_log.add(LogEntry::Level::info, QStringLiteral("Import GPX"), url.toLocalFile());
        });
    if (m_hold)
        m_hold(settled, {url});
}

// What is left of one drop while a project file in it is being read.
struct FileImport::Drop {
    QList<QUrl> urls;
    qsizetype next = 0;
    QUuid generation;         // the engine's when the drop came
    QList<QUrl> tracks;       // to import once the drop is handled, unless a project opens after them
};

void FileImport::importDropped(const QList<QUrl> &urls)
{
    whenReady([this, urls] {
        auto drop = std::make_shared<Drop>();
        drop->urls = urls;
        drop->generation = m_engine.importGeneration();
        continueDrop(drop);
    });
}

void FileImport::continueDrop(const std::shared_ptr<Drop> &drop)
{
    while (drop->next < drop->urls.size()) {
        const QUrl &url = drop->urls.at(drop->next++);
        if (ProjectSession::isProjectFile(url) && m_openProject) {
            // The project is read off the window's thread: the rest of the drop waits for it.
            const QUuid before = m_engine.importGeneration();
            QPointer<FileImport> self(this);
            m_openProject(url, [self, drop, before] {
                if (!self)
                    return;
                // A project that opened replaced the timeline: what was dropped before it goes nowhere.
                if (self->m_engine.importGeneration() != before)
                    drop->tracks.clear();
                self->continueDrop(drop);
            });
            return;
        }
        if (!filterFileURLs({url}, trackFileExtensions).isEmpty())
            drop->tracks.append(url);
    }
    // The videos were dropped before every project in the drop: one that opened stops them.
    if (m_engine.importGeneration() == drop->generation)
        importVideo(filterFileURLs(drop->urls, videoFileExtensions));
    importTrackList(drop->tracks);
}

} // namespace routereel
