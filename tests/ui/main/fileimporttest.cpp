#include "ui/main/fileimport.h"
#include "ui/main/mainwindow.h"
#include "ui/main/windowalerts.h"

#include "project/projectsession.h"
#include "timeline/timelineengine.h"
#include "timeline/views/playerview.h"
#include "ui/panels/previewareaview.h"
#include "timeline/playbackclock.h"
#include "tracks/gpxservice.h"
#include "tracks/logstore.h"

#include "support/clipgenerator.h"
#include "support/testartifacts.h"
#include "support/waitfor.h"

#include <QApplication>
#include <QDropEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
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

TEST(FileImport, DropOpensProjectsInDropOrder)
{
    Files files;
    const QUrl empty = files.file("empty.rrl");
    const QUrl project = files.file("Trip.RRL");
    const QUrl clip = files.clip("ride.mp4");
    const QUrl track = files.track("ride.gpx");
    QFile newer(QStringLiteral(ROUTEREEL_TEST_DATA "/projects/version-newer.rrl"));
    MainWindow window({.makePlayer = {}, .network = QNetworkInformation::Reachability::Online});
    window.show();
    ASSERT_TRUE(waitFor([&] { return window.session().didAttemptAutoRestore(); }));
    ASSERT_TRUE(window.session().saveProject(empty));
    drop(window, {clip, track});
    ASSERT_TRUE(waitFor([&] { return window.engine().videoSegments().size() == 1 && window.engine().segments().size() == 1; }));
    ASSERT_TRUE(window.session().saveProject(project));
    const auto settled = [&] {
        // The imports a project stopped have had every chance to land.
        return waitFor([&] { return !window.fileImport().videoImports().isBusy() && !window.session().isRestoringVideo(); },
                       10'000)
            && !waitFor([] { return false; }, 500);
    };

    // The project's own clip and track dropped with it are not added again; a track after it is.
    qsizetype logged = titles(window.logStore()).size();
    drop(window, {clip, track, project, files.track("late.gpx")});
    ASSERT_TRUE(waitFor([&] { return window.gpxService().tracks().size() == 2; }));
    ASSERT_TRUE(settled());
    EXPECT_EQ(window.windowState().projectURL(), project);
    EXPECT_EQ(window.engine().videoSources().size(), 1);
    EXPECT_EQ(window.engine().videoSegments().size(), 1);
    EXPECT_EQ(window.engine().segments().size(), 2);
    EXPECT_EQ(window.gpxService().tracks().size(), 2);
    EXPECT_EQ(titles(window.logStore()).mid(logged), QStringList({"Open Project", "Import GPX"}));
    saveTestArtifact(window.grab().toImage(), "fileimport-drop-with-project");

    // Two projects open one after the other; the second stays.
    logged = titles(window.logStore()).size();
    drop(window, {project, empty});
    ASSERT_TRUE(waitFor([&] { return window.windowState().projectURL() == empty; }));
    ASSERT_TRUE(settled());
    EXPECT_TRUE(window.engine().videoSources().isEmpty());
    EXPECT_TRUE(window.gpxService().tracks().isEmpty());
    EXPECT_EQ(titles(window.logStore()).mid(logged), QStringList({"Open Project", "Open Project"}));

    drop(window, {QUrl::fromLocalFile(newer.fileName()), track});
    ASSERT_TRUE(waitFor([&] { return window.windowState().showError(); }));
    EXPECT_EQ(window.alerts().errorBox()->text(),
              QStringLiteral("This project was saved by a newer version of routereel (v6). Please update the app "
                             "and try again."));
    ASSERT_TRUE(waitFor([&] { return window.gpxService().tracks().size() == 1; }));
    EXPECT_EQ(window.windowState().projectURL(), empty);
}

static double litShare(QWidget &view)
{
    const QImage image = view.grab().toImage();
    int lit = 0;
    for (int y = 0; y < image.height(); y += 4)
        for (int x = 0; x < image.width(); x += 4)
            lit += qGray(image.pixel(x, y)) > 40 ? 1 : 0;
    return lit / std::max(1.0, (image.width() / 4.0) * (image.height() / 4.0));
}

TEST(FileImport, PanelImportShowsTheFirstFrameAtOnce)
{
    Files files;
    QFile broken(files.dir.filePath("broken.mp4"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write(QByteArray(4096, 'x'));
    broken.close();
    testsupport::makeClip(files.dir.path(), "good.mp4", {.seconds = 2, .audio = false, .color = QColor(40, 160, 220)});
    testsupport::makeClip(files.dir.path(), "UPPER.MOV",
                          {.seconds = 2, .audio = false, .color = QColor(220, 160, 40), .container = "mov"});
    files.track("broken.gpx", "<gpx><trk><trkseg></trkseg></trk></gpx>");
    files.track("ride.gpx");
    MainWindow window({.makePlayer = {}, .network = QNetworkInformation::Reachability::Online});
    window.show();
    ASSERT_TRUE(waitFor([&] { return window.session().didAttemptAutoRestore(); }));

    // The empty preview's Import button, the five files typed into the open panel.
    QPushButton *importButton = nullptr;
    for (QPushButton *button : window.findChild<PreviewAreaView *>()->findChildren<QPushButton *>()) {
        if (button->isVisible())
            importButton = button;
    }
    ASSERT_TRUE(importButton);
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        ASSERT_TRUE(dialog);
        dialog->setDirectory(files.dir.path());
        auto *names = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        ASSERT_TRUE(names);
        names->setText(R"("broken.mp4" "good.mp4" "UPPER.MOV" "broken.gpx" "ride.gpx")");
        QMetaObject::invokeMethod(dialog, "accept");
    });
    QTest::mouseClick(importButton, Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return window.engine().videoSources().size() == 2 && window.gpxService().tracks().size() == 1; },
                        20'000));

    auto *view = window.findChild<PlayerView *>();
    ASSERT_TRUE(view);
    const bool shown = waitFor([&] { return litShare(*view) > 0.5; }, 10'000);
    saveTestArtifact(window.grab().toImage(), "fileimport-panel-first-frame");
    EXPECT_TRUE(shown);
    EXPECT_EQ(window.clock().playheadTime(), 0);
}
