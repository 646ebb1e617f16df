#include "ui/main/mainlayout.h"
#include "ui/main/mainwindow.h"
#include "ui/main/networkmonitor.h"
#include "ui/main/windowalerts.h"
#include "ui/main/windowsheets.h"

#include "project/projectsession.h"
#include "timeline/timelineengine.h"
#include "timeline/videoplayerservice.h"
#include "tracks/gpxservice.h"
#include "tracks/logstore.h"

#include "support/timelinefixtures.h"
#include "support/waitfor.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QGraphicsOpacityEffect>
#include <QMessageBox>
#include <QAbstractButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>

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

// Calls back on each event of one type that reaches the object.
class EventSpy : public QObject
{
public:
    EventSpy(QObject *target, QEvent::Type type, std::function<void()> seen)
        : m_type(type), m_seen(std::move(seen))
    {
        target->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == m_type)
            m_seen();
        return false;
    }

private:
    QEvent::Type m_type;
    std::function<void()> m_seen;
};

// Shows the window and waits for its start-up to have run.
void showAndStart(MainWindow &window)
{
    window.show();
    ASSERT_TRUE(waitFor([&] { return window.session().didAttemptAutoRestore(); }));
    // The project or the last session is read off the window's thread.
    ASSERT_TRUE(waitFor([&] { return !window.session().hasFileWork(); }));
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
        // Opening a project can take long (its tracks are parsed): the window is painted first.
        std::optional<bool> openAtFirstPaint;
        EventSpy firstPaint(&window, QEvent::Paint, [&] {
            if (!openAtFirstPaint)
                openAtFirstPaint = window.windowState().projectURL().isValid();
        });
        showAndStart(window);
        EXPECT_EQ(openAtFirstPaint, std::optional<bool>(false));
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
        QGuiApplication::sync();  // the display's answer to an earlier size would undo this one
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
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
    // The log sheet opened by "View Log" marks the log read.
    EXPECT_GT(unread, 0);
    EXPECT_EQ(window.logStore().unreadCount(), 0);
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

TEST(MainWindow, SheetsFollowTheirFlagsAndCommandsActOnTheWindow)
{
    MainWindow window(online());
    window.show();
    WindowState &state = window.windowState();
    state.setShowTokenSheet(true);  // before its content exists: shown once given
    for (auto sheet : {WindowSheets::Sheet::token, WindowSheets::Sheet::log})
        window.sheets().setFactory(sheet, [](QWidget *parent) { return new QDialog(parent); });
    QPointer<QDialog> token = window.sheets().dialog(WindowSheets::Sheet::token);
    ASSERT_TRUE(token);
    EXPECT_TRUE(token->isVisible());
    EXPECT_EQ(token->windowModality(), Qt::WindowModal);
    token->reject();
    EXPECT_FALSE(state.showTokenSheet());
    state.setShowLogSheet(true);
    QPointer<QDialog> log = window.sheets().dialog(WindowSheets::Sheet::log);
    ASSERT_TRUE(log && log->isVisible());
    state.setShowLogSheet(false);
    EXPECT_TRUE(waitFor([&] { return !log && !token; }));  // closed and gone

    QTemporaryDir dir;
    const QUrl project = QUrl::fromLocalFile(dir.filePath("trip.rrl"));
    ASSERT_TRUE(window.session().saveProject(project));
    window.openProjectURL(project);
    ASSERT_TRUE(waitFor([&] { return !window.session().isRestoringVideo(); }));
    window.engine().importVideo(testsupport::source(4));
    QApplication::setActiveWindow(&window);  // tests share one display
    ASSERT_TRUE(window.isActiveWindow());
    QTest::keyClick(&window, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(window.engine().videoSources().isEmpty());
    QTest::keyClick(&window, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(window.engine().videoSources().size(), 1);
    QTest::keyClick(&window, Qt::Key_S, Qt::ControlModifier);
    ASSERT_TRUE(waitFor([&] { return !window.session().hasFileWork(); }));
    EXPECT_EQ(window.logStore().entries().first().title, QStringLiteral("Save Project"));
    EXPECT_EQ(window.session().makeProjectDocument().videoFiles->size(), 1);
}

// Quit with a sheet and a box open: they go with the window, and no window is
// left to keep the application running.
TEST(MainWindow, AClosedWindowTakesItsSheetsAndBoxesWithIt)
{
    MainWindow window(online());
    window.show();
    window.sheets().setFactory(WindowSheets::Sheet::token, [](QWidget *parent) { return new QDialog(parent); });
    window.windowState().setShowTokenSheet(true);
    QPointer<QDialog> token = window.sheets().dialog(WindowSheets::Sheet::token);
    ASSERT_TRUE(token && token->isVisible());
    auto *about = new QMessageBox(QMessageBox::Information, QStringLiteral("About"), QString(), QMessageBox::Close,
                                  &window);
    about->setWindowModality(Qt::NonModal);
    about->show();
    ASSERT_TRUE(window.close());
    EXPECT_FALSE(about->isVisible());
    EXPECT_TRUE(waitFor([&] { return !token; }));
    EXPECT_FALSE(window.windowState().showTokenSheet());
    const QWidgetList windows = QApplication::topLevelWidgets();
    EXPECT_TRUE(std::none_of(windows.begin(), windows.end(), [](QWidget *w) { return w->isVisible(); }));
}

TEST(MainWindow, TheLastSessionIsWrittenShortlyAfterAnEdit)
{
    freshStart();
    MainWindow window(online());
    window.setAutosaveDelay(20);
    window.setCompositionMode(CompositionMode::overlay);
    EXPECT_FALSE(window.isAutosavePending());  // nothing is written before the start-up restore
    showAndStart(window);
    const QString path = *ProjectSession::lastSessionPath();
    QFile::remove(path);
    window.engine().importVideo(testsupport::source(4));
    EXPECT_TRUE(window.isAutosavePending());
    ASSERT_TRUE(waitFor([&] { return QFile::exists(path); }));
    MainWindow next(online());
    showAndStart(next);
    EXPECT_EQ(next.compositionMode(), CompositionMode::overlay);
}

TEST(MainWindow, ThePlayerFollowsTheModeAndInOverlayTheTrackSegments)
{
    MainWindow window(online());
    VideoPlayerService &player = window.playerService();
    GPXTrack track;
    track.trackPoints = {testsupport::trackPoint(47, 8, 0), testsupport::trackPoint(47.1, 8, 60)};
    track.duration = 60;
    window.gpxService().addTrack(track);
    window.engine().importGPX(track);
    QCoreApplication::processEvents();
    EXPECT_EQ(player.overlayRange(), std::nullopt);  // regular: segments do not touch the player

    window.setCompositionMode(CompositionMode::overlay);
    ASSERT_TRUE(waitFor([&] { return player.overlayRange() == std::pair(0.0, 60.0); }));
    player.play();
    window.engine().moveSegment(window.engine().segments().first().id, 5);
    ASSERT_TRUE(waitFor([&] { return player.overlayRange() == std::pair(5.0, 65.0); }));
    window.setCompositionMode(CompositionMode::regular);
    ASSERT_TRUE(waitFor([&] { return player.overlayRange() == std::nullopt; }));
    EXPECT_FALSE(player.isPlaying());
}
