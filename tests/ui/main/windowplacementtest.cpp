#include "ui/main/maintoolbar.h"
#include "ui/main/mainlayout.h"
#include "ui/main/mainwindow.h"

#include "project/projectsession.h"

#include "support/testartifacts.h"
#include "support/waitfor.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace routereel;
using testsupport::waitFor;

namespace {

// Set in the child process that plays one screen: "<width>x<height>@<scale>".
constexpr char screenVariable[] = "ROUTEREEL_PLACEMENT_SCREEN";

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
    const auto *test = ::testing::UnitTest::GetInstance()->current_test_info();
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

        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(screenVariable), name);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen:configfile=") + config);
        env.insert(QStringLiteral("QT_SCALE_FACTOR"), QString::fromLatin1(s.scale));
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--gtest_filter=%1.%2").arg(test->test_suite_name(), test->name())});
        ASSERT_TRUE(child.waitForFinished(120000)) << name.toStdString();
        const QString output = QString::fromLocal8Bit(child.readAll());
        EXPECT_EQ(child.exitCode(), 0) << name.toStdString() << "\n" << output.toStdString();
        EXPECT_TRUE(output.contains(QStringLiteral("[  PASSED  ] 1 test"))) << output.toStdString();
    }
}
