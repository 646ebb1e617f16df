// A project handed over by a second launch while the user answers a panel: the
// panel's answer is about the project the user saw, the handed-over one opens after.
#include "applicationshell.h"
#include "singleinstance.h"

#include "export/exportqueue.h"
#include "export/exporttestutil.h"
#include "project/projectfakes.h"
#include "project/projectsession.h"
#include "tracks/logstore.h"
#include "ui/main/exportaction.h"
#include "ui/main/mainwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <random>

using namespace routereel;
using exporttest::waitFor;
using projecttest::baseDocument;
using projecttest::readAll;
using projecttest::writeFile;
using projecttest::writeGPX;

namespace {

// A window whose panels run `whilePanelOpen` before they answer `answer`.
class PanelWindow : public MainWindow {
public:
    PanelWindow() : MainWindow({.makePlayer = {}, .network = QNetworkInformation::Reachability::Online}) {}
    std::function<void()> whilePanelOpen;
    QUrl answer;
    std::optional<QUrl> chooseSaveLocation(const QString &, const QString &) override { return panel(); }
    std::optional<QUrl> chooseProjectToOpen() override { return panel(); }
    std::optional<QUrl> panel()
    {
        whilePanelOpen();
        return answer;
    }
};

// A project in overlay mode with `tracks` tracks and only the time widget: it exports off line.
QUrl project(const QString &dir, const QString &name, int tracks)
{
    ProjectDocument d = baseDocument();
    d.compositionMode = QStringLiteral("Overlay");
    d.map.enabled = false;
    d.speedWidget.enabled = false;
    for (int i = 0; i < tracks; ++i) {
        const QString id = ProjectDocument::uuidText(QUuid::createUuid());
        d.gpxFiles.append({writeGPX(dir, name + QString::number(i) + ".gpx", 20), std::nullopt, id});
        d.segments.append(SegmentData{ProjectDocument::uuidText(QUuid::createUuid()), id, 0, 19, 20.0 * i});
    }
    const QString path = dir + "/" + name + ".rrl";
    EXPECT_TRUE(writeFile(path, *d.encode(ProjectDocument::Style::saved)));
    return QUrl::fromLocalFile(path);
}

qsizetype tracksIn(const QUrl &file)
{
    const auto d = ProjectDocument::decode(readAll(file.toLocalFile()));
    return d ? d->gpxFiles.size() : -1;
}

} // namespace

TEST(HandOver, AProjectHandedOverWhileAPanelIsOpenOpensAfterTheAnswer)
{
    enum class Panel { saveAs, untitledSave, exportSave, open };
    std::vector<Panel> panels{Panel::saveAs, Panel::untitledSave, Panel::exportSave, Panel::open};
    const unsigned seed = std::random_device{}();
    std::shuffle(panels.begin(), panels.end(), std::mt19937(seed));
    SCOPED_TRACE(testing::Message() << "order drawn with seed " << seed);

    for (const Panel panel : panels) {
        const char *names[] = {"Save As", "untitled Save", "the export's save panel", "Open"};
        SCOPED_TRACE(names[int(panel)]);
        QTemporaryDir dir;
        const QUrl p1 = project(dir.path(), "p1", 1), p2 = project(dir.path(), "p2", 2), p3 = project(dir.path(), "p3", 3);
        PanelWindow w;
        ApplicationShell shell(w);
        SingleInstance instance(dir.filePath("routereel-instance"));
        ASSERT_TRUE(instance.listen());
        shell.attach(instance);
        testsupport::FakeFfmpegSpec spec;
        spec.runBody = "exec sleep 600";
        exporttest::useFakeFfmpeg(*w.exportQueue().exporter(), dir.filePath("ffmpeg"), spec);
        w.show();
        ASSERT_TRUE(waitFor([&] { return w.session().didAttemptAutoRestore() && w.session().isSettled(); }, 30'000));
        if (panel == Panel::untitledSave)
            w.session().applyProject(*ProjectDocument::decode(readAll(p1.toLocalFile())));
        else
            w.openProjectURL(p1);
        ASSERT_TRUE(waitFor([&] {
            return w.gpxService().tracks().size() == 1 && w.session().isSettled() && !w.session().isRestoringVideo();
        }, 30'000));

        // A second launch hands P2 over while the panel is open, and ends.
        w.whilePanelOpen = [&] {
            QProcess launch;
            launch.start(ROUTEREEL_LAUNCHER_BINARY, {instance.name(), "0", p2.toLocalFile(), "0", "0", "30000"});
            ASSERT_TRUE(waitFor([&] { return launch.state() == QProcess::NotRunning; }, 60'000));
            EXPECT_EQ(launch.readAllStandardOutput().trimmed(), "handedOver");
            // Whatever the window makes of it meanwhile is done before the answer.
            waitFor([&] { return !w.session().hasFileWork(); }, 30'000);
            EXPECT_EQ(w.gpxService().tracks().size(), 1) << "the project changed behind the panel";
        };
        w.answer = panel == Panel::open ? p3 : QUrl::fromLocalFile(dir.filePath(panel == Panel::exportSave ? "out.mp4" : "chosen.rrl"));
        w.exportAction().setSaveDialog([&](QWidget *, const QString &) { return *w.panel(); });
        switch (panel) {
        case Panel::saveAs: w.session().handleSaveProjectAs(); break;
        case Panel::untitledSave: w.session().handleSaveProject(); break;
        case Panel::exportSave: w.exportAction().startExport(); break;
        case Panel::open: w.session().presentOpenProjectPanel(); break;
        }

        // P2 opens afterwards, in its turn.
        ASSERT_TRUE(waitFor([&] { return w.session().projectURL() == p2 && w.session().isSettled(); }, 30'000))
            << "waiting for: " << w.session().quitWaitsFor().join(", ").toStdString() << "; error shown: "
            << (w.windowState().showError() ? w.windowState().errorMessage().toStdString() : "none");
        EXPECT_EQ(w.gpxService().tracks().size(), 2);
        switch (panel) {
        case Panel::saveAs:
        case Panel::untitledSave:
            EXPECT_EQ(tracksIn(w.answer), 1) << "the chosen file holds the project the user saw";
            break;
        case Panel::exportSave: {
            ExportQueue &queue = w.exportQueue();
            ASSERT_TRUE(waitFor([&] { return queue.current().has_value(); }, 30'000));
            EXPECT_EQ(queue.current()->task.tracks.size(), 1) << "the export renders the project the user saw";
            queue.setTerminationCompletion([] {});
            queue.exporter()->kill();
            ASSERT_TRUE(waitFor([&] { return !queue.current(); }, 30'000));
            break;
        }
        case Panel::open: {
            QStringList opened;
            for (const LogEntry &entry : w.logStore().entries()) {
                if (entry.title == "Open Project")
                    opened.prepend(QFileInfo(entry.detail).fileName());
            }
            EXPECT_EQ(opened, (QStringList{"p1.rrl", "p3.rrl", "p2.rrl"}));
            break;
        }
        }
    }
}

// The window's own sheets and alerts are real dialogs, not the panels above: a
// project handed over while one is shown waits until it closes.
TEST(HandOver, AProjectHandedOverWhileASheetOrAnAlertIsShownOpensWhenItCloses)
{
    QTemporaryDir dir;
    const QUrl p1 = project(dir.path(), "p1", 1), p2 = project(dir.path(), "p2", 2), p3 = project(dir.path(), "p3", 3);
    MainWindow w({.makePlayer = {}, .network = QNetworkInformation::Reachability::Online});
    w.show();
    ASSERT_TRUE(waitFor([&] { return w.session().didAttemptAutoRestore() && w.session().isSettled(); }, 30'000));
    w.openProjectURL(p1);
    ASSERT_TRUE(waitFor([&] { return w.session().projectURL() == p1 && w.session().isSettled(); }, 30'000));

    const std::pair<const char *, std::function<void()>> shown[] = {
        {"the export sheet", [&] { w.windowState().setShowExportSheet(true); }},
        {"the error alert", [&] { w.presentError(QStringLiteral("Something failed")); }},
    };
    QUrl seen = p1;
    for (const auto &[name, show] : shown) {
        SCOPED_TRACE(name);
        show();
        ASSERT_TRUE(waitFor([] { return QApplication::activeModalWidget() != nullptr; }, 10'000));
        const QUrl handed = seen == p1 ? p2 : p3;
        w.openProjectURL(handed);
        // Nothing may change behind it, however long it stays open.
        QElapsedTimer open;
        open.start();
        waitFor([&] { return w.session().projectURL() != seen || open.elapsed() > 1000; }, 5'000);
        EXPECT_EQ(w.session().projectURL(), seen) << "the project changed behind " << name;

        QApplication::activeModalWidget()->close();
        ASSERT_TRUE(waitFor([&] { return w.session().projectURL() == handed && w.session().isSettled(); }, 30'000));
        seen = handed;
    }
    EXPECT_EQ(w.gpxService().tracks().size(), 3);
}
