#include "ui/panels/inspector/inspectorpickerrow.h"
#include "ui/panels/inspector/inspectorpositionrow.h"
#include "ui/panels/inspector/inspectorsection.h"
#include "ui/panels/inspector/inspectorsectionheader.h"
#include "ui/panels/inspector/inspectorsliderrow.h"
#include "ui/panels/inspector/inspectortogglerow.h"
#include "ui/panels/inspector/mapsection.h"
#include "ui/panels/settingspanelview.h"

#include "tracks/gpxservice.h"
#include "ui/state/windowstate.h"
#include "widgets/gpspathwidgetsettings.h"
#include "widgets/heartrategraphwidgetsettings.h"
#include "widgets/heartratewidgetsettings.h"
#include "widgets/mapsettings.h"
#include "widgets/speedwidgetsettings.h"
#include "widgets/timewidgetsettings.h"
#include "widgets/views/speedoverlayview.h"

#include "support/testartifacts.h"
#include "support/trackfixtures.h"
#include "support/waitfor.h"

#include <QAccessible>
#include <QApplication>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QTranslator>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace routereel;

namespace {

// Stored settings first (the objects read them when made), then the window's models.
struct StoredSettings {
    explicit StoredSettings(const QVariantMap &stored)
    {
        QSettings settings;
        settings.clear();
        for (auto it = stored.begin(); it != stored.end(); ++it)
            settings.setValue(it.key(), it.value());
    }
};

struct Inspector : StoredSettings {
    explicit Inspector(const QVariantMap &stored = {}, bool withTrack = true)
        : StoredSettings(stored)
    {
        if (withTrack) {
            GPXTrack track;
            track.trackPoints = {testsupport::trackPoint(47.0, 8.0, 0), testsupport::trackPoint(47.1, 8.1, 10)};
            gpx.addTrack(track);
        }
        panel = std::make_unique<SettingsPanelView>(map, time, speed, path, heartRate, graph, state, gpx);
        panel->resize(SettingsPanelView::panelWidth, 700);
        panel->show();
    }

    InspectorSection *section(const char *key) const { return panel->section(QString::fromUtf8(key)); }
    template <typename Row>
    Row *row(const char *key, const char *caption) const
    {
        return section(key)->findChild<Row *>(QString::fromUtf8(caption));
    }
    InspectorSliderLine *line(const char *key, const char *caption, int index = 0) const
    {
        return row<InspectorSliderRow>(key, caption)->line(index);
    }
    // What a row shows: a slider's value text, the chosen segment's text, or a switch's "on" / "off".
    QString shows(const char *key, const char *caption) const
    {
        QWidget *row = section(key)->findChild<QWidget *>(QString::fromUtf8(caption));
        if (auto *slider = qobject_cast<InspectorSliderRow *>(row))
            return slider->line(0)->valueText();
        if (auto *toggle = qobject_cast<InspectorToggleRow *>(row))
            return toggle->isChecked() ? QStringLiteral("on") : QStringLiteral("off");
        auto *picker = qobject_cast<InspectorPickerRow *>(row);
        for (int i = 0; picker && picker->segment(i); ++i) {
            if (picker->segment(i)->isChecked())
                return picker->segment(i)->text();
        }
        return QStringLiteral("(nothing)");
    }
    bool shown(QWidget *widget) const { return widget->isVisibleTo(panel.get()); }
    // Captions of the rows shown under the switch, top to bottom.
    QStringList shownRows(const char *key) const
    {
        QStringList names;
        for (QObject *child : section(key)->rows()->children()) {
            auto *widget = qobject_cast<QWidget *>(child);
            if (widget && shown(widget))
                names << widget->objectName();
        }
        return names;
    }

    MapSettings map;
    TimeWidgetSettings time;
    SpeedWidgetSettings speed;
    GPSPathWidgetSettings path;
    HeartRateWidgetSettings heartRate;
    HeartRateGraphWidgetSettings graph;
    WindowState state;
    GPXService gpx;
    std::unique_ptr<SettingsPanelView> panel;
};

void clickCentre(QWidget *widget)
{
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}

// On the box: the rest of a switch's row does not take clicks.
void clickToggle(QWidget *toggle)
{
    QTest::mouseClick(toggle, Qt::LeftButton, {}, QPoint(6, toggle->height() / 2));
}

// Wheel notches where the pointer is, delivered as the window does: to the widget under it.
void wheelAt(QWidget *over, int notches)
{
    const QPoint global = over->mapToGlobal(over->rect().center());
    QWidget *target = over->window()->childAt(over->window()->mapFromGlobal(global));
    ASSERT_EQ(target, over);
    for (int i = 0; i < notches; ++i) {
        QWheelEvent wheel(target->mapFromGlobal(QPointF(global)), QPointF(global), {}, QPoint(0, -120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &wheel);
    }
}

QVariantMap storedSettings()
{
    QSettings settings;
    QVariantMap all;
    for (const QString &key : settings.allKeys())
        all.insert(key, settings.value(key));
    return all;
}

} // namespace

TEST(Inspector, WheelScrollsThePanelOverSlidersWhichOnlyKeysAndDragsMove)
{
    Inspector ui;
    ui.time.setEnabled(true);
    ui.panel->resize(SettingsPanelView::panelWidth, 300);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(ui.panel.get()));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QSlider *slider = ui.line("TIME", "Font Size")->slider();
    ui.panel->scrollArea()->ensureWidgetVisible(slider, 0, 100);
    QCoreApplication::processEvents();
    QScrollBar *bar = ui.panel->scrollArea()->verticalScrollBar();
    const int scrolled = bar->value();
    const QVariantMap stored = storedSettings();
    ASSERT_EQ(ui.time.fontSize(), 18);

    wheelAt(slider, 3);
    EXPECT_EQ(ui.time.fontSize(), 18);
    EXPECT_EQ(storedSettings(), stored);
    EXPECT_GT(bar->value(), scrolled);

    // Focused, it still leaves the wheel to the panel but follows the keys.
    slider->setFocus();
    bar->setValue(scrolled);
    wheelAt(slider, 2);
    EXPECT_EQ(ui.time.fontSize(), 18);
    EXPECT_GT(bar->value(), scrolled);
    QTest::keyClick(slider, Qt::Key_Right);
    EXPECT_EQ(ui.time.fontSize(), 19);
}

TEST(Inspector, SectionsCollapseByTheirHeaders)
{
    Inspector ui;
    EXPECT_EQ(ui.panel->width(), 230);
    for (const QString &key : SettingsPanelView::sectionKeys) {
        InspectorSection *section = ui.panel->section(key);
        EXPECT_FALSE(section->isCollapsed()) << key.toStdString();
        EXPECT_EQ(section->header()->chevronAngle(), 90);
        EXPECT_EQ(section->header()->parentWidget()->height(), 28);
    }
    for (int i = 1; i < SettingsPanelView::sectionKeys.size(); ++i) {
        const InspectorSection *above = ui.panel->section(SettingsPanelView::sectionKeys[i - 1]);
        EXPECT_EQ(ui.panel->section(SettingsPanelView::sectionKeys[i])->y(), above->y() + above->height());
    }

    // The middle of the header line is the gap between title and chevron.
    InspectorSectionHeader *header = ui.section("SPEED")->header();
    const QRect titleOnly(QPoint(), QFontMetrics(header->font()).size(0, header->text()));
    ASSERT_FALSE(titleOnly.contains(header->rect().center()));
    ui.speed.setEnabled(true);
    clickCentre(header);
    EXPECT_EQ(ui.state.collapsedSections(), QSet<QString>{QStringLiteral("SPEED")});
    EXPECT_FALSE(ui.shown(ui.section("SPEED")->enabledToggle()));
    EXPECT_GT(header->chevronAngle(), 0); // turns, does not jump
    EXPECT_TRUE(testsupport::waitFor([&] { return header->chevronAngle() == 0; }, 1000));
    EXPECT_TRUE(ui.speed.enabled()); // the widget stays on
    clickCentre(header);
    EXPECT_TRUE(ui.state.collapsedSections().isEmpty());
    EXPECT_TRUE(ui.shown(ui.section("SPEED")->enabledToggle()));
    EXPECT_TRUE(testsupport::waitFor([&] { return header->chevronAngle() == 90; }, 1000));

    ui.state.setCollapsedSections(QSet<QString>(SettingsPanelView::sectionKeys.begin(),
                                                SettingsPanelView::sectionKeys.end()) << QStringLiteral("NOT A KEY"));
    // Six bare header bars, each chevron pointing right once turned.
    EXPECT_TRUE(testsupport::waitFor([&] {
        return std::all_of(SettingsPanelView::sectionKeys.begin(), SettingsPanelView::sectionKeys.end(),
                           [&](const QString &key) {
                               InspectorSection *section = ui.panel->section(key);
                               return section->height() == 28 && section->header()->chevronAngle() == 0;
                           });
    }));
}

// Tab goes from control to control, each in view when it has the focus, and
// never stops on the scrolling area itself, which shows no focus.
TEST(Inspector, TabReachesOnlyControlsAndScrollsThemIntoView)
{
    Inspector ui;
    QApplication::setActiveWindow(ui.panel.get());
    ui.section("MAP")->header()->setFocus(Qt::TabFocusReason);
    for (int i = 0; i < 40; ++i) {
        QWidget *focus = QApplication::focusWidget();
        ASSERT_TRUE(focus);
        EXPECT_FALSE(qobject_cast<QAbstractScrollArea *>(focus)) << i;
        EXPECT_FALSE(focus->visibleRegion().isEmpty()) << focus->objectName().toStdString();
        QTest::keyClick(focus, Qt::Key_Tab);
    }
}

TEST(Inspector, WithoutTrackEverythingIsDisabledAtHalfOpacity)
{
    Inspector ui({}, false);
    auto *effect = qobject_cast<QGraphicsOpacityEffect *>(ui.panel->graphicsEffect());
    ASSERT_NE(effect, nullptr);
    EXPECT_FALSE(ui.panel->isEnabled());
    EXPECT_TRUE(effect->isEnabled());
    EXPECT_EQ(effect->opacity(), 0.5);
    clickCentre(ui.section("MAP")->header());
    clickToggle(ui.section("MAP")->enabledToggle());
    EXPECT_TRUE(ui.state.collapsedSections().isEmpty());
    EXPECT_TRUE(ui.map.enabled());

    ui.gpx.addTrack(GPXTrack{});
    EXPECT_TRUE(ui.panel->isEnabled());
    EXPECT_FALSE(effect->isEnabled());
    clickToggle(ui.section("MAP")->enabledToggle());
    EXPECT_FALSE(ui.map.enabled());
    EXPECT_TRUE(ui.shownRows("MAP").isEmpty());
}

TEST(Inspector, WithoutTrackAssistiveToolsChangeNothingEither)
{
    Inspector ui({{QStringLiteral("gpsPathEnabled"), true}, {QStringLiteral("speedWidgetEnabled"), true},
                  {QStringLiteral("timeWidgetEnabled"), true}, {QStringLiteral("heartRateWidgetEnabled"), true},
                  {QStringLiteral("hrGraphEnabled"), true}},
                 false);
    const QVariantMap stored = storedSettings();
    const QList<QSlider *> sliders = ui.panel->findChildren<QSlider *>();
    ASSERT_GE(sliders.size(), 14);
    QList<int> positions;
    for (QSlider *slider : sliders)
        positions << slider->value();
    for (QSlider *slider : sliders) {
        QAccessibleInterface *a = QAccessible::queryAccessibleInterface(slider);
        ASSERT_TRUE(a && a->valueInterface());
        a->valueInterface()->setCurrentValue(a->valueInterface()->minimumValue());
        a->valueInterface()->setCurrentValue(a->valueInterface()->maximumValue());
    }
    for (QAbstractButton *button : ui.panel->findChildren<QAbstractButton *>()) {
        if (QAccessibleActionInterface *actions = QAccessible::queryAccessibleInterface(button)->actionInterface()) {
            for (const QString &action : actions->actionNames())
                actions->doAction(action);
        }
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(storedSettings(), stored);
    EXPECT_TRUE(ui.state.collapsedSections().isEmpty());
    EXPECT_FALSE(ui.state.showTokenSheet());
    for (int i = 0; i < sliders.size(); ++i)
        EXPECT_EQ(sliders[i]->value(), positions[i]) << sliders[i]->accessibleName().toStdString();
    EXPECT_EQ(ui.shows("MAP", "Size"), QStringLiteral("200"));
    EXPECT_EQ(ui.shows("MAP", "Opacity"), QStringLiteral("80%"));
}

TEST(Inspector, SlidersSpeakTheShownValueToAssistiveTools)
{
    Inspector ui({{QStringLiteral("gpsPathEnabled"), true}, {QStringLiteral("speedWidgetEnabled"), true},
                  {QStringLiteral("hrGraphEnabled"), true}});
    struct Case {
        const char *key, *caption;
        double now, lower, upper, step;
        std::function<double()> stored;
        double set;      // what the tool sets
        double storedAs; // on the step, as a drag stores it
        const char *text;
    };
    const Case table[] = {
        {"MAP", "Size", 200, 100, 200, 10, [&] { return ui.map.width(); }, 150, 150, "150"},
        {"MAP", "Zoom Level", 15, 10, 18, 1, [&] { return double(ui.map.zoomLevel()); }, 12, 12, "12"},
        {"MAP", "Opacity", 80, 10, 100, 10, [&] { return ui.map.opacity(); }, 43, 0.4, "40%"},
        {"PATH", "Opacity", 75, 0, 100, 10, [&] { return ui.path.opacity(); }, 0, 0, "0%"},
        {"PATH", "Padding", 27, 0, 20, 1, [&] { return ui.path.padding(); }, 7, 7, "7"},  // 27 by default
        {"SPEED", "Font Size", 18, 10, 20, 1, [&] { return ui.speed.fontSize(); }, 25, 20, "20"},
        {"HEART RATE GRAPH", "Width", 220, 140, 240, 10, [&] { return ui.graph.width(); }, 186, 190, "190"},
        {"HEART RATE GRAPH", "Height", 70, 40, 80, 5, [&] { return ui.graph.height(); }, 57, 55, "55"},
    };
    for (const Case &c : table) {
        SCOPED_TRACE(std::string(c.key) + " " + c.caption);
        QAccessibleValueInterface *value =
            QAccessible::queryAccessibleInterface(ui.line(c.key, c.caption)->slider())->valueInterface();
        ASSERT_TRUE(value);
        EXPECT_EQ(value->currentValue().toDouble(), c.now);
        EXPECT_EQ(value->minimumValue().toDouble(), c.lower);
        EXPECT_EQ(value->maximumValue().toDouble(), c.upper);
        EXPECT_EQ(value->minimumStepSize().toDouble(), c.step);
        value->setCurrentValue(c.set);
        EXPECT_DOUBLE_EQ(c.stored(), c.storedAs);
        EXPECT_EQ(ui.shows(c.key, c.caption), QString::fromUtf8(c.text));
        EXPECT_EQ(value->currentValue().toDouble(), QString::fromUtf8(c.text).remove(QLatin1Char('%')).toDouble());
    }
    EXPECT_EQ(QSettings().value(QStringLiteral("mapWidth")).toDouble(), 150);

    // Keys step from a value off the grid to the next step in their direction, not past it.
    QSlider *width = ui.line("HEART RATE GRAPH", "Width")->slider();
    for (const auto &[key, expected] : {std::pair(Qt::Key_Right, 190), std::pair(Qt::Key_Left, 180)}) {
        ui.graph.setWidth(187.9);
        EXPECT_EQ(QAccessible::queryAccessibleInterface(width)->valueInterface()->currentValue().toDouble(), 187);
        QTest::keyClick(width, key);
        EXPECT_EQ(ui.graph.width(), expected);
    }
}

TEST(Inspector, ProviderIsStoredAndAsksForAMissingToken)
{
    struct Case {
        QString token;
        bool asks;
    };
    for (const Case &c : {Case{QString(), true}, Case{QStringLiteral(" "), false}}) {
        Inspector ui({{QStringLiteral("mapboxToken"), c.token}});
        auto *provider = ui.row<InspectorPickerRow>("MAP", "Provider");
        QPushButton *setToken = static_cast<MapSection *>(ui.section("MAP"))->setTokenButton();
        clickCentre(provider->segment(1));
        EXPECT_EQ(QSettings().value(QStringLiteral("mapProvider")).toString(), QStringLiteral("Mapbox"));
        EXPECT_EQ(ui.state.mapProvider(), MapProvider::mapbox);
        EXPECT_EQ(ui.state.showTokenSheet(), c.asks) << "token '" << c.token.toStdString() << "'";
        EXPECT_TRUE(ui.shown(setToken));

        // Clicking the chosen segment again is no change: nothing stored, nothing asked.
        ui.state.setShowTokenSheet(false);
        QSettings().remove(QStringLiteral("mapProvider"));
        clickCentre(provider->segment(1));
        EXPECT_FALSE(QSettings().contains(QStringLiteral("mapProvider")));
        EXPECT_FALSE(ui.state.showTokenSheet());

        clickCentre(setToken); // also with a token, to replace it
        EXPECT_TRUE(ui.state.showTokenSheet());
        ui.state.setShowTokenSheet(false);
        clickCentre(provider->segment(0));
        EXPECT_EQ(QSettings().value(QStringLiteral("mapProvider")).toString(), QStringLiteral("OSM"));
        EXPECT_FALSE(ui.state.showTokenSheet());
        EXPECT_FALSE(ui.shown(setToken));
    }
}

TEST(Inspector, SectionsOnFirstRun)
{
    Inspector ui;
    EXPECT_FALSE(ui.shown(static_cast<MapSection *>(ui.section("MAP"))->setTokenButton()));
    for (const char *key : {"PATH", "SPEED", "TIME", "HEART RATE", "HEART RATE GRAPH"}) {
        EXPECT_EQ(ui.shows(key, "Enabled"), QStringLiteral("off")) << key;
        EXPECT_TRUE(ui.shownRows(key).isEmpty()) << key;
        clickToggle(ui.section(key)->enabledToggle());
    }
    EXPECT_EQ(ui.shownRows("MAP"),
              (QStringList{"Provider", "Style", "Orientation", "Size", "Zoom Level", "Opacity", "Widget Position"}));
    EXPECT_EQ(ui.shownRows("PATH"), (QStringList{"Show Map", "Style", "Size", "Opacity", "Padding", "Widget Position"}));
    EXPECT_EQ(ui.shownRows("HEART RATE"), (QStringList{"Show heart icon", "Show min and max", "Font Size", "Opacity",
                                                       "Widget Position"}));
    struct Expected {
        const char *key, *caption, *text;
    };
    const Expected table[] = {
        {"MAP", "Enabled", "on"},         {"MAP", "Provider", "OSM"},          {"MAP", "Style", "Default"},
        {"MAP", "Orientation", "North"},  {"MAP", "Size", "200"},              {"MAP", "Zoom Level", "15"},
        {"MAP", "Opacity", "80%"},        {"PATH", "Show Map", "No"},          {"PATH", "Style", "Default"},
        {"PATH", "Size", "180"},          {"PATH", "Opacity", "75%"},          {"PATH", "Padding", "27"},
        {"SPEED", "Unit", "km/h"},        {"SPEED", "Font Size", "18"},        {"SPEED", "Opacity", "100%"},
        {"TIME", "Font Size", "18"},      {"TIME", "Opacity", "100%"},         {"HEART RATE", "Show heart icon", "on"},
        {"HEART RATE", "Show min and max", "off"}, {"HEART RATE", "Font Size", "18"},
        {"HEART RATE", "Opacity", "100%"}, {"HEART RATE GRAPH", "Width", "220"}, {"HEART RATE GRAPH", "Height", "70"},
        {"HEART RATE GRAPH", "Opacity", "85%"}};
    for (const Expected &e : table)
        EXPECT_EQ(ui.shows(e.key, e.caption), QString::fromUtf8(e.text)) << e.key << " " << e.caption;

    // Showing 27 on a slider that ends at 20 wrote nothing back.
    EXPECT_EQ(ui.path.padding(), 27);
    EXPECT_EQ(ui.line("PATH", "Padding")->slider()->value(), 20);
    // Switched off elsewhere (the preview's Delete): the rows go; back on, they return unchanged.
    ui.time.setEnabled(false);
    EXPECT_TRUE(ui.shownRows("TIME").isEmpty());
    ui.time.setEnabled(true);
    EXPECT_EQ(ui.shows("TIME", "Font Size"), QStringLiteral("18"));
}

TEST(Inspector, RectangularMapHasHeightAndCorners)
{
    Inspector ui;
    EXPECT_FALSE(ui.shown(ui.line("MAP", "Size")->sideLabel()));
    EXPECT_FALSE(ui.shown(ui.line("MAP", "Size", 1)));
    ui.map.setShape(MapShape::roundedRect); // as an opened project sets it
    EXPECT_EQ(ui.shownRows("MAP"), (QStringList{"Provider", "Style", "Orientation", "Size", "Zoom Level",
                                                "Corner Radius", "Opacity", "Widget Position"}));
    EXPECT_TRUE(ui.shown(ui.line("MAP", "Size")->sideLabel()));
    EXPECT_EQ(ui.line("MAP", "Size")->sideLabel()->text(), QStringLiteral("W"));
    EXPECT_TRUE(ui.shown(ui.line("MAP", "Size", 1)));
    EXPECT_EQ(ui.shows("MAP", "Corner Radius"), QStringLiteral("12"));
    QTest::keyClick(ui.line("MAP", "Corner Radius")->slider(), Qt::Key_Right); // 12 → 14: steps of 2
    EXPECT_EQ(ui.map.cornerRadius(), 14);
    QTest::keyClick(ui.line("MAP", "Size", 1)->slider(), Qt::Key_Left);
    EXPECT_EQ(ui.map.height(), 190);
    EXPECT_EQ(ui.map.width(), 200);
}

// A stored value beyond a slider's range reads as its text shows it, until the slider moves;
// a tool setting the end the handle rests at stores that end.
TEST(Inspector, ValuesOutsideASlidersRangeSpeakAsShown)
{
    Inspector ui({{QStringLiteral("gpsPathEnabled"), true}, {QStringLiteral("speedWidgetEnabled"), true},
                  {QStringLiteral("mapZoomLevel"), 22}, {QStringLiteral("speedWidgetOpacity"), 0.05}});
    const struct {
        const char *key, *caption;
        double read;
        Qt::Key press;
        double afterKey;
    } table[] = {
        {"PATH", "Padding", 27, Qt::Key_Left, 19},
        {"MAP", "Zoom Level", 22, Qt::Key_Left, 17},
        {"SPEED", "Opacity", 5, Qt::Key_Right, 20},
    };
    for (const auto &c : table) {
        SCOPED_TRACE(std::string(c.key) + " " + c.caption);
        QSlider *slider = ui.line(c.key, c.caption)->slider();
        QAccessibleValueInterface *value = QAccessible::queryAccessibleInterface(slider)->valueInterface();
        EXPECT_EQ(ui.shows(c.key, c.caption).remove(QLatin1Char('%')).toDouble(), c.read);
        EXPECT_EQ(value->currentValue().toDouble(), c.read);
        QTest::keyClick(slider, c.press);
        EXPECT_EQ(value->currentValue().toDouble(), c.afterKey);
    }
    ui.path.setPadding(27);
    QAccessibleValueInterface *padding =
        QAccessible::queryAccessibleInterface(ui.line("PATH", "Padding")->slider())->valueInterface();
    padding->setCurrentValue(20);
    EXPECT_EQ(ui.path.padding(), 20);
    EXPECT_EQ(padding->currentValue().toDouble(), 20);
}

TEST(Inspector, ValueTextsShowStoredValuesAsTheyAre)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    Inspector ui({{QStringLiteral("mapZoomLevel"), 5}, {QStringLiteral("mapOpacity"), QStringLiteral("nan")},
                  {QStringLiteral("mapCornerRadius"), 1e300}, {QStringLiteral("speedWidgetFontSize"), -1e300}});
    QSignalSpy mapWrites(&ui.map, &MapSettings::changed);
    ui.map.setShape(MapShape::roundedRect);
    struct Case {
        std::function<void()> store;
        const char *key, *caption, *text;
        int sliderPosition;
    };
    const Case table[] = {
        {{}, "MAP", "Zoom Level", "5", 10},
        {[&] { ui.map.setZoomLevel(22); }, "MAP", "Zoom Level", "22", 18},
        {{}, "MAP", "Opacity", "\u2013%", 10},
        {{}, "MAP", "Corner Radius", "1e+300", 60},
        {{}, "SPEED", "Font Size", "-1e+300", 10},
        {[&] { ui.map.setOpacity(std::numeric_limits<double>::infinity()); }, "MAP", "Opacity", "\u221e%", 100},
        {[&] { ui.map.setCornerRadius(-nan); }, "MAP", "Corner Radius", "\u2013", 0},
        {[&] { ui.path.setWidth(187.9); }, "PATH", "Size", "187", 187},
        {[&] { ui.path.setOpacity(0.856); }, "PATH", "Opacity", "86%", 86},
        {[&] { ui.graph.setWidth(219.9); }, "HEART RATE GRAPH", "Width", "219", 219},
        {[&] { ui.heartRate.setFontSize(12.9); }, "HEART RATE", "Font Size", "12", 12},
    };
    for (const Case &c : table) {
        if (c.store)
            c.store();
        EXPECT_EQ(ui.shows(c.key, c.caption), QString::fromUtf8(c.text)) << c.key << " " << c.caption;
        EXPECT_EQ(ui.line(c.key, c.caption)->slider()->value(), c.sliderPosition) << c.key << " " << c.caption;
    }
    // Only the test's own assignments reached the settings, none from the panel showing them.
    EXPECT_EQ(mapWrites.count(), 4);
    EXPECT_EQ(QSettings().value(QStringLiteral("speedWidgetFontSize")).toDouble(), -1e300);

    // The first move puts the value on the slider's grid.
    QTest::keyClick(ui.line("MAP", "Zoom Level")->slider(), Qt::Key_Left);
    EXPECT_EQ(ui.map.zoomLevel(), 17);
    QTest::keyClick(ui.line("PATH", "Opacity")->slider(), Qt::Key_Home);
    EXPECT_EQ(ui.path.opacity(), 0); // PATH reaches 0
    EXPECT_EQ(ui.shows("PATH", "Opacity"), QStringLiteral("0%"));
    QTest::keyClick(ui.line("HEART RATE GRAPH", "Opacity")->slider(), Qt::Key_Left);
    EXPECT_EQ(ui.graph.opacity(), 0.8); // one step down from 0.85
    QTest::keyClick(ui.line("TIME", "Opacity")->slider(), Qt::Key_Home);
    EXPECT_EQ(ui.time.opacity(), 0.1); // the text widgets stop at 10%
    QTest::keyClick(ui.line("HEART RATE GRAPH", "Height")->slider(), Qt::Key_End);
    EXPECT_EQ(ui.graph.height(), 80);
}

TEST(Inspector, ChoicesReachTheSettingsAndThePreviewAtOnce)
{
    Inspector ui({{QStringLiteral("speedWidgetEnabled"), true}});
    SpeedOverlayView preview; // bound to the settings as the preview binds it
    preview.setSpeed(10);
    QObject::connect(&ui.speed, &SpeedWidgetSettings::unitChanged, &preview, &SpeedOverlayView::setUnit);
    clickCentre(ui.row<InspectorPickerRow>("SPEED", "Unit")->segment(1));
    EXPECT_EQ(ui.speed.unit(), SpeedUnit::mph);
    EXPECT_EQ(QSettings().value(QStringLiteral("speedWidgetUnit")).toString(), QStringLiteral("mph"));
    EXPECT_EQ(preview.text(), QStringLiteral("22.4 mph"));
    clickCentre(ui.row<InspectorPickerRow>("MAP", "Orientation")->segment(1));
    EXPECT_EQ(ui.map.orientation(), MapOrientation::follow);
}

TEST(Inspector, ResetClearsOnlyItsOwnWidgetPosition)
{
    Inspector ui({{QStringLiteral("timeWidgetEnabled"), true}, {QStringLiteral("speedWidgetEnabled"), true}});
    QSignalSpy positions(&ui.state, &WindowState::widgetPositionsChanged);
    clickCentre(ui.row<InspectorPositionRow>("TIME", "Widget Position")->resetButton());
    EXPECT_EQ(positions.count(), 0);
    ui.state.setPosition(WidgetKind::time, QPointF(10, 20));
    ui.state.setPosition(WidgetKind::speed, QPointF(30, 40));
    clickCentre(ui.row<InspectorPositionRow>("TIME", "Widget Position")->resetButton());
    EXPECT_EQ(ui.state.position(WidgetKind::time), std::nullopt);
    EXPECT_EQ(ui.state.position(WidgetKind::speed), QPointF(30, 40));
}

namespace {

QPalette darkPalette()
{
    QPalette p(QColor(0x3a, 0x3a, 0x3c), QColor(0x2b, 0x2b, 0x2d)); // button, window; the rest derived
    p.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x20));
    p.setColor(QPalette::Mid, QColor(0x48, 0x48, 0x4c));
    p.setColor(QPalette::Highlight, QColor(0x2f, 0x7c, 0xf6));
    return p;
}

} // namespace

TEST(Inspector, ChineseCaptionsAndScreenshots)
{
    Inspector ui({{QStringLiteral("gpsPathEnabled"), true}, {QStringLiteral("speedWidgetEnabled"), true},
                  {QStringLiteral("timeWidgetEnabled"), true}, {QStringLiteral("heartRateWidgetEnabled"), true},
                  {QStringLiteral("hrGraphEnabled"), true}});
    QWidget *column = ui.panel->scrollArea()->widget();
    const auto shoot = [&](const QString &name) {
        QCoreApplication::processEvents(); // palette and language changes arrive as posted events
        ui.panel->resize(SettingsPanelView::panelWidth, column->sizeHint().height());
        EXPECT_TRUE(saveTestArtifact(ui.panel->grab().toImage(), name));
    };
    QTranslator chinese;
    ASSERT_TRUE(chinese.load(QStringLiteral(":/i18n/ui_panels_zh_CN.qm")));
    const QPalette light = qApp->palette();
    for (bool dark : {false, true}) {
        qApp->setPalette(dark ? darkPalette() : light);
        ui.map.setShape(dark ? MapShape::roundedRect : MapShape::circle); // both forms of MAP seen
        shoot(dark ? QStringLiteral("inspector-en-dark") : QStringLiteral("inspector-en"));
        qApp->installTranslator(&chinese);
        QCoreApplication::processEvents();
        EXPECT_EQ(ui.section("MAP")->enabledToggle()->text(), QStringLiteral("启用"));
        EXPECT_EQ(ui.row<InspectorPickerRow>("PATH", "Show Map")->segment(0)->text(), QStringLiteral("否"));
        EXPECT_EQ(ui.section("MAP")->header()->text(), QStringLiteral("MAP"));
        EXPECT_EQ(ui.row<InspectorPickerRow>("MAP", "Provider")->segment(0)->text(), QStringLiteral("OSM"));
        EXPECT_EQ(ui.row<InspectorPickerRow>("PATH", "Style")->segment(1)->text(), QStringLiteral("GTA"));
        EXPECT_EQ(ui.row<InspectorPickerRow>("SPEED", "Unit")->segment(0)->text(), QStringLiteral("km/h"));
        EXPECT_EQ(ui.shows("HEART RATE GRAPH", "Opacity"), QStringLiteral("85%"));
        shoot(dark ? QStringLiteral("inspector-zh-dark") : QStringLiteral("inspector-zh"));
        qApp->removeTranslator(&chinese);
        QCoreApplication::processEvents();
        EXPECT_EQ(ui.section("MAP")->enabledToggle()->text(), QStringLiteral("Enabled"));
    }
    qApp->setPalette(light);
}
