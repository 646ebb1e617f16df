#include "exportwindowfixture.h"

#include "ui/main/compositionmodepicker.h"
#include "ui/main/exportsheet.h"
#include "ui/main/framedcheckbox.h"
#include "ui/main/framedradiobutton.h"
#include "ui/main/windowappearance.h"

#include "support/testartifacts.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QTranslator>
#include <QWheelEvent>

#include <cmath>
#include <limits>

using namespace exportui;

namespace {

struct SheetWindow : ExportWindow {
    using ExportWindow::ExportWindow;
    ExportSheet sheet{action, state, &window};

    template <typename T = QLabel>
    T *child(const QString &name) const { return sheet.findChild<T *>(name); }
    // The rows' labels, and the estimates shown.
    QStringList shown(const QString &prefix) const
    {
        QStringList out;
        for (const QAbstractButton *row : sheet.findChildren<QRadioButton *>())
            out << row->text();
        for (const QLabel *label : sheet.findChildren<QLabel *>())
            out << (label->isVisible() && label->text().startsWith(prefix) ? label->text() : QString());
        out.removeAll(QString());
        return out;
    }
    double stored() const { return QSettings().value(QStringLiteral("exportCompressionFactor")).toDouble(); }
};

// Posted changes (language, palette) and the layouts they ask for, before a grab.
void settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
}

// Saves the sheet and the mode row in English and in Chinese, where the rows read `chineseRows`.
void saveInBothLanguages(SheetWindow &w, const QString &name, const QStringList &chineseRows)
{
    settle();
    saveTestArtifact(w.sheet.grab().toImage(), name + QStringLiteral("-en"));
    saveTestArtifact(CompositionModePicker(w.state).grab().toImage(), QStringLiteral("mode-") + name + "-en");
    QTranslator chinese;
    ASSERT_TRUE(chinese.load(QStringLiteral(":/i18n/ui_main_zh_CN.qm")));
    QCoreApplication::installTranslator(&chinese);
    settle();
    EXPECT_EQ(w.child<QPushButton>(QStringLiteral("cancel"))->text(), QStringLiteral("取消"));
    QStringList rows;
    for (const QAbstractButton *row : w.sheet.findChildren<QRadioButton *>())
        rows << row->text();
    EXPECT_EQ(rows, chineseRows);
    saveTestArtifact(w.sheet.grab().toImage(), name + QStringLiteral("-zh"));
    saveTestArtifact(CompositionModePicker(w.state).grab().toImage(), QStringLiteral("mode-") + name + "-zh");
    QCoreApplication::removeTranslator(&chinese);
    settle();
}

// A choice made as assistive tools make it: the Toggle action, no click.
void toggle(QWidget *control)
{
    QAccessibleInterface *button = QAccessible::queryAccessibleInterface(control);
    ASSERT_TRUE(button && button->actionInterface());
    button->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
}

} // namespace

TEST(ExportSheet, ShowsTheSourceAndThePresetsOfTheMode)
{
    SheetWindow w;
    w.addTrack(60);
    w.loadClip(60, {3840, 2160});
    w.action.action()->trigger();
    ASSERT_TRUE(w.sheet.isVisible());
    EXPECT_EQ(w.sheet.width(), 560);
    EXPECT_EQ(w.child(QStringLiteral("sourceLine"))->text(), QStringLiteral("3840 × 2160  ·  25 fps"));
    EXPECT_TRUE(w.child(QStringLiteral("overlayNote"))->isHidden());
    EXPECT_EQ(w.shown("Estimated").mid(0, 5), QStringList({"Original (3840×2160)", "4K (3840×2160)", "2K (2560×1440)",
                                                            "1080p (1920×1080)", "720p (1280×720)"}));
    EXPECT_TRUE(w.child<QRadioButton>(QStringLiteral("Original"))->isChecked());
    saveInBothLanguages(w, QStringLiteral("exportsheet-regular"),
                        {"原始 (3840×2160)", "4K (3840×2160)", "2K (2560×1440)", "1080p (1920×1080)", "720p (1280×720)"});

    w.sheet.reject();
    w.useOverlay();
    w.action.action()->trigger();
    EXPECT_EQ(w.child(QStringLiteral("sourceLine"))->text(), QStringLiteral("1920 × 1080  ·  30 fps"));
    EXPECT_FALSE(w.child(QStringLiteral("overlayNote"))->isHidden());
    // 3 Mb/s for 60 s, plus 1 % for the container: 22,725,000 bytes.
    EXPECT_EQ(w.shown("Estimated: 22"), QStringList({"4K (3840×2160)", "1080p (1920×1080)", "720p (1280×720)",
                                                     "Estimated: 22.7 MB"}));
    saveInBothLanguages(w, QStringLiteral("exportsheet-overlay"),
                        {"4K (3840×2160)", "1080p (1920×1080)", "720p (1280×720)"});
    QApplication::setPalette(windowPalette(true));
    settle();
    const QImage dark = w.sheet.grab().toImage();
    saveTestArtifact(dark, QStringLiteral("exportsheet-overlay-dark"));
    // An unchecked preset's circle keeps a frame that stands out from the dark sheet and from its inside.
    const FramedRadioButton *row = nullptr;
    for (const FramedRadioButton *each : w.sheet.findChildren<FramedRadioButton *>())
        row = each->isChecked() ? row : each;
    ASSERT_TRUE(row);
    const QRect circle = row->circleRect();
    const auto grey = [&](QPoint at) { return qGray(dark.pixel(row->mapTo(&w.sheet, at) * dark.devicePixelRatio())); };
    const int frame = grey(QPoint(circle.left(), circle.center().y()));
    EXPECT_GE(std::abs(frame - grey(circle.center())), 24);
    EXPECT_GE(std::abs(frame - grey(QPoint(circle.left() - 3, circle.center().y()))), 24);
    QApplication::setPalette(windowPalette(false));
}

TEST(ExportSheet, SelectionStaysAmongTheOfferedPresets)
{
    SheetWindow w;
    w.addTrack(60);
    w.loadClip(60, {3840, 2160});
    w.action.action()->trigger();
    QTest::mouseClick(w.child<QRadioButton>(QStringLiteral("2K")), Qt::LeftButton);
    EXPECT_EQ(w.state.selectedPreset(), ExportPreset::p2K);
    w.state.setCompositionMode(CompositionMode::overlay);  // the list changes and 2K leaves it
    EXPECT_EQ(w.state.selectedPreset(), ExportPreset::p4K);
    EXPECT_TRUE(w.child<QRadioButton>(QStringLiteral("4K"))->isChecked());
    QTest::mouseClick(w.child<QRadioButton>(QStringLiteral("720p")), Qt::LeftButton);
    w.state.setCompositionMode(CompositionMode::regular);  // still offered: kept
    EXPECT_EQ(w.state.selectedPreset(), ExportPreset::p720);
}

TEST(ExportSheet, PresetsToggledByAssistiveToolsAreExported)
{
    for (const bool overlay : {false, true}) {
        SCOPED_TRACE(overlay ? "overlay" : "regular");
        SheetWindow w;
        w.addTrack(60);
        w.loadClip(60, {1920, 1080});
        if (overlay)
            w.useOverlay();
        w.action.action()->trigger();
        toggle(w.child<QRadioButton>(QStringLiteral("720p")));
        EXPECT_TRUE(w.child<QRadioButton>(QStringLiteral("720p"))->isChecked());
        QTest::keyClick(&w.sheet, Qt::Key_Return);
        w.settle();
        ASSERT_TRUE(w.queued());
        EXPECT_EQ(w.queued()->videoResolution * w.queued()->outputScale, QSizeF(1280, 720));
    }
}

TEST(ExportSheet, ModeToggledWhileOpenKeepsTheModesOwnPresetRule)
{
    SheetWindow w;
    CompositionModePicker picker(w.state);
    w.addTrack(60);
    w.loadClip(60, {1920, 1080});
    w.useOverlay();
    w.action.action()->trigger();
    w.state.setSelectedPreset(ExportPreset::p4K);
    toggle(picker.box(CompositionMode::regular));
    EXPECT_EQ(w.state.selectedPreset(), ExportPreset::original);  // 4K is not offered for a 1080p canvas
    toggle(picker.box(CompositionMode::overlay));
    EXPECT_EQ(w.state.selectedPreset(), ExportPreset::p1080);
    EXPECT_TRUE(w.child<QRadioButton>(QStringLiteral("1080p"))->isChecked());
}

TEST(ExportSheet, CompressionFactorIsShownClampedAndStoredOnlyWhenMoved)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const auto &[stored, shown] : {std::pair(0.3, "0.60"), std::pair(1.4, "1.00"), std::pair(nan, "1.00")}) {
        SheetWindow w(stored);
        w.addTrack(60);
        w.useOverlay();
        w.action.action()->trigger();
        EXPECT_EQ(w.child(QStringLiteral("factorValue"))->text(), QString::fromLatin1(shown)) << stored;
        EXPECT_TRUE(w.stored() == stored || std::isnan(stored)) << "written back before any move";
        if (stored != 0.3)
            continue;
        QSlider *slider = w.child<QSlider>(QStringLiteral("compressionFactor"));
        // The wheel passes over it, focused or not; keys move it.
        slider->setFocus();
        const QPointF centre = QRectF(slider->rect()).center();
        QWheelEvent wheel(centre, slider->mapToGlobal(centre), {}, QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(slider, &wheel);
        EXPECT_EQ(w.child(QStringLiteral("factorValue"))->text(), QStringLiteral("0.60"));
        QTest::keyClick(slider, Qt::Key_Right);
        EXPECT_EQ(w.stored(), 0.65);
        EXPECT_EQ(w.child(QStringLiteral("factorValue"))->text(), QStringLiteral("0.65"));
        QTest::keyClick(slider, Qt::Key_End);
        EXPECT_EQ(w.stored(), 1.0);
    }
}

TEST(ExportSheet, CompressionFactorSpeaksTheShownFactorToAssistiveTools)
{
    SheetWindow w(0.8);
    w.addTrack(60);
    w.useOverlay();
    w.action.action()->trigger();
    QAccessibleInterface *slider =
        QAccessible::queryAccessibleInterface(w.child<QSlider>(QStringLiteral("compressionFactor")));
    ASSERT_TRUE(slider && slider->valueInterface());
    QAccessibleValueInterface *value = slider->valueInterface();
    EXPECT_EQ(slider->role(), QAccessible::Slider);
    EXPECT_EQ(slider->text(QAccessible::Name), QStringLiteral("Compression factor"));
    EXPECT_DOUBLE_EQ(value->currentValue().toDouble(), 0.8);
    EXPECT_DOUBLE_EQ(value->minimumValue().toDouble(), 0.6);
    EXPECT_DOUBLE_EQ(value->maximumValue().toDouble(), 1.0);
    EXPECT_DOUBLE_EQ(value->minimumStepSize().toDouble(), 0.05);
    // Set from outside: onto the nearest step, within the ends, stored as a key or drag stores it.
    const struct {
        double set, stored;
        const char *shown;
    } cases[] = {{1.0, 1.0, "1.00"}, {0.7, 0.7, "0.70"}, {0.63, 0.65, "0.65"}, {0.87, 0.85, "0.85"},
                 {0.2, 0.6, "0.60"}, {3, 1.0, "1.00"}};
    for (const auto &c : cases) {
        value->setCurrentValue(c.set);
        EXPECT_EQ(w.stored(), c.stored) << c.set;
        EXPECT_EQ(w.child(QStringLiteral("factorValue"))->text(), QString::fromLatin1(c.shown)) << c.set;
        EXPECT_DOUBLE_EQ(value->currentValue().toDouble(), c.stored) << c.set;
    }
}

TEST(ExportSheet, EscapeCancelsReturnExportsWhenItMay)
{
    SheetWindow w;
    w.addTrack(60);
    w.useOverlay();
    w.action.action()->trigger();
    QTest::keyClick(&w.sheet, Qt::Key_Escape);
    EXPECT_FALSE(w.state.showExportSheet() || w.sheet.isVisible());

    w.action.action()->trigger();
    w.engine.setSegments({});  // no GPX range: no estimates, no export
    EXPECT_FALSE(w.child<QPushButton>(QStringLiteral("export"))->isEnabled());
    EXPECT_EQ(w.shown("Estimated:").size(), 3);
    QTest::keyClick(&w.sheet, Qt::Key_Return);
    EXPECT_TRUE(w.sheet.isVisible());
    EXPECT_TRUE(w.proposed.isEmpty());

    w.addTrack(30);
    QTest::keyClick(&w.sheet, Qt::Key_Return);
    w.settle();
    EXPECT_FALSE(w.sheet.isVisible());
    EXPECT_EQ(w.proposed.size(), 1);
    EXPECT_TRUE(w.queued());
}

TEST(CompositionModePicker, ActsAsARadioPairWithoutFocus)
{
    ExportWindow w;
    CompositionModePicker picker(w.state);
    picker.show();
    QAbstractButton *regular = picker.findChild<QCheckBox *>(QStringLiteral("Regular"));
    QAbstractButton *overlay = picker.findChild<QCheckBox *>(QStringLiteral("Overlay"));
    ASSERT_TRUE(regular && overlay);
    QSignalSpy modeChanges(&w.state, &WindowState::compositionModeChanged);
    w.state.setSelectedPreset(ExportPreset::p2K);
    QTest::mouseClick(overlay, Qt::LeftButton);
    EXPECT_EQ(w.state.selectedPreset(), ExportPreset::p1080);
    QTest::mouseClick(overlay, Qt::LeftButton);  // the checked one: nothing changes
    EXPECT_TRUE(overlay->isChecked() && !regular->isChecked());
    EXPECT_EQ(modeChanges.count(), 1);
    w.state.setSelectedPreset(ExportPreset::p720);
    QTest::mouseClick(regular, Qt::LeftButton);
    EXPECT_EQ(w.state.compositionMode(), CompositionMode::regular);
    EXPECT_EQ(w.state.selectedPreset(), ExportPreset::p720);
    EXPECT_TRUE(regular->isChecked() && !overlay->isChecked());
    // Clicks leave the focus where it was, so Space still plays; only Tab reaches the boxes, at the chosen one.
    EXPECT_EQ(regular->focusPolicy(), Qt::TabFocus);
    EXPECT_EQ(overlay->focusPolicy(), Qt::NoFocus);
    EXPECT_FALSE(regular->hasFocus() || overlay->hasFocus());
}

TEST(CompositionModePicker, AssistiveTogglesSwitchTheModeAndTheMarksFollowIt)
{
    ExportWindow w;
    CompositionModePicker picker(w.state);
    picker.show();
    const auto toggle = [&](const char *name) {
        QAccessibleInterface *box = QAccessible::queryAccessibleInterface(picker.findChild<QWidget *>(name));
        ASSERT_TRUE(box && box->actionInterface());
        EXPECT_EQ(box->role(), QAccessible::CheckBox);
        box->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    };
    const auto checked = [&] {
        QStringList names;
        for (const auto *box : picker.findChildren<QAbstractButton *>())
            names << (box->isChecked() ? box->objectName() : QString());
        names.removeAll(QString());
        return names;
    };
    const struct {
        const char *toggled;  // null: the mode is set from outside the row
        CompositionMode set;
        CompositionMode mode;
    } steps[] = {
        {"Overlay", {}, CompositionMode::overlay},
        {"Overlay", {}, CompositionMode::overlay},  // the checked one stays checked
        {"Regular", {}, CompositionMode::regular},
        {nullptr, CompositionMode::overlay, CompositionMode::overlay},
        {"Regular", {}, CompositionMode::regular},
        {nullptr, CompositionMode::regular, CompositionMode::regular},
    };
    w.state.setSelectedPreset(ExportPreset::original);
    for (const auto &step : steps) {
        if (step.toggled)
            toggle(step.toggled);
        else
            w.state.setCompositionMode(step.set);
        EXPECT_EQ(w.state.compositionMode(), step.mode) << step.toggled;
        EXPECT_EQ(checked(), QStringList{enumText(step.mode)}) << step.toggled;
    }
    EXPECT_EQ(w.state.selectedPreset(), ExportPreset::p1080);  // Overlay brought it among its own
}
