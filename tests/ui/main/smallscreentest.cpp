// Every sheet and popup within its screen, and the window's roads by keys alone.
// Run again on screens of 1366 × 768 and 1280 × 720 at 200 % (683 × 384 and
// 640 × 360 points): the window, the sheets and the popups must fit those too.
#include "ui/main/exportaction.h"
#include "ui/main/fileimport.h"
#include "ui/main/mainwindow.h"
#include "ui/main/windowsheets.h"
#include "ui/main/interfacelanguage.h"
#include "ui/panels/exporthistorypopover.h"
#include "ui/panels/exportqueuebar.h"
#include "ui/panels/inspector/inspectorpositionrow.h"
#include "ui/panels/inspector/inspectorsection.h"
#include "ui/panels/inspector/inspectortogglerow.h"
#include "ui/panels/settingspanelview.h"
#include "ui/timeline/timelinescrollarea.h"
#include "ui/timeline/timelinetoolbar.h"
#include "ui/timeline/timelineview.h"

#include "export/exportqueue.h"
#include "export/exporttestutil.h"
#include "project/projectsession.h"
#include "timeline/timelineengine.h"
#include "tracks/gpxservice.h"
#include "widgets/gpspathwidgetsettings.h"
#include "widgets/heartrategraphwidgetsettings.h"
#include "widgets/heartratewidgetsettings.h"
#include "widgets/mapsettings.h"
#include "widgets/speedwidgetsettings.h"
#include "widgets/timewidgetsettings.h"

#include "support/testartifacts.h"
#include "support/waitfor.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSettings>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using namespace routereel;
using testsupport::waitFor;

namespace {

void showAndStart(MainWindow &window)
{
    QSettings().clear();
    QFile::remove(*ProjectSession::lastSessionPath());
    window.show();
    ASSERT_TRUE(waitFor([&] { return window.session().didAttemptAutoRestore(); }));
    ASSERT_TRUE(waitFor([&] { return !window.session().hasFileWork(); }));
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
}

QRect area(const QWidget *widget)
{
    return widget->screen()->availableGeometry();
}

// Scrolls every area around `control` to it, as Tab does; then it must be wholly in view and on
// screen. Sections that open or close slide for a moment: the scroll is made again until they rest.
::testing::AssertionResult reachable(QWidget *control)
{
    if (!control)
        return ::testing::AssertionFailure() << "no such control";
    const auto inView = [control] {
        for (QWidget *w = control->parentWidget(); w; w = w->parentWidget()) {
            if (auto *scroll = qobject_cast<QScrollArea *>(w))
                scroll->ensureWidgetVisible(control, 0, 0);
        }
        QApplication::processEvents();
        const QRect global(control->mapToGlobal(QPoint(0, 0)), control->size());
        return control->isVisible() && control->visibleRegion().boundingRect().size() == control->size()
               && area(control).contains(global);
    };
    if (waitFor(inView, 2000))
        return ::testing::AssertionSuccess();
    const QRect global(control->mapToGlobal(QPoint(0, 0)), control->size());
    return ::testing::AssertionFailure() << control->objectName().toStdString() << " "
                                         << control->accessibleName().toStdString() << ": shown "
                                         << control->visibleRegion().boundingRect().height() << " of "
                                         << control->height() << " at " << global.y() << ", screen to "
                                         << area(control).bottom();
}

::testing::AssertionResult fits(const QWidget *window)
{
    const QRect frame = window->frameGeometry();
    if (area(window).contains(frame))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << window->metaObject()->className() << " at " << frame.x() << ","
                                         << frame.y() << " " << frame.width() << "x" << frame.height()
                                         << " outside " << area(window).width() << "x" << area(window).height();
}

QAbstractButton *buttonNamed(const QWidget *root, const QString &nameOrText)
{
    for (QAbstractButton *b : root->findChildren<QAbstractButton *>()) {
        if (b->objectName() == nameOrText || b->text() == nameOrText)
            return b;
    }
    return nullptr;
}

// Tab (at most a few hundred times) until `wanted` holds for the focused widget.
bool tabTo(const std::function<bool(QWidget *)> &wanted)
{
    for (int i = 0; i < 400; ++i) {
        QWidget *focus = QApplication::focusWidget();
        if (focus && wanted(focus))
            return true;
        QTest::keyClick(focus ? focus : QApplication::activeWindow(), Qt::Key_Tab);
    }
    return false;
}

// Removes the waiting tasks and stops the running one.
void stopExports(ExportQueue &queue)
{
    queue.setTerminationCompletion([] {});
    const QList<ExportTaskRuntime> waiting = queue.pending();
    for (const ExportTaskRuntime &task : waiting)
        queue.cancel(task.task.id);
    if (queue.current())
        queue.exporter()->cancel();
    EXPECT_TRUE(waitFor([&] { return !queue.current(); }, 30'000));
}

void press(Qt::Key key)
{
    QTest::keyClick(QApplication::focusWidget(), key);
}

} // namespace

TEST(SmallScreen, EverySheetFitsItsScreenWithItsLastControlsReachable)
{
    MainWindow window({.makePlayer = {}, .network = QNetworkInformation::Reachability::Online});
    showAndStart(window);
    ASSERT_TRUE(fits(&window));
    WindowState &state = window.windowState();
    struct Case {
        WindowSheets::Sheet sheet;
        std::function<void(bool)> show;
        QStringList lastControls;
    };
    const Case cases[] = {
        {WindowSheets::Sheet::log, [&](bool on) { state.setShowLogSheet(on); }, {"Clear", "Close"}},
        {WindowSheets::Sheet::cache, [&](bool on) { state.setShowCacheSheet(on); }, {"Close"}},
        {WindowSheets::Sheet::exportSettings, [&](bool on) { state.setShowExportSheet(on); },
         {"compressionFactor", "cancel", "export"}},
        {WindowSheets::Sheet::token, [&](bool on) { state.setShowTokenSheet(on); }, {"cancel", "save"}},
        {WindowSheets::Sheet::feedback, [&](bool on) { state.setShowFeedbackSheet(on); }, {"Close"}},
    };
    for (const Case &c : cases) {
        c.show(true);
        QDialog *sheet = window.sheets().dialog(c.sheet);
        ASSERT_TRUE(sheet);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet));
        EXPECT_TRUE(fits(sheet));
        for (const QString &name : c.lastControls) {
            QWidget *control = buttonNamed(sheet, name);
            if (!control)
                control = sheet->findChild<QWidget *>(name);
            EXPECT_TRUE(reachable(control)) << name.toStdString();
        }
        c.show(false);
        ASSERT_TRUE(waitFor([&] { return !window.sheets().dialog(c.sheet); }));
    }
}

// Each file panel is Qt's own dialog: its file-type row, its name field and its buttons stay within the screen.
TEST(SmallScreen, EveryFilePanelFitsItsScreenWithItsLastControlsReachable)
{
    MainWindow window({.makePlayer = {}, .network = QNetworkInformation::Reachability::Online});
    showAndStart(window);
    QTemporaryDir dir;
    struct Case {
        const char *name;
        std::function<void()> open;
    };
    const Case cases[] = {
        {"Open Project", [&] { window.chooseProjectToOpen(); }},
        {"Save Project As", [&] { window.chooseSaveLocation(QStringLiteral("Untitled.rrl"), dir.path()); }},
        {"Import", [&] { window.fileImport().importFiles(); }},
        {"Import Video", [&] { window.fileImport().importVideoFromPanel(); }},
        {"Import GPX", [&] { window.fileImport().importTracksFromPanel(); }},
        {"Export to", [&] { ExportAction::runSaveDialog(&window, QStringLiteral("ride.mp4")); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        bool seen = false;
        QTimer::singleShot(0, &window, [&] {
            QFileDialog *panel = nullptr;
            const bool shown = waitFor([&] {
                panel = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
                return panel && panel->isVisible();
            });
            EXPECT_TRUE(shown);
            if (!shown) {
                if (QWidget *modal = QApplication::activeModalWidget())
                    modal->close();
                return;
            }
            seen = true;
            EXPECT_TRUE(QTest::qWaitForWindowExposed(panel));
            EXPECT_TRUE(fits(panel));
            auto *buttons = panel->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
            QList<QWidget *> last{panel->findChild<QComboBox *>(QStringLiteral("fileTypeCombo")),
                                  panel->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))};
            if (buttons)
                last << buttons->button(QDialogButtonBox::Cancel)
                     << buttons->button(panel->acceptMode() == QFileDialog::AcceptSave ? QDialogButtonBox::Save
                                                                                      : QDialogButtonBox::Open);
            for (QWidget *control : last)
                EXPECT_TRUE(reachable(control));
            panel->reject();
        });
        c.open();
        EXPECT_TRUE(seen);
    }
}

// Chinese titles make the menu bar and the toolbar taller: the window stays within the screen,
// the queue bar and the timeline's scroll strip with it, whichever way the language goes.
TEST(SmallScreen, ALanguageSwitchKeepsTheWindowOnItsScreen)
{
    MainWindow window({.makePlayer = {}, .network = QNetworkInformation::Reachability::Online});
    // The application's menu bar, retitled as the application retitles it.
    QList<std::pair<QMenu *, const char *>> menus;
    for (const char *title : {"&File", "&Edit", "&Help"})
        menus.append({window.menuBar()->addMenu(QString::fromLatin1(title)), title});
    showAndStart(window);
    ASSERT_TRUE(fits(&window));
    const auto within = [&](const QWidget *part) {
        const QRect global(part->mapToGlobal(QPoint(0, 0)), part->size());
        const QRect inWindow(part->mapTo(&window, QPoint(0, 0)), part->size());
        return area(&window).contains(global) && window.rect().contains(inWindow);
    };
    auto *bar = window.findChild<ExportQueueBar *>();
    auto *strip = window.findChild<QWidget *>(QStringLiteral("timelineScrollBar"));
    ASSERT_TRUE(bar && strip);
    for (const QString language : {"zh-Hans", "en", "zh-Hans", "en"}) {
        SCOPED_TRACE(language.toStdString());
        window.setLanguage();
        ASSERT_EQ(InterfaceLanguage::stored(), language);
        for (const auto &[menu, title] : menus)
            menu->setTitle(QCoreApplication::translate("routereel::ApplicationMenus", title));
        QTest::qWait(200);  // the layouts settle
        EXPECT_TRUE(fits(&window));
        EXPECT_TRUE(within(bar));
        EXPECT_TRUE(within(strip));
        saveTestArtifact(window.grab().toImage(), QStringLiteral("window-after-switch-to-%1").arg(language));
    }
}

TEST(SmallScreen, PopupsFitTheirScreenWithEveryRowReachable)
{
    MainWindow window({.makePlayer = {}, .network = QNetworkInformation::Reachability::Online});
    showAndStart(window);
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("out"));
    testsupport::FakeFfmpegSpec spec;
    spec.runBody = QStringLiteral("exec sleep 600");
    ExportQueue &queue = window.exportQueue();
    exporttest::useFakeFfmpeg(*queue.exporter(), dir.filePath(QStringLiteral("ffmpeg")), spec);
    // One running, four waiting and three removed: longer than the popup at any size.
    QList<ExportTask> tasks;
    for (int i = 0; i < 8; ++i) {
        tasks << exporttest::overlayTask(dir.filePath(QStringLiteral("out/ride-%1.mp4").arg(i)), 1);
        queue.enqueue(tasks.last());
    }
    for (int i = 5; i < 8; ++i)
        queue.cancel(tasks[i].id);
    ASSERT_TRUE(waitFor([&] { return queue.current() && queue.history().size() == 3; }));

    auto *bar = window.findChild<ExportQueueBar *>();
    ASSERT_TRUE(bar);
    bar->setHistoryShown(true);
    ExportHistoryPopover *popover = bar->historyPopover();
    ASSERT_TRUE(popover);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(popover));
    EXPECT_TRUE(fits(popover));
    EXPECT_TRUE(reachable(buttonNamed(popover, QStringLiteral("Clear History"))));
    const QList<QToolButton *> actions = popover->findChildren<QToolButton *>(QStringLiteral("action"));
    EXPECT_EQ(actions.size(), 5);  // stop and four removals
    for (QToolButton *action : actions)
        EXPECT_TRUE(reachable(action));
    bar->setHistoryShown(false);

    // The timeline's "more" menu, whatever the row has left out at this width.
    auto *toolbar = window.findChild<TimelineToolbar *>();
    ASSERT_TRUE(toolbar);
    QMenu *menu = toolbar->overflowMenu();
    const QList<QAction *> items = menu->actions();
    if (std::any_of(items.begin(), items.end(), [](const QAction *a) { return !a->isSeparator(); })) {
        menu->popup(toolbar->mapToGlobal(QPoint(toolbar->width() - 20, toolbar->height())));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
        EXPECT_TRUE(fits(menu));
        menu->close();
    }

    stopExports(queue);
}

TEST(SmallScreen, ZoomSliderKeysMoveTheZoomAsTheButtonsDo)
{
    MainWindow window({.makePlayer = {}, .network = QNetworkInformation::Reachability::Online});
    showAndStart(window);
    auto *view = window.findChild<TimelineView *>();
    ASSERT_TRUE(view);
    QSlider *slider = view->findChild<TimelineToolbar *>()->zoomSlider();
    view->setPps(10);
    slider->setFocus(Qt::TabFocusReason);
    struct Step {
        Qt::Key key;
        double factor;
    } const steps[] = {{Qt::Key_Right, 1.1}, {Qt::Key_Up, 1.1}, {Qt::Key_Left, 1 / 1.1}, {Qt::Key_Down, 1 / 1.1},
                       {Qt::Key_PageUp, std::pow(1.1, 5)}, {Qt::Key_PageDown, std::pow(1.1, -5)}};
    for (const Step &step : steps) {
        const double before = view->pps();
        QTest::keyClick(slider, step.key);
        EXPECT_NEAR(view->pps(), before * step.factor, 1e-9 * before) << step.key;
    }
}

// Import, place a widget and export without a mouse: Tab to each control, Space or Return on it.
TEST(KeyboardOnly, ImportsPlacesAWidgetAndExports)
{
    QTemporaryDir dir;
    MainWindow window({.makePlayer = {}, .network = QNetworkInformation::Reachability::Online});
    showAndStart(window);
    for (QObject *settings : std::initializer_list<QObject *>{&window.mapSettings(), &window.gpsPathSettings(),
                                                              &window.speedSettings(), &window.timeSettings(),
                                                              &window.heartRateSettings(),
                                                              &window.heartRateGraphSettings()})
        settings->setProperty("enabled", false);
    testsupport::FakeFfmpegSpec spec;
    spec.runBody = QStringLiteral("exec sleep 600");
    exporttest::useFakeFfmpeg(*window.exportQueue().exporter(), dir.filePath(QStringLiteral("ffmpeg")), spec);
    const QString track = QStringLiteral(ROUTEREEL_TEST_DATA "/tracks/ride.gpx");
    window.fileImport().setPanel([&](const QStringList &extensions) {
        return extensions.contains(QStringLiteral("gpx")) ? QList<QUrl>{QUrl::fromLocalFile(track)} : QList<QUrl>{};
    });
    QStringList asked;
    window.exportAction().setSaveDialog([&](QWidget *, const QString &name) {
        asked << name;
        return QUrl::fromLocalFile(dir.filePath(QStringLiteral("ride.mp4")));
    });

    // Import: the toolbar's track button.
    ASSERT_TRUE(tabTo([](QWidget *w) { return w->objectName() == QLatin1String("importTracks"); }));
    press(Qt::Key_Space);
    ASSERT_TRUE(waitFor([&] { return !window.gpxService().tracks().isEmpty(); }));

    // Place the time widget: switch it on in the inspector, then back to its place.
    auto *inspector = window.findChild<SettingsPanelView *>();
    ASSERT_TRUE(inspector);
    InspectorSection *time = inspector->section(QStringLiteral("TIME"));
    ASSERT_TRUE(tabTo([&](QWidget *w) { return time->enabledToggle()->isAncestorOf(w); }));
    EXPECT_TRUE(reachable(QApplication::focusWidget()));
    press(Qt::Key_Space);
    ASSERT_TRUE(window.timeSettings().enabled());
    window.windowState().setPosition(WidgetKind::time, QPointF(12, 34));
    QPushButton *reset = time->findChild<InspectorPositionRow *>()->resetButton();
    ASSERT_TRUE(tabTo([&](QWidget *w) { return w == reset; }));
    EXPECT_TRUE(reachable(reset));
    press(Qt::Key_Space);
    EXPECT_NE(window.windowState().position(WidgetKind::time), std::optional<QPointF>(QPointF(12, 34)));

    // Overlay mode, so that the track alone makes the video: Tab to the mode row, Right to Overlay.
    ASSERT_TRUE(tabTo([](QWidget *w) { return w->objectName() == QLatin1String("Regular"); }));
    press(Qt::Key_Right);
    ASSERT_EQ(window.compositionMode(), CompositionMode::overlay);

    // Export: the toolbar's button opens the sheet, Return in the sheet queues the export.
    ASSERT_TRUE(waitFor([&] { return window.exportAction().canExport(); }));
    ASSERT_TRUE(tabTo([](QWidget *w) { return w->objectName() == QLatin1String("export"); }));
    press(Qt::Key_Return);
    QDialog *sheet = window.sheets().dialog(WindowSheets::Sheet::exportSettings);
    ASSERT_TRUE(sheet);
    ASSERT_TRUE(QTest::qWaitForWindowActive(sheet));
    EXPECT_TRUE(reachable(sheet->findChild<QPushButton *>(QStringLiteral("export"))));
    press(Qt::Key_Return);
    ASSERT_TRUE(waitFor([&] { return window.exportQueue().current().has_value(); }));
    EXPECT_EQ(asked.size(), 1);
    EXPECT_EQ(window.exportQueue().current()->task.outputURL,
              QUrl::fromLocalFile(dir.filePath(QStringLiteral("ride.mp4"))));

    stopExports(window.exportQueue());
}
