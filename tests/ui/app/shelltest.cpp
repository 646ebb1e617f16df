// The application shell around a real main window: menus, the quit question
// over a real export queue (fake ffmpeg scripts), and files from outside.
#include "apptest.h"

#include "appdelegate.h"
#include "applicationmenus.h"
#include "applicationshell.h"
#include "singleinstance.h"

#include "export/exporttestutil.h"
#include "export/exportqueue.h"
#include "project/projectsession.h"
#include "support/loopbackhttpserver.h"
#include "support/markingtranslator.h"
#include "support/urlcatcher.h"
#include "tracks/logstore.h"
#include "updatechecker.h"
#include "ui/main/interfacelanguage.h"
#include "ui/main/mainwindow.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace routereel;
using apptest::AlertAnswerer;
using exporttest::waitFor;

namespace {

// A window and its shell over an export queue whose ffmpeg runs until stopped for
// outputs under "slow/", and ignores the request to stop under "stuck/".
struct Shell {
    explicit Shell(ApplicationShell::Options options = {})
        : window({.makePlayer = {}, .network = QNetworkInformation::Reachability::Online}), shell(window, options)
    {
        QDir(dir.path()).mkpath("slow");
        QDir(dir.path()).mkpath("stuck");
        testsupport::FakeFfmpegSpec spec;
        spec.runBody = "for last; do :; done; case \"$last\" in */slow/*) exec sleep 600;; */stuck/*) touch "
            + testsupport::shellQuote(dir.filePath("stuck-started")) + "; trap '' TERM; exec sleep 600;; esac";
        exporttest::useFakeFfmpeg(*window.exportQueue().exporter(), dir.filePath("ffmpeg"), spec);
        QCoreApplication::setApplicationVersion("1.0.0");
    }
    ~Shell()
    {
        ExportQueue &queue = window.exportQueue();
        queue.setTerminationCompletion([] {});
        if (queue.current())
            queue.exporter()->kill();
        waitFor([&] { return !queue.current(); }, 30'000);
    }
    void enqueue(const QString &name) { window.exportQueue().enqueue(exporttest::overlayTask(dir.filePath(name), 1)); }
    void showActive()
    {
        window.show();
        QApplication::setActiveWindow(&window);  // tests share one display
        ASSERT_TRUE(window.isActiveWindow());
    }
    // A key pressed in the window, active again after an alert.
    void press(Qt::Key key, Qt::KeyboardModifiers modifiers)
    {
        showActive();
        QTest::keyClick(&window, key, modifiers);
    }

    QTemporaryDir dir;
    MainWindow window;
    ApplicationShell shell;
};

// "Text [shortcut]" of each shown item of `menu`.
QStringList items(const QMenu *menu)
{
    QStringList list;
    for (const QAction *action : menu->actions())
        if (action->isVisible() && !action->isSeparator())
            list << QString(action->text() + " [" + action->shortcut().toString() + "]").remove(" []");
    return list;
}

QUrl savedProject(const QString &path)
{
    MainWindow writer({.makePlayer = {}, .network = QNetworkInformation::Reachability::Online});
    EXPECT_TRUE(writer.session().saveProject(QUrl::fromLocalFile(path)));
    return QUrl::fromLocalFile(path);
}

} // namespace

TEST(ApplicationShell, QuitAsksWhileExportsRunOrWaitThenCancelsThemAll)
{
    Shell s;
    s.showActive();
    ExportQueue &queue = s.window.exportQueue();
    for (const char *name : {"slow/a.mp4", "slow/b.mp4", "slow/c.mp4"})
        s.enqueue(name);
    const QUuid running = queue.current()->task.id;

    // Ctrl+Q, the close button and Ctrl+W ask the same; "Keep Running" cancels nothing.
    const std::function<void()> quits[] = {
        [&] { s.press(Qt::Key_Q, Qt::ControlModifier); },
        [&] { s.window.close(); },
        [&] { s.press(Qt::Key_W, Qt::ControlModifier); },
        [&] { s.press(Qt::Key_W, Qt::ControlModifier | Qt::AltModifier); },
    };
    for (const auto &quit : quits) {
        AlertAnswerer answerer("Keep Running", "quit-question-en");
        quit();
        ASSERT_EQ(answerer.alerts.size(), 1);
        EXPECT_EQ(answerer.alerts.first().text, "Exports in Progress");
        EXPECT_EQ(answerer.alerts.first().informative,
                  "1 export is running and 2 more are queued. Quitting will cancel all of them.");
        EXPECT_EQ(answerer.alerts.first().buttons, "Cancel Exports & Quit|Keep Running");
        EXPECT_TRUE(s.window.isVisible() && s.window.isEnabled());
        EXPECT_EQ(queue.current()->task.id, running);
        EXPECT_EQ(queue.pending().size(), 2);
    }
    {
        AlertAnswerer none("Keep Running");  // Shift+Ctrl+W is no quit
        s.press(Qt::Key_W, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_TRUE(none.alerts.isEmpty());
    }

    InterfaceLanguage::install("zh-Hans");
    {
        AlertAnswerer answerer("继续运行", "quit-question-zh");
        s.window.close();
        ASSERT_EQ(answerer.alerts.size(), 1);
        EXPECT_EQ(answerer.alerts.first().text, "导出进行中");
    }
    InterfaceLanguage::install("en");

    // Only waiting tasks, then one running: the other texts of the question.
    s.enqueue("slow/d.mp4");
    queue.setTerminationCompletion([] {});
    queue.cancel(running);
    ASSERT_TRUE(waitFor([&] { return !queue.current(); }, 30'000));
    const struct {
        std::function<void()> step;
        QString question;
    } states[] = {
        {[] {}, "3 exports are queued. Quitting will discard them."},
        {[&] {
             queue.cancel(queue.pending().at(2).task.id);
             queue.cancel(queue.pending().at(1).task.id);
         },
         "1 export is queued. Quitting will discard it."},
        {[&] { queue.startNextIfIdle(); }, "An export is currently running. Quitting will cancel it."},
    };
    for (const auto &state : states) {
        state.step();
        AlertAnswerer answerer("Keep Running");
        s.window.close();
        ASSERT_EQ(answerer.alerts.size(), 1);
        EXPECT_EQ(answerer.alerts.first().informative, state.question);
    }

    // Confirming stops the running export, disables the window meanwhile and then closes it.
    s.enqueue("slow/e.mp4");
    AlertAnswerer answerer("Cancel Exports & Quit");
    s.window.close();
    EXPECT_TRUE(s.window.isVisible());
    EXPECT_FALSE(s.window.isEnabled());
    ASSERT_TRUE(waitFor([&] { return !s.window.isVisible(); }, 30'000));
    EXPECT_FALSE(queue.isBusy());
    EXPECT_EQ(queue.history().first().status, ExportTaskStatus::cancelled());
    EXPECT_EQ(queue.history().at(1).task.outputURL.fileName(), "e.mp4");  // cancelled while waiting
    EXPECT_TRUE(QDir(s.dir.filePath("slow")).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
}

TEST(ApplicationShell, QuitWithoutExportsDoesNotAskAndAStuckExportIsKilled)
{
    {
        Shell idle;
        idle.window.show();
        AlertAnswerer answerer("Keep Running");
        EXPECT_TRUE(idle.window.close());
        EXPECT_TRUE(answerer.alerts.isEmpty());
    }
    ApplicationShell::Options options;
    options.quitWaitLimitMs = 300;
    Shell s(options);
    s.window.show();
    s.enqueue("stuck/a.mp4");
    ASSERT_TRUE(waitFor([&] { return QFile::exists(s.dir.filePath("stuck-started")); }, 30'000));
    AlertAnswerer answerer("Cancel Exports & Quit");
    s.window.close();
    testsupport::MarkingTranslator translator;  // a log title is data, in no language
    ASSERT_TRUE(waitFor([&] { return !s.window.isVisible(); }, 30'000));
    EXPECT_EQ(s.window.logStore().entries().first().title, "Export Stopped");
    ASSERT_TRUE(waitFor([&] { return !s.window.exportQueue().current(); }, 30'000));
    EXPECT_TRUE(QDir(s.dir.filePath("stuck")).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
}

TEST(ApplicationShell, ProjectFilesFromOutsideOpenInTheRunningWindow)
{
    QSettings().clear();
    QTemporaryDir dir;
    const QUrl ride = savedProject(dir.filePath("ride.rrl"));
    const QUrl other = savedProject(dir.filePath("OTHER.RRL"));
    Shell s;
    // Before the first show: the first project file stands in for the last session.
    s.shell.openURLs({QUrl::fromLocalFile(dir.filePath("track.gpx")), ride, other});
    EXPECT_EQ(s.window.pendingOpenURL(), ride);
    s.window.show();
    ASSERT_TRUE(waitFor([&] { return s.window.windowState().projectURL() == ride; }, 10'000));

    // A second launch hands its file (relative to where it started, any case) over and ends.
    const QString runtime = dir.filePath("runtime");
    QDir().mkpath(runtime);
    SingleInstance instance(QDir(runtime).filePath("routereel-instance"));
    ASSERT_TRUE(instance.listen());
    s.shell.attach(instance);
    QProcess second;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", runtime);
    second.setProcessEnvironment(env);
    second.setWorkingDirectory(dir.path());
    second.start(ROUTEREEL_APP_BINARY, {"--verbose", "notes.txt", "OTHER.RRL"});
    ASSERT_TRUE(waitFor([&] { return second.state() == QProcess::NotRunning; }, 60'000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    ASSERT_TRUE(waitFor([&] { return s.window.windowState().projectURL() == other; }, 10'000));
}

// A launch while the running one quits: nothing is handed to the window that
// goes. The launch waits for the lock and, once the quitting one has ended,
// runs itself with its files.
TEST(ApplicationShell, ALaunchDuringAQuitIsNotHandedToTheWindowThatGoes)
{
    QTemporaryDir dir;
    const QString name = QDir(dir.path()).filePath("routereel-instance");
    auto instance = std::make_unique<SingleInstance>(name);
    ASSERT_TRUE(instance->listen());
    Shell s;
    s.shell.attach(*instance);
    s.window.show();
    ASSERT_TRUE(s.window.close());
    SingleInstance later(name);
    EXPECT_EQ(later.claim({}, 300), SingleInstance::Claim::unanswered);
    instance.reset();  // the quitting process ends
    EXPECT_EQ(later.claim({}, 3'000), SingleInstance::Claim::listening);
}

TEST(ApplicationShell, MenusInBothLanguages)
{
    ApplicationShell::Options options;
    options.links.website = QUrl("https://example.org");
    options.links.authorHandle = "rider";
    options.links.authorProfile = QUrl("https://social.example/@rider");
    options.links.help = QUrl("https://example.org/help");
    // The launch check at the first show asks this machine only.
    testsupport::LoopbackHttpServer server([](const testsupport::HttpRequest &) {
        return testsupport::HttpResponse{.body = R"({"latest":"1.0.0","downloadUrl":"https://example.org"})"};
    });
    options.links.updateServer = server.baseUrl();
    Shell s(options);
    s.showActive();
    ApplicationMenus &menus = s.shell.menus();
    EXPECT_EQ(s.window.menuBar()->actions().size(), 3);
    EXPECT_EQ(items(menus.fileMenu()),
              (QStringList{"Save Project [Ctrl+S]", "Save As New Project… [Ctrl+Shift+S]", "Open Project… [Ctrl+O]",
                           "Quit [Ctrl+Q]"}));
    EXPECT_EQ(items(menus.editMenu()), (QStringList{"Undo [Ctrl+Z]", "Redo [Ctrl+Shift+Z]"}));
    EXPECT_EQ(items(menus.helpMenu()), (QStringList{"routereel Help", "Check for Updates…", "About routereel"}));
    ASSERT_TRUE(waitFor([&] { return server.requestCount() == 1 && !s.shell.updateChecker().isChecking(); }));

    testsupport::UrlCatcher opened;
    QDesktopServices::setUrlHandler("https", &opened, "open");
    menus.helpMenu()->actions().first()->trigger();
    QDesktopServices::unsetUrlHandler("https");
    EXPECT_EQ(opened.urls, QList<QUrl>{QUrl("https://example.org/help?src=app_help")});
    menus.showAbout();
    ASSERT_TRUE(menus.aboutBox());
    EXPECT_TRUE(menus.aboutBox()->text().contains("Version 1.0.0"));
    EXPECT_TRUE(menus.aboutBox()->informativeText().contains("href=\"https://example.org?src=app_about\""));
    EXPECT_TRUE(menus.aboutBox()->informativeText().contains(">@rider</a>"));
    saveTestArtifact(menus.aboutBox()->grab().toImage(), "about-en");
    menus.aboutBox()->close();

    for (const char *language : {"en", "zh-Hans"}) {
        InterfaceLanguage::install(language);
        QCoreApplication::processEvents();
        for (QMenu *menu : {menus.fileMenu(), menus.editMenu(), menus.helpMenu()}) {
            menu->popup(s.window.mapToGlobal(QPoint(0, 0)));
            QCoreApplication::processEvents();
            saveTestArtifact(menu->grab().toImage(), "menu-" + menu->objectName() + "-" + language);
            menu->hide();
        }
    }
    EXPECT_EQ(menus.fileMenu()->title(), "文件(&F)");
    EXPECT_EQ(items(menus.fileMenu()).first(), "保存项目 [Ctrl+S]");
    InterfaceLanguage::install("en");

    // Without addresses the help and update items are hidden.
    Shell plain;
    EXPECT_EQ(items(plain.shell.menus().helpMenu()), QStringList{"About routereel"});
}
