#include "ui/main/mainlayout.h"
#include "ui/main/mainwindow.h"
#include "ui/main/networkmonitor.h"
#include "ui/main/windowalerts.h"

#include "project/projectsession.h"
#include "timeline/timelineengine.h"
#include "tracks/gpxservice.h"
#include "tracks/logstore.h"

#include "support/timelinefixtures.h"
#include "support/waitfor.h"

#include <QDir>
#include <QGraphicsOpacityEffect>
#include <QMessageBox>
#include <QAbstractButton>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace routereel;
using testsupport::waitFor;
using Reachability = QNetworkInformation::Reachability;

namespace {

MainWindow::Options online(Reachability network = Reachability::Online)
{
    return {.makePlayer = {}, .network = network};
}

// Settings and last session of a first start.
void freshStart()
{
    QSettings().clear();
    QFile::remove(*ProjectSession::lastSessionPath());
}

// Shows the window and waits for its start-up to have run.
void showAndStart(MainWindow &window)
{
    window.show();
    ASSERT_TRUE(waitFor([&] { return window.session().didAttemptAutoRestore(); }));
}

} // namespace

TEST(MainWindow, StartsUpOnceOpeningTheHandedOverProjectInsteadOfTheLastSession)
{
    freshStart();
    QTemporaryDir dir;
    const QUrl handedOver = QUrl::fromLocalFile(dir.filePath("ride.rrl"));
    {
        MainWindow writer(online());
        ASSERT_TRUE(writer.session().saveProject(handedOver));  // a regular project
        writer.setCompositionMode(CompositionMode::overlay);
        writer.session().saveLastSession();  // an overlay session
    }
    {
        MainWindow window(online());
        window.setPendingOpenURL(handedOver);
        showAndStart(window);
        EXPECT_EQ(window.windowState().projectURL(), handedOver);
        EXPECT_FALSE(window.pendingOpenURL());
        EXPECT_EQ(window.windowTitle(), QStringLiteral("routereel"));
        EXPECT_EQ(window.size(), QSize(1280, 720));
        // Un-minimising shows the window again: nothing is restored over the project.
        window.hide();
        window.show();
        QCoreApplication::processEvents();
        window.session().restoreLastSession();
        EXPECT_EQ(window.compositionMode(), CompositionMode::regular);
    }
    MainWindow restoring(online());
    showAndStart(restoring);
    EXPECT_EQ(restoring.compositionMode(), CompositionMode::overlay);
    EXPECT_FALSE(restoring.windowState().projectURL().isValid());
}

TEST(MainWindow, MapboxWithoutATokenAsksForOneAtStart)
{
    const struct {
        const char *stored;
        const char *token;
        MapProvider provider;
        bool asks;
    } cases[] = {
        {"Mapbox", "", MapProvider::mapbox, true},
        {"Mapbox", " ", MapProvider::mapbox, false},  // spaces count as a token
        {"mapbox", "", MapProvider::openStreetMap, false},
        {nullptr, "", MapProvider::openStreetMap, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.stored ? c.stored : "(none)");
        freshStart();
        if (c.stored)
            QSettings().setValue("mapProvider", c.stored);
        QSettings().setValue("mapboxToken", c.token);
        MainWindow window(online());
        showAndStart(window);
        EXPECT_EQ(window.mapProvider(), c.provider);
        EXPECT_EQ(window.windowState().showTokenSheet(), c.asks);
        EXPECT_EQ(window.windowState().mapReady(), !c.asks);
    }
}

TEST(MainWindow, LayoutSizeAndPositionsFollowTheCanvas)
{
    const struct {
        QSizeF canvas;
        QSizeF layout;
    } cases[] = {
        {{1920, 1080}, {960, 540}},
        {{1080, 1920}, {540, 960}},
        {{4000, 3000}, {720, 540}},
    };
    for (const auto &c : cases) {
        MainWindow window(online());
        EXPECT_EQ(window.widgetLayoutSize(), QSizeF(960, 540));  // stored at once, with no video yet
        window.windowState().setPosition(WidgetKind::speed, QPointF(480, 270));
        window.engine().importVideo(testsupport::source(4, c.canvas.width(), c.canvas.height()));
        ASSERT_TRUE(waitFor([&] { return window.widgetLayoutSize() == c.layout; }));
        EXPECT_EQ(window.resolveLayoutSize(), c.layout);
        EXPECT_EQ(window.windowState().position(WidgetKind::speed),
                  QPointF(480 * c.layout.width() / 960, 270 * c.layout.height() / 540));
        EXPECT_EQ(window.windowState().position(WidgetKind::map), std::nullopt);
    }
}

TEST(MainWindow, LayoutKeepsTheColumnAndDimsTheInspectorUntilATrack)
{
    MainWindow window(online());
    window.show();
    for (const char *name : {"previewArea", "timelinePanel", "modePicker", "inspector", "exportBar"})
        EXPECT_TRUE(window.content().place(name)) << name;
    QWidget *column = window.findChild<QWidget *>("rightColumn");
    for (int width : {800, 1600}) {
        window.resize(width, 900);
        QCoreApplication::processEvents();
        EXPECT_GE(window.centralWidget()->width(), 1060);
        EXPECT_EQ(column->width(), 230);
    }
    QWidget *inspector = window.content().place("inspector");
    auto opacity = [&] { return qobject_cast<QGraphicsOpacityEffect *>(inspector->graphicsEffect())->opacity(); };
    EXPECT_FALSE(inspector->isEnabled());
    EXPECT_EQ(opacity(), 0.5);
    auto *view = new QWidget;
    EXPECT_TRUE(window.replacePlaceholder("inspector", view));
    EXPECT_FALSE(window.replacePlaceholder("nowhere", new QWidget(&window)));
    inspector = view;
    EXPECT_FALSE(inspector->isEnabled());
    GPXTrack track;
    track.trackPoints = {testsupport::trackPoint(47, 8, 0), testsupport::trackPoint(47.1, 8, 60)};
    window.gpxService().addTrack(track);
    EXPECT_TRUE(inspector->isEnabled());
    EXPECT_EQ(opacity(), 1.0);
}

TEST(MainWindow, ErrorsShowTheirFirstLineInOneBoxAndLogTheWholeText)
{
    const QString line120(120, QLatin1Char('y'));
    const struct {
        QString message;
        QString shown;
    } cases[] = {
        {"\n\n  \nDisk full\nwhile writing", "Disk full"},
        {line120, line120},
        {line120 + "z\nmore", line120 + "..."},
        {"", ""},
    };
    MainWindow window(online());
    window.show();
    QMessageBox *box = window.alerts().errorBox();
    for (const auto &c : cases) {
        window.presentError(c.message);
        EXPECT_TRUE(box->isVisible());
        EXPECT_EQ(box->text(), c.shown);
        EXPECT_EQ(window.logStore().entries().first().detail, c.message);
        EXPECT_EQ(window.logStore().entries().first().level, LogEntry::Level::error);
    }
    // Every error went into the one box that stayed open.
    EXPECT_EQ(window.findChildren<QMessageBox *>().size(), 2);
    EXPECT_EQ(window.logStore().entries().size(), 4);
    const int unread = window.logStore().unreadCount();
    for (QAbstractButton *button : box->buttons()) {
        if (button->text() == "View Log")
            button->click();
    }
    EXPECT_FALSE(box->isVisible());
    EXPECT_FALSE(window.windowState().showError());
    EXPECT_TRUE(window.windowState().showLogSheet());
    EXPECT_EQ(window.logStore().unreadCount(), unread);
}

TEST(MainWindow, LosingTheNetworkRaisesOneAlertAndStartingOfflineNone)
{
    MainWindow offline(online(Reachability::Disconnected));
    showAndStart(offline);
    EXPECT_FALSE(offline.networkMonitor().isConnected());
    EXPECT_FALSE(offline.windowState().showNetworkAlert());

    EXPECT_TRUE(NetworkMonitor(Reachability::Unknown).isConnected());
    EXPECT_TRUE(NetworkMonitor(Reachability::Local).isConnected());
    MainWindow window(online());
    int alerts = 0;
    QObject::connect(&window.windowState(), &WindowState::showNetworkAlertChanged,
                     [&] { alerts += window.windowState().showNetworkAlert(); });
    window.networkMonitor().update(Reachability::Disconnected);
    window.networkMonitor().update(Reachability::Disconnected);
    EXPECT_EQ(alerts, 1);
    EXPECT_TRUE(window.alerts().networkBox()->isVisible());
    window.alerts().networkBox()->buttons().first()->click();
    EXPECT_FALSE(window.windowState().showNetworkAlert());
    window.networkMonitor().update(Reachability::Online);
    window.networkMonitor().update(Reachability::Disconnected);
    EXPECT_EQ(alerts, 2);
}
