#include "ui/main/exportaction.h"
#include "ui/main/mainwindow.h"
#include "ui/main/networkmonitor.h"
#include "ui/main/windowalerts.h"

#include "project/projectsession.h"
#include "timeline/timelineengine.h"
#include "tracks/gpxservice.h"

#include "support/timelinefixtures.h"
#include "support/waitfor.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <iostream>

using namespace routereel;

namespace {

// Set in the child runs of the test below: which machine the child plays.
constexpr char caseVariable[] = "ROUTEREEL_NETWORK_CASE";

// A track on the timeline and the Overlay mode, so that Export asks for the map.
void loadATrackInOverlay(MainWindow &window)
{
    GPXTrack track;
    track.trackPoints = {testsupport::trackPoint(47, 8, 0), testsupport::trackPoint(47.1, 8, 60)};
    track.duration = 60;
    window.gpxService().addTrack(track);
    window.engine().importGPX(track);
    window.setCompositionMode(CompositionMode::overlay);
}

// The window with the system's own monitor, a track and the map on, asked to export.
void exportWithTheMap(bool expectConnected)
{
    QSettings().clear();
    QFile::remove(*ProjectSession::lastSessionPath());
    MainWindow window;
    window.show();
    EXPECT_EQ(window.networkMonitor().isConnected(), expectConnected);
    loadATrackInOverlay(window);
    ASSERT_TRUE(window.exportAction().canExport());
    window.exportAction().action()->trigger();
    QMessageBox *alert = window.alerts().networkBox();
    EXPECT_EQ(alert->isVisible(), !expectConnected);
    EXPECT_EQ(alert->windowTitle(), QStringLiteral("Network Error"));
    EXPECT_EQ(window.windowState().showExportSheet(), expectConnected);
}

// Runs `ip` with `arguments`; true when it succeeds.
bool ip(const QString &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(QStringLiteral("ip"), arguments.split(QLatin1Char(' ')));
    return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// Brings a veth link with an address and a default route up, or takes the route
// and the link away, in this process's own network namespace.
bool setLink(bool up)
{
    if (!up)
        return ip(QStringLiteral("route del default")) && ip(QStringLiteral("link del rr0"));
    return ip(QStringLiteral("link add rr0 type veth peer name rr1")) && ip(QStringLiteral("addr add 10.213.77.1/30 dev rr0"))
        && ip(QStringLiteral("link set rr1 up")) && ip(QStringLiteral("link set rr0 up"))
        && ip(QStringLiteral("route add default via 10.213.77.2 dev rr0"));
}

// Export with the map on: online it opens the sheet, offline it raises the alert.
void expectMapExport(MainWindow &window, bool online)
{
    window.exportAction().action()->trigger();
    EXPECT_EQ(window.windowState().showExportSheet(), online);
    EXPECT_EQ(window.alerts().networkBox()->isVisible(), !online);
    window.windowState().setShowExportSheet(false);
    window.windowState().setShowNetworkAlert(false);
}

// The window starts with the link up or not; the link then changes three times.
void followTheLink(bool startOnline)
{
    QSettings().clear();
    QFile::remove(*ProjectSession::lastSessionPath());
    if (startOnline) {
        ASSERT_TRUE(setLink(true));
    }
    MainWindow window;
    window.show();
    int alertsRaised = 0;
    QObject::connect(&window.windowState(), &WindowState::showNetworkAlertChanged, &window,
                     [&] { alertsRaised += window.windowState().showNetworkAlert() ? 1 : 0; });
    loadATrackInOverlay(window);

    ASSERT_EQ(window.networkMonitor().isConnected(), startOnline);
    expectMapExport(window, startOnline);
    int expectedAlerts = startOnline ? 0 : 1;
    bool online = startOnline;
    for (int change = 0; change < 3; ++change) {
        online = !online;
        QElapsedTimer clock;
        clock.start();
        ASSERT_TRUE(setLink(online));
        ASSERT_TRUE(testsupport::waitFor([&] { return window.networkMonitor().isConnected() == online; }, 60000))
            << "change " << change;
        std::cout << "[ timing ] " << (online ? "link up -> connected" : "link gone -> offline") << " in "
                  << clock.elapsed() << " ms" << std::endl;
        // Going offline raises the alert by itself; coming back shows nothing.
        expectedAlerts += online ? 0 : 1;
        EXPECT_EQ(window.alerts().networkBox()->isVisible(), !online) << "change " << change;
        EXPECT_EQ(alertsRaised, expectedAlerts) << "change " << change;
        window.windowState().setShowNetworkAlert(false);
        expectMapExport(window, online);
        expectedAlerts += online ? 0 : 1;
    }
    EXPECT_EQ(alertsRaised, expectedAlerts);
}

// The monitor alone in a Qt without GLib's loop (QT_NO_GLIB), where no player
// or window runs GLib's main context by the way.
void followTheLinkWithoutGlibLoop()
{
    NetworkMonitor monitor;
    ASSERT_FALSE(monitor.isConnected());
    for (bool online : {true, false}) {
        ASSERT_TRUE(setLink(online));
        EXPECT_TRUE(testsupport::waitFor([&] { return monitor.isConnected() == online; }, 60000)) << online;
    }
}

// Runs this test again in a child process (behind `prefix`, a command such as
// `unshare -n`) as `machine`; the child's own checks decide.
void runChild(const QStringList &prefix, const QString &machine, const QStringList &environment = {})
{
    const auto *test = ::testing::UnitTest::GetInstance()->current_test_info();
    QStringList command = prefix;
    command << QCoreApplication::applicationFilePath()
            << QStringLiteral("--gtest_filter=%1.%2").arg(test->test_suite_name(), test->name());
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(caseVariable), machine);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    for (const QString &setting : environment)
        env.insert(setting.section(QLatin1Char('='), 0, 0), setting.section(QLatin1Char('='), 1));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(command.takeFirst(), command);
    ASSERT_TRUE(child.waitForFinished(120000)) << machine.toStdString();
    const QString output = QString::fromLocal8Bit(child.readAll());
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("[  PASSED  ] 1 test"))) << output.toStdString();
    for (const QString &line : output.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("[ timing ]")))
            std::cout << machine.toStdString() << ' ' << environment.join(QLatin1Char(' ')).toStdString() << ' '
                      << line.toStdString() << std::endl;
    }
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

// A link with an address and a default route comes up and goes while the window
// runs, in a network namespace of the test's own; the window follows each change.
TEST(NetworkMonitor, TheWindowFollowsALinkThatComesAndGoes)
{
    const QString machine = qEnvironmentVariable(caseVariable);
    if (machine == QLatin1String("startsOffline") || machine == QLatin1String("startsOnline"))
        return followTheLink(machine == QLatin1String("startsOnline"));
    if (machine == QLatin1String("withoutGlibLoop"))
        return followTheLinkWithoutGlibLoop();

    QProcess probe;
    probe.start(QStringLiteral("unshare"), QStringLiteral("-n ip link add rr0 type veth peer name rr1").split(u' '));
    if (!probe.waitForFinished(10000) || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
        GTEST_SKIP() << "no network namespace with a veth link here (needs root, unshare and ip)";
    // The namespace ends with the child, and its links with it, whatever the child's fate.
    const QStringList unshare = {QStringLiteral("unshare"), QStringLiteral("-n")};
    runChild(unshare, QStringLiteral("startsOffline"));
    runChild(unshare, QStringLiteral("startsOnline"));
    runChild(unshare, QStringLiteral("withoutGlibLoop"), {QStringLiteral("QT_NO_GLIB=1")});
}
