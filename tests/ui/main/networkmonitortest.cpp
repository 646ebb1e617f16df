#include "ui/main/exportaction.h"
#include "ui/main/mainwindow.h"
#include "ui/main/networkmonitor.h"
#include "ui/main/windowalerts.h"

#include "project/projectsession.h"
#include "timeline/timelineengine.h"
#include "tracks/gpxservice.h"

#include "support/timelinefixtures.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace routereel;

namespace {

// Set in the child runs of the test below: which machine the child plays.
constexpr char caseVariable[] = "ROUTEREEL_NETWORK_CASE";

// The window with the system's own monitor, a track and the map on, asked to export.
void exportWithTheMap(bool expectConnected)
{
    QSettings().clear();
    QFile::remove(*ProjectSession::lastSessionPath());
    MainWindow window;
    window.show();
    EXPECT_EQ(window.networkMonitor().isConnected(), expectConnected);
    GPXTrack track;
    track.trackPoints = {testsupport::trackPoint(47, 8, 0), testsupport::trackPoint(47.1, 8, 60)};
    track.duration = 60;
    window.gpxService().addTrack(track);
    window.engine().importGPX(track);
    window.setCompositionMode(CompositionMode::overlay);
    ASSERT_TRUE(window.exportAction().canExport());
    window.exportAction().action()->trigger();
    QMessageBox *alert = window.alerts().networkBox();
    EXPECT_EQ(alert->isVisible(), !expectConnected);
    EXPECT_EQ(alert->windowTitle(), QStringLiteral("Network Error"));
    EXPECT_EQ(window.windowState().showExportSheet(), expectConnected);
}

// Runs this test again in a child process (behind `prefix`, a command such as
// `unshare -n`) as `machine`; the child's own checks decide.
void runChild(const QStringList &prefix, const QString &machine)
{
    const auto *test = ::testing::UnitTest::GetInstance()->current_test_info();
    QStringList command = prefix;
    command << QCoreApplication::applicationFilePath()
            << QStringLiteral("--gtest_filter=%1.%2").arg(test->test_suite_name(), test->name());
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(caseVariable), machine);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(command.takeFirst(), command);
    ASSERT_TRUE(child.waitForFinished(120000)) << machine.toStdString();
    const QString output = QString::fromLocal8Bit(child.readAll());
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("[  PASSED  ] 1 test"))) << output.toStdString();
}

} // namespace

// Without NetworkManager Qt's default backend does not load; the monitor must
// still see an offline machine (a network namespace with no connection), and a
// machine where no backend loads at all keeps exporting maps.
TEST(NetworkMonitor, TheWindowFollowsTheMachinesReachability)
{
    const QString machine = qEnvironmentVariable(caseVariable);
    if (machine == QLatin1String("offline"))
        return exportWithTheMap(false);
    if (machine == QLatin1String("nobackend")) {
        // Every plugin of Qt's but the reachability backends.
        QTemporaryDir plugins;
        const QDir qt(QLibraryInfo::path(QLibraryInfo::PluginsPath));
        for (const QString &kind : qt.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            if (kind != QLatin1String("networkinformation"))
                QFile::link(qt.filePath(kind), plugins.filePath(kind));
        }
        QCoreApplication::setLibraryPaths({plugins.path()});
        EXPECT_EQ(NetworkMonitor::loadBackend(), nullptr);
        return exportWithTheMap(true);
    }

    runChild({}, QStringLiteral("nobackend"));
    QProcess probe;
    probe.start(QStringLiteral("unshare"), {QStringLiteral("-n"), QStringLiteral("true")});
    if (!probe.waitForFinished(10000) || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
        GTEST_SKIP() << "no new network namespace here (needs root and unshare)";
    runChild({QStringLiteral("unshare"), QStringLiteral("-n")}, QStringLiteral("offline"));
}
