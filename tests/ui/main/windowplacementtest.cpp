#include "ui/main/maintoolbar.h"
#include "ui/main/mainlayout.h"
#include "ui/main/mainwindow.h"

#include "project/projectsession.h"
#include "timeline/videoplayerservice.h"
#include "tracks/gpxservice.h"

#include "support/clipgenerator.h"
#include "support/testartifacts.h"
#include "support/waitfor.h"
#include "support/windowmanagerdisplay.h"

#include <QApplication>
#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLayout>
#include <QProcess>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <cstdio>
#include <gtest/gtest.h>

using namespace routereel;
using testsupport::waitFor;

namespace {

// Set in the child process that plays one screen: "<width>x<height>@<scale>".
constexpr char screenVariable[] = "ROUTEREEL_PLACEMENT_SCREEN";
// Set in the child process that runs on a window manager's display.
constexpr char windowManagerVariable[] = "ROUTEREEL_PLACEMENT_WINDOW_MANAGER";
constexpr int maximiseRounds = 20;

// Runs the current test again in a child process with `env`; fails unless it passes. Returns its output.
QString runThisTestIn(const QProcessEnvironment &env, const QString &name)
{
    const auto *test = ::testing::UnitTest::GetInstance()->current_test_info();
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=%1.%2").arg(test->test_suite_name(), test->name())});
    EXPECT_TRUE(child.waitForFinished(240000)) << name.toStdString();
    const QString output = QString::fromLocal8Bit(child.readAll());
    EXPECT_EQ(child.exitCode(), 0) << name.toStdString() << "\n" << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("[  PASSED  ] 1 test"))) << output.toStdString();
    return output;
}

QRect globalRect(const QWidget *widget)
{
    return QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size());
}

// The window as it opens at start, on whatever screen this process has.
void openOnThisScreen(const QString &screenName)
{
    QSettings().clear();
    QFile::remove(*ProjectSession::lastSessionPath());
    MainWindow window{{.makePlayer = {}, .network = QNetworkInformation::Reachability::Online}};
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_TRUE(waitFor([&] { return window.session().didAttemptAutoRestore(); }));
    QTest::qWait(100);  // the frame check after the first paint

    const QRect available = window.screen()->availableGeometry();
    EXPECT_TRUE(available.contains(window.frameGeometry())) << screenName.toStdString();
    EXPECT_GE(window.width(), std::min(1280, available.width() - 40)) << "room given away";
    saveTestArtifact(window.grab().toImage(), QStringLiteral("window-on-%1").arg(screenName));

    QList<QWidget *> controls;
    for (const char *place : {"previewArea", "timelinePanel", "modePicker", "inspector", "exportBar"})
        controls << window.content().place(QString::fromLatin1(place));
    auto *bar = window.findChild<MainToolbar *>();
    for (QAction *item : bar->actions()) {
        if (auto *button = qobject_cast<QToolButton *>(bar->widgetForAction(item)); button && item->isVisible())
            controls << button;
    }
    // Qt's own overflow button shows only when buttons had to go.
    EXPECT_FALSE(bar->findChild<QWidget *>(QStringLiteral("qt_toolbar_ext_button"))->isVisible());
    for (const QWidget *control : controls) {
        const std::string name = screenName.toStdString() + " " + control->objectName().toStdString();
        EXPECT_TRUE(control->isVisible()) << name;
        EXPECT_TRUE(available.contains(globalRect(control))) << name;
        EXPECT_TRUE(QRect(QPoint(0, 0), window.size()).contains(QRect(control->mapTo(&window, QPoint(0, 0)),
                                                                      control->size())))
            << name;
    }
    // The inspector keeps room for its section headers, the export bar for its buttons.
    EXPECT_GE(window.content().place(QStringLiteral("inspector"))->height(), 2 * 28) << screenName.toStdString();
}

} // namespace

// At 125 % and more, a laptop screen is smaller than the window's default size
// and even than its content's minimum: the window must still fit, every
// control in reach. Each screen runs in a child process on the offscreen
// platform with that screen.
TEST(WindowPlacement, TheFirstWindowFitsSmallScreensAtEveryScale)
{
    const QString screen = qEnvironmentVariable(screenVariable);
    if (!screen.isEmpty())
        return openOnThisScreen(screen);

    const struct {
        int width;
        int height;
        const char *scale;
    } screens[] = {{1366, 768, "1.25"}, {1366, 768, "1.5"}, {1280, 720, "1.5"}, {1280, 720, "2"}, {1920, 1080, "2"},
                   {1920, 1080, "1"}};
    QTemporaryDir dir;
    for (const auto &s : screens) {
        const QString name = QStringLiteral("%1x%2@%3").arg(s.width).arg(s.height).arg(QLatin1String(s.scale));
        const QJsonObject geometry{{"name", "screen"},       {"x", 0},           {"y", 0},  {"width", s.width},
                                   {"height", s.height},     {"logicalDpi", 96}, {"logicalBaseDpi", 96},
                                   {"dpr", 1}};
        const QString config = dir.filePath(name + QStringLiteral(".json"));
        QFile file(config);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QJsonDocument(QJsonObject{{"screens", QJsonArray{geometry}}}).toJson());
        file.close();

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(screenVariable), name);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen:configfile=") + config);
        env.insert(QStringLiteral("QT_SCALE_FACTOR"), QString::fromLatin1(s.scale));
        runThisTestIn(env, name);
    }
}

namespace {

// On the window manager's display, with a project open: Maximise and Restore as
// the title bar asks for them, each to stick in the manager's state, Qt's and the
// window's place: the whole available area, then the place the window had.
void maximiseAndRestoreUnderTheWindowManager()
{
    QSettings().clear();
    QFile::remove(*ProjectSession::lastSessionPath());
    QTemporaryDir dir;
    const QString clip = testsupport::makeClip(dir.path(), QStringLiteral("ride.mp4"), {.seconds = 2, .audio = false});
    MainWindow window{{.makePlayer = {}, .network = QNetworkInformation::Reachability::Online}};
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_TRUE(waitFor([&] { return window.session().didAttemptAutoRestore(); }));
    window.importDroppedFiles({QUrl::fromLocalFile(clip),
                               QUrl::fromLocalFile(QStringLiteral(ROUTEREEL_TEST_DATA "/tracks/ride.gpx"))});
    ASSERT_TRUE(waitFor([&] { return window.playerService().isLoaded() && !window.gpxService().tracks().isEmpty(); },
                        30000));
    const WId id = window.winId();
    const QRect available = window.screen()->availableGeometry();
    ASSERT_TRUE(waitFor([&] { return window.frameGeometry() != window.geometry(); }, 10000)) << "never framed";
    ASSERT_LT(window.height(), available.height() - 50);

    // What the window manager and the window agree on, still so after the next layout
    // request: a label that changes its width, as the playhead's time does while playing.
    const auto sticks = [&](auto holds) {
        if (!waitFor(holds, 10000, 50))
            return false;
        window.layout()->invalidate();
        waitFor([] { return false; }, 300);
        return holds();
    };
    int stuck = 0;
    for (int round = 0; round < maximiseRounds; ++round) {
        const QRect normal = window.geometry();
        ASSERT_TRUE(testsupport::requestMaximised(id, true));
        const bool maximised = sticks([&] {
            // Qt may still give the frame of the window as it was: the client area tells.
            const QRect inside = window.geometry();
            return window.isMaximized() && testsupport::isMaximisedByWindowManager(id)
                && inside.left() == available.left() && inside.width() == available.width()
                && inside.bottom() == available.bottom();
        });
        ASSERT_TRUE(testsupport::requestMaximised(id, false));
        const bool restored = sticks([&] {
            return !window.isMaximized() && !testsupport::isMaximisedByWindowManager(id) && window.geometry() == normal;
        });
        const auto where = [&] {
            QString text;
            QDebug(&text) << window.isMaximized() << testsupport::isMaximisedByWindowManager(id) << window.geometry()
                          << window.frameGeometry() << available << normal;
            return text.toStdString();
        };
        EXPECT_TRUE(maximised) << "round " << round << ": " << where();
        EXPECT_TRUE(restored) << "round " << round << ": " << where();
        stuck += maximised && restored ? 1 : 0;
    }
    std::printf("Maximise and Restore stuck %d of %d times\n", stuck, maximiseRounds);
    window.close();
    QFile::remove(*ProjectSession::lastSessionPath());
}

} // namespace

// A window manager maximises and restores the window on the user's word: the
// window's own fit to its screen must not undo it.
TEST(WindowPlacement, MaximiseAndRestoreStickUnderAWindowManager)
{
    if (qEnvironmentVariableIsSet(windowManagerVariable))
        return maximiseAndRestoreUnderTheWindowManager();

    testsupport::WindowManagerDisplay display;
    ASSERT_TRUE(display.startServer()) << "Xvfb did not start";
    if (!display.startWindowManager())
        GTEST_SKIP() << "no window manager: openbox is not installed or did not start";
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(windowManagerVariable), QStringLiteral("1"));
    env.insert(QStringLiteral("DISPLAY"), display.name());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.remove(QStringLiteral("QT_SCALE_FACTOR"));
    const QString output = runThisTestIn(env, QStringLiteral("openbox"));
    const qsizetype at = output.indexOf(QStringLiteral("Maximise and Restore stuck"));
    if (at >= 0)
        std::printf("%s\n", qPrintable(output.mid(at, output.indexOf(QLatin1Char('\n'), at) - at)));
}
