#include "ui/main/mainlayout.h"
#include "ui/main/mainwindow.h"

#include "project/projectsession.h"
#include "timeline/playerscriptedplayer.h"
#include "timeline/videoplayerservice.h"
#include "tracks/gpxservice.h"
#include "ui/panels/inspector/inspectorpickerrow.h"
#include "ui/panels/inspector/inspectorsection.h"
#include "ui/panels/inspector/inspectorsectionheader.h"
#include "ui/panels/inspector/inspectortogglerow.h"
#include "ui/panels/inspector/inspectorsliderrow.h"
#include "ui/panels/inspector/inspectorsliderline.h"
#include "ui/panels/settingspanelview.h"
#include "ui/state/windowstate.h"
#include "ui/timeline/timelinescrollarea.h"
#include "ui/timeline/timelineview.h"
#include "widgets/speedwidgetsettings.h"
#include "widgets/timewidgetsettings.h"

#include "support/testartifacts.h"
#include "support/timelinefixtures.h"
#include "support/trackfixtures.h"
#include "support/waitfor.h"
#include "freshstart.h"
#include "settledclip.h"

#include <QApplication>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>

using namespace routereel;
using testsupport::FreshStart;
using testsupport::waitFor;

namespace {

// The real window with a track (the inspector reacts) and a clip the player has settled on.
struct Window {
    Window()
    {
        window.show();
        QApplication::setActiveWindow(&window);  // tests share one display
        EXPECT_TRUE(waitFor([&] { return window.session().didAttemptAutoRestore(); }));
        GPXTrack track;
        track.trackPoints = {testsupport::trackPoint(47.0, 8.0, 0), testsupport::trackPoint(47.1, 8.1, 10)};
        window.gpxService().addTrack(track);
        testsupport::settleOnAClip(window, player);
        // The preview's web map may have taken the activation meanwhile.
        QApplication::setActiveWindow(&window);
        EXPECT_TRUE(waitFor([&] { return window.isActiveWindow(); }));
    }
    ~Window()
    {
        window.windowState().setAppAppearance(QStringLiteral("light"));
        QCoreApplication::processEvents();
    }
    bool asked() { return window.playerService().isPlaying() || window.playerService().wantsToPlay(); }
    SettingsPanelView &inspector()
    {
        return *static_cast<SettingsPanelView *>(window.content().place(QStringLiteral("inspector")));
    }
    InspectorSection *section(const char *key) { return inspector().section(QString::fromLatin1(key)); }
    template <typename Row>
    Row *row(const char *key, const char *caption)
    {
        return section(key)->findChild<Row *>(QString::fromUtf8(caption));
    }

    FreshStart fresh;
    ScriptedPlayer *player = nullptr;
    MainWindow window{{.makePlayer = [this] { return player = new ScriptedPlayer; },
                       .network = QNetworkInformation::Reachability::Online}};
};

} // namespace

TEST(PressableControlKeys, AFocusedControlTakesSpaceAndReturnAndSpacePlaysEverywhereElse)
{
    Window w;
    w.window.timeSettings().setEnabled(true);
    w.window.speedSettings().setEnabled(true);
    w.window.windowState().setPosition(WidgetKind::speed, QPointF(100, 100));
    QCoreApplication::processEvents();
    auto *timeline = static_cast<TimelineView *>(w.window.content().place(QStringLiteral("timelinePanel")));
    const auto collapsed = [&](const char *key) { return w.section(key)->isCollapsed(); };

    const struct {
        const char *name;
        std::function<QWidget *()> target;
        Qt::Key key;
        bool plays;
        std::function<bool()> effect;  // what the key did to the control, when it takes the key
    } cases[] = {
        {"section header, Space", [&] { return w.section("MAP")->header(); }, Qt::Key_Space, false,
         [&] { return collapsed("MAP"); }},
        {"section header, Return", [&] { return w.section("MAP")->header(); }, Qt::Key_Return, false,
         [&] { return !collapsed("MAP"); }},
        {"toggle, Space", [&] { return w.row<InspectorToggleRow>("TIME", "Enabled"); }, Qt::Key_Space, false,
         [&] { return !w.window.timeSettings().enabled(); }},
        {"toggle, Enter", [&] { return w.row<InspectorToggleRow>("TIME", "Enabled"); }, Qt::Key_Enter, false,
         [&] { return w.window.timeSettings().enabled(); }},
        {"picker segment, Space", [&] { return w.row<InspectorPickerRow>("SPEED", "Unit")->segment(1); },
         Qt::Key_Space, false, [&] { return w.window.speedSettings().unit() == SpeedUnit::mph; }},
        {"push button, Return",
         [&] { return w.section("SPEED")->findChild<QPushButton *>(); }, Qt::Key_Return, false,
         [&] { return !w.window.windowState().position(WidgetKind::speed).has_value(); }},
        {"slider", [&] { return w.row<InspectorSliderRow>("TIME", "Font Size")->line(0)->slider(); },
         Qt::Key_Space, true, [] { return true; }},
        {"timeline", [&] { return timeline->scrollArea(); }, Qt::Key_Space, true, [] { return true; }},
        {"window (preview)", [&] { return &w.window; }, Qt::Key_Space, true, [] { return true; }},
    };
    for (const auto &c : cases) {
        QWidget *target = c.target();
        ASSERT_TRUE(target) << c.name;
        target->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(waitFor([&] { return QApplication::focusWidget() == target || target == &w.window; })) << c.name;
        const bool before = w.asked();
        QTest::keyClick(target, c.key);
        QCoreApplication::processEvents();
        EXPECT_EQ(w.asked() != before, c.plays) << c.name;
        EXPECT_TRUE(c.effect()) << c.name;
    }
}

TEST(PressableControlKeys, AFocusedCheckedControlShowsItsFocusInEitherAppearance)
{
    Window w;
    w.window.timeSettings().setEnabled(true);
    w.window.speedSettings().setEnabled(true);
    QCoreApplication::processEvents();
    for (const char *appearance : {"light", "dark"}) {
        w.window.windowState().setAppAppearance(QString::fromLatin1(appearance));
        QCoreApplication::processEvents();
        const struct {
            const char *name;
            QAbstractButton *control;
        } cases[] = {
            {"toggle", w.row<InspectorToggleRow>("TIME", "Enabled")},
            {"segment", w.row<InspectorPickerRow>("SPEED", "Unit")->segment(0)},
            {"header", w.section("PATH")->header()},
        };
        for (const auto &c : cases) {
            ASSERT_TRUE(c.control->isChecked() || !c.control->isCheckable()) << c.name;
            w.window.setFocus(Qt::OtherFocusReason);
            ASSERT_TRUE(waitFor([&] { return !c.control->hasFocus(); }));
            const QImage unfocused = c.control->grab().toImage();
            c.control->setFocus(Qt::TabFocusReason);
            ASSERT_TRUE(waitFor([&] { return c.control->hasFocus(); })) << c.name;
            const QImage focused = c.control->grab().toImage();
            saveTestArtifact(focused, QStringLiteral("focused-%1-%2").arg(c.name, appearance));
            EXPECT_NE(focused, unfocused) << c.name << " " << appearance;
        }
    }
}
