// Keys on focused controls of the real window: what a control takes is its own,
// and a group of choices is one Tab stop, at the choice made. Run on the offscreen
// platform at 1920 × 1080 and on small screens at 200 % (see CMakeLists.txt).
#include "ui/main/mainwindow.h"
#include "ui/main/windowsheets.h"
#include "ui/panels/inspector/inspectorpickerrow.h"
#include "ui/panels/inspector/inspectorsection.h"
#include "ui/panels/settingspanelview.h"
#include "ui/state/windowstate.h"
#include "ui/timeline/timelinescrollarea.h"
#include "ui/timeline/timelineview.h"

#include "export/exportpreset.h"
#include "project/projectsession.h"
#include "timeline/playbackclock.h"
#include "timeline/playerscriptedplayer.h"
#include "timeline/videoplayerservice.h"
#include "tracks/gpxservice.h"
#include "widgets/gpspathwidgetsettings.h"
#include "widgets/heartrategraphwidgetsettings.h"
#include "widgets/heartratewidgetsettings.h"
#include "widgets/mapsettings.h"
#include "widgets/speedwidgetsettings.h"
#include "widgets/timewidgetsettings.h"

#include "support/timelinefixtures.h"
#include "support/trackfixtures.h"
#include "support/waitfor.h"
#include "freshstart.h"
#include "settledclip.h"

#include <QApplication>
#include <QDialog>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <gtest/gtest.h>

#include <set>

using namespace routereel;
using testsupport::waitFor;

namespace {

// The window with a track, every widget on and every section open, and a clip the player has
// settled on, so that Home has a playhead to move.
struct Window {
    Window()
    {
        window.show();
        EXPECT_TRUE(waitFor([&] { return window.session().didAttemptAutoRestore(); }));
        EXPECT_TRUE(waitFor([&] { return !window.session().hasFileWork(); }));
        GPXTrack track;
        track.trackPoints = {testsupport::trackPoint(47.0, 8.0, 0), testsupport::trackPoint(47.1, 8.1, 10)};
        window.gpxService().addTrack(track);
        for (QObject *settings : std::initializer_list<QObject *>{
                 &window.mapSettings(), &window.gpsPathSettings(), &window.speedSettings(), &window.timeSettings(),
                 &window.heartRateSettings(), &window.heartRateGraphSettings()})
            settings->setProperty("enabled", true);
        window.windowState().setCollapsedSections({});
        testsupport::settleOnAClip(window, player);
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    double playhead() { return window.playerService().clock()->playheadTime(); }
    void movePlayhead(double seconds)
    {
        window.playerService().scrub(seconds);
        player->completeSeek();
        EXPECT_TRUE(waitFor([&] { return std::abs(playhead() - seconds) < 1e-6; }));
    }

    testsupport::FreshStart fresh;
    ScriptedPlayer *player = nullptr;
    MainWindow window{{.makePlayer = [this] { return player = new ScriptedPlayer; },
                       .network = QNetworkInformation::Reachability::Online}};
};

bool focusOn(QWidget *widget)
{
    widget->setFocus(Qt::TabFocusReason);
    return waitFor([&] { return QApplication::focusWidget() == widget; });
}

// Every widget that Tab reaches from the focused one, once round.
std::set<QWidget *> tabStops()
{
    std::set<QWidget *> reached;
    QWidget *start = QApplication::focusWidget();
    for (int i = 0; i < 400; ++i) {
        QWidget *focus = QApplication::focusWidget();
        if (!focus || (i > 0 && focus == start))
            break;
        reached.insert(focus);
        QTest::keyClick(focus, Qt::Key_Tab);
    }
    return reached;
}

QRadioButton *focusedRow(QDialog *sheet)
{
    auto *row = qobject_cast<QRadioButton *>(QApplication::focusWidget());
    return row && sheet->isAncestorOf(row) ? row : nullptr;
}

} // namespace

TEST(KeyboardOnly, HomeAndEndMoveAFocusedSliderAndElseThePlayhead)
{
    Window w;
    QList<QSlider *> sliders;
    for (QSlider *slider : w.window.findChildren<QSlider *>())
        if (slider->isVisible() && slider->isEnabled())
            sliders << slider;
    // The timeline's zoom and the sections' sliders: size, zoom level, opacity, padding, font size ...
    ASSERT_GE(sliders.size(), 12);
    for (QSlider *slider : sliders) {
        SCOPED_TRACE((slider->accessibleName() + QLatin1Char(' ') + slider->objectName()).toStdString());
        w.movePlayhead(4);
        ASSERT_TRUE(focusOn(slider));
        QTest::keyClick(slider, Qt::Key_End);
        EXPECT_EQ(slider->value(), slider->maximum());
        QTest::keyClick(slider, Qt::Key_Home);
        EXPECT_EQ(slider->value(), slider->minimum());
        EXPECT_EQ(w.playhead(), 4);
        EXPECT_EQ(QApplication::focusWidget(), slider);
    }
    // Where no control takes it, Home goes to the start.
    auto *timeline = w.window.findChild<TimelineView *>();
    ASSERT_TRUE(focusOn(timeline->scrollArea()));
    QTest::keyClick(timeline->scrollArea(), Qt::Key_Home);
    EXPECT_TRUE(waitFor([&] {
        w.player->completeSeek();
        return w.playhead() == 0;
    }));
}

TEST(KeyboardOnly, EachGroupOfChoicesIsOneTabStopAtItsChoice)
{
    Window w;
    w.window.windowState().setCompositionMode(CompositionMode::overlay);
    w.window.speedSettings().setUnit(SpeedUnit::mph);
    auto *inspector = w.window.findChild<SettingsPanelView *>();
    InspectorPickerRow *unit = inspector->section(QStringLiteral("SPEED"))->findChild<InspectorPickerRow *>("Unit");
    ASSERT_TRUE(unit);
    auto *regular = w.window.findChild<QAbstractButton *>(QStringLiteral("Regular"));
    auto *overlay = w.window.findChild<QAbstractButton *>(QStringLiteral("Overlay"));
    ASSERT_TRUE(regular && overlay);
    const struct {
        const char *name;
        QList<QAbstractButton *> group;
        QAbstractButton *chosen;
    } groups[] = {
        {"mode", {regular, overlay}, overlay},
        {"unit", {unit->segment(0), unit->segment(1), unit->segment(2)}, unit->segment(1)},
    };
    // Focus that rested on an unchosen segment leaves no Tab stop behind.
    ASSERT_TRUE(focusOn(unit->segment(0)));
    QTest::keyClick(unit->segment(0), Qt::Key_Tab);
    ASSERT_TRUE(focusOn(w.window.findChild<TimelineView *>()->scrollArea()));
    const std::set<QWidget *> reached = tabStops();
    for (const auto &g : groups) {
        for (QAbstractButton *button : g.group)
            EXPECT_EQ(reached.count(button), button == g.chosen ? 1u : 0u)
                << g.name << " " << button->text().toStdString();
    }
    // The arrows choose within the group, and the stop follows.
    ASSERT_TRUE(focusOn(overlay));
    QTest::keyClick(overlay, Qt::Key_Left);
    EXPECT_EQ(w.window.windowState().compositionMode(), CompositionMode::regular);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), regular);
}

// Opened in either mode, with a choice other than the first row, the sheet's focus is on the choice,
// Tab reaches no other row, Space keeps the choice and the arrows change it.
TEST(KeyboardOnly, TheExportSheetsTabStopIsItsChosenResolution)
{
    Window w;
    WindowState &state = w.window.windowState();
    const struct {
        CompositionMode mode;
        ExportPreset chosen, below;
    } cases[] = {
        {CompositionMode::overlay, ExportPreset::p1080, ExportPreset::p720},
        {CompositionMode::regular, ExportPreset::p1080, ExportPreset::p720},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(enumText(c.mode).toStdString());
        state.setCompositionMode(c.mode);
        state.setSelectedPreset(c.chosen);
        for (int opening = 0; opening < 2; ++opening) {
            state.setShowExportSheet(true);
            QDialog *sheet = w.window.sheets().dialog(WindowSheets::Sheet::exportSettings);
            ASSERT_TRUE(sheet);
            ASSERT_TRUE(waitFor([&] { return QApplication::activeWindow() == sheet; }));
            auto *chosen = sheet->findChild<QRadioButton *>(enumText(c.chosen));
            ASSERT_TRUE(chosen && chosen->isChecked());
            ASSERT_GT(sheet->findChildren<QRadioButton *>().indexOf(chosen), 0);  // not the first row
            EXPECT_EQ(focusedRow(sheet), chosen) << opening;

            std::set<QWidget *> rows;
            for (QWidget *reached : tabStops())
                if (qobject_cast<QRadioButton *>(reached))
                    rows.insert(reached);
            EXPECT_EQ(rows, std::set<QWidget *>{chosen});

            ASSERT_TRUE(focusOn(chosen));
            QTest::keyClick(chosen, Qt::Key_Space);
            EXPECT_EQ(state.selectedPreset(), c.chosen);
            QTest::keyClick(chosen, Qt::Key_Down);
            EXPECT_EQ(state.selectedPreset(), c.below);
            auto *below = sheet->findChild<QRadioButton *>(enumText(c.below));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
            EXPECT_EQ(focusedRow(sheet), below);
            // Shown again: at the choice as it was when the sheet closed, then chosen back for the next round.
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
            ASSERT_TRUE(waitFor([&] { return !state.showExportSheet(); }));
            ASSERT_TRUE(waitFor([&] { return !w.window.sheets().dialog(WindowSheets::Sheet::exportSettings); }));
            state.setSelectedPreset(c.chosen);
        }
    }
}
