#include "ui/main/fileimport.h"
#include "ui/main/mainwindow.h"
#include "ui/main/windowalerts.h"

#include "project/projectsession.h"
#include "timeline/timelineengine.h"
#include "tracks/gpxservice.h"
#include "tracks/logstore.h"

#include "support/clipgenerator.h"
#include "support/waitfor.h"

#include <QApplication>
#include <QDropEvent>
#include <QFile>
#include <QMessageBox>
#include <QMimeData>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace routereel;
using testsupport::waitFor;

namespace {

struct Files {
    QTemporaryDir dir;
    QUrl file(const QString &name) const { return QUrl::fromLocalFile(dir.filePath(name)); }
    QUrl clip(const QString &name) const
    {
        return QUrl::fromLocalFile(testsupport::makeClip(dir.path(), name, {.seconds = 1, .audio = false}));
    }
    QUrl track(const QString &name, const QByteArray &content = {}) const
    {
        if (content.isEmpty())
            QFile::copy(QStringLiteral(ROUTEREEL_TEST_DATA "/tracks/ride.gpx"), dir.filePath(name));
        else {
            QFile f(dir.filePath(name));
            f.open(QIODevice::WriteOnly);
            f.write(content);
        }
        return file(name);
    }
};

void drop(MainWindow &window, const QList<QUrl> &urls)
{
    QMimeData mime;
    mime.setUrls(urls);
    QDragEnterEvent enter(QPoint(40, 40), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent event(QPointF(40, 40), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &event);
    EXPECT_TRUE(event.isAccepted());
}

QStringList titles(const LogStore &log)
{
    QStringList out;
    for (const LogEntry &e : log.entries())
        out.prepend(e.title);
    return out;
}

} // namespace

TEST(FileImport, PanelTakesVideosAndTracksOfEitherCase)
{
    EXPECT_EQ(FileImport::filterFileURLs({QUrl::fromLocalFile("/a/CLIP.MP4"), QUrl("https://x/b.gpx"),
                                          QUrl::fromLocalFile("/a/B.GPX"), QUrl::fromLocalFile("/a/n.txt")},
                                         FileImport::trackFileExtensions),
              QList<QUrl>{QUrl::fromLocalFile("/a/B.GPX")});
    EXPECT_TRUE(FileImport::nameFilters(FileImport::videoFileExtensions).first().contains("*.mp4 *.MP4"));

    Files files;
    MainWindow window({.makePlayer = {}, .network = QNetworkInformation::Reachability::Online});
    QStringList offered;
    window.fileImport().setPanel([&](const QStringList &extensions) {
        offered = extensions;
        return QList<QUrl>{files.clip("CLIP.MP4"), files.track("B.GPX"), files.track("notes.txt")};
    });
    window.importFiles();
    EXPECT_EQ(offered, FileImport::videoFileExtensions + FileImport::trackFileExtensions);
    ASSERT_TRUE(waitFor([&] { return window.engine().videoSources().size() == 1 && window.engine().segments().size() == 1; }));
    EXPECT_EQ(window.gpxService().tracks().size(), 1);
    EXPECT_EQ(window.engine().canvasOrigin(), QSizeF(320, 240));
    QStringList logged = titles(window.logStore());
    logged.sort();
    EXPECT_EQ(logged, QStringList({"Import GPX", "Import Video"}));

    // A track the reader refuses: its message reaches the alert.
    window.show();
    window.fileImport().importTracks(files.track("bad.gpx", "<gpx><trk><trkseg></trkseg></trk></gpx>"));
    ASSERT_TRUE(waitFor([&] { return window.windowState().showError(); }));
    EXPECT_EQ(window.alerts().errorBox()->text(), QStringLiteral("GPX file contains no track points"));
}

TEST(FileImport, DropOpensProjectsFirstThenImportsIntoThem)
{
    Files files;
    const QUrl project = files.file("Trip.RRL");
    QFile newer(QStringLiteral(ROUTEREEL_TEST_DATA "/projects/version-newer.rrl"));
    MainWindow window({.makePlayer = {}, .network = QNetworkInformation::Reachability::Online});
    ASSERT_TRUE(window.session().saveProject(project));
    window.show();

    // The track comes before the project in drop order and still lands in it.
    drop(window, {files.track("ride.gpx"), project, files.file("notes.txt")});
    ASSERT_TRUE(waitFor([&] { return window.gpxService().tracks().size() == 1; }));
    EXPECT_EQ(window.windowState().projectURL(), project);
    EXPECT_EQ(titles(window.logStore()), QStringList({"Save Project", "Open Project", "Import GPX"}));

    drop(window, {QUrl::fromLocalFile(newer.fileName())});
    ASSERT_TRUE(waitFor([&] { return window.windowState().showError(); }));
    EXPECT_EQ(window.alerts().errorBox()->text(),
              QStringLiteral("This project was saved by a newer version of routereel (v6). Please update the app "
                             "and try again."));
    EXPECT_EQ(window.gpxService().tracks().size(), 1);
}
