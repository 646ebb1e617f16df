#include "exportwindowfixture.h"

#include "ui/main/compositionmodepicker.h"
#include "ui/main/exportsheet.h"

#include "support/testartifacts.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QTranslator>

#include <cmath>
#include <limits>

using namespace exportui;

namespace {

struct SheetWindow : ExportWindow {
    explicit SheetWindow(std::optional<double> storedFactor = std::nullopt) : ExportWindow(storedFactor)
    {
        window.resize(1000, 700);
        window.show();
    }
    ExportSheet sheet{action, state, &window};

    template <typename T>
    T *child(const QString &name) const
    {
        return sheet.findChild<T *>(name);
    }
    QStringList rows() const
    {
        QStringList out;
        for (const ExportPreset preset : action.offeredExportPresets()) {
            const QRadioButton *row = child<QRadioButton>(enumText(preset));
            out << (row ? row->text() : QStringLiteral("missing ") + enumText(preset));
        }
        return out;
    }
    QString factorShown() const { return child<QLabel>(QStringLiteral("factorValue"))->text(); }
    QVariant factorStored() const { return QSettings().value(QStringLiteral("exportCompressionFactor")); }
};

} // namespace

TEST(ExportSheet, ShowsTheSourceAndThePresetsOfTheMode)
{
    SheetWindow w;
    w.addTrack(60);
    w.loadClip(60, {3840, 2160});
    w.action.action()->trigger();
    ASSERT_TRUE(w.sheet.isVisible());
    EXPECT_EQ(w.sheet.width(), 560);
    EXPECT_EQ(w.child<QLabel>(QStringLiteral("sourceLine"))->text(), QStringLiteral("3840 × 2160  ·  25 fps"));
    EXPECT_TRUE(w.child<QLabel>(QStringLiteral("overlayNote"))->isHidden());
    EXPECT_EQ(w.rows(), QStringList({"Original (3840×2160)", "4K (3840×2160)", "2K (2560×1440)", "1080p (1920×1080)",
                                     "720p (1280×720)"}));
    EXPECT_TRUE(w.child<QRadioButton>(QStringLiteral("Original"))->isChecked());
    saveTestArtifact(w.sheet.grab().toImage(), QStringLiteral("exportsheet-regular-en"));
    saveTestArtifact(CompositionModePicker(w.state).grab().toImage(), QStringLiteral("modepicker-en"));

    w.sheet.reject();
    w.useOverlay();
    w.action.action()->trigger();
    EXPECT_EQ(w.child<QLabel>(QStringLiteral("sourceLine"))->text(), QStringLiteral("1920 × 1080  ·  30 fps"));
    EXPECT_EQ(w.child<QLabel>(QStringLiteral("overlayNote"))->text(),
              QStringLiteral("Duration follows the GPX timeline. No audio."));
    EXPECT_FALSE(w.child<QLabel>(QStringLiteral("overlayNote"))->isHidden());
    EXPECT_EQ(w.rows(), QStringList({"4K (3840×2160)", "1080p (1920×1080)", "720p (1280×720)"}));
    // 3 Mb/s for 60 s, plus 1 % for the container: 22,725,000 bytes.
    const QList<QLabel *> labels = w.sheet.findChildren<QLabel *>();
    EXPECT_EQ(std::count_if(labels.begin(), labels.end(), [](QLabel *l) { return l->text() == "Estimated: 22.7 MB"; }),
              1);
    saveTestArtifact(w.sheet.grab().toImage(), QStringLiteral("exportsheet-overlay-en"));

    QTranslator chinese;
    ASSERT_TRUE(chinese.load(QStringLiteral(":/i18n/ui_main_zh_CN.qm")));
    QCoreApplication::installTranslator(&chinese);
    w.state.setAppLanguage(QStringLiteral("zh-Hans"));
    QCoreApplication::processEvents();  // the language change is posted
    EXPECT_NE(w.child<QLabel>(QStringLiteral("overlayNote"))->text(),
              QStringLiteral("Duration follows the GPX timeline. No audio."));
    saveTestArtifact(w.sheet.grab().toImage(), QStringLiteral("exportsheet-overlay-zh"));
    w.sheet.reject();
    w.useRegular();
    w.action.action()->trigger();
    EXPECT_TRUE(w.sheet.isVisible());
    saveTestArtifact(w.sheet.grab().toImage(), QStringLiteral("exportsheet-regular-zh"));
    CompositionModePicker picker(w.state);
    saveTestArtifact(picker.grab().toImage(), QStringLiteral("modepicker-zh"));
    QCoreApplication::removeTranslator(&chinese);
}

TEST(ExportSheet, SelectionStaysAmongTheOfferedPresets)
{
    SheetWindow w;
    w.addTrack(60);
    w.loadClip(60, {3840, 2160});
    w.action.action()->trigger();
    QTest::mouseClick(w.child<QRadioButton>(QStringLiteral("2K")), Qt::LeftButton);
    EXPECT_EQ(w.state.selectedPreset(), ExportPreset::p2K);
    w.state.setCompositionMode(CompositionMode::overlay);  // the list changes, 2K leaves it
    EXPECT_EQ(w.state.selectedPreset(), ExportPreset::p4K);
    EXPECT_TRUE(w.child<QRadioButton>(QStringLiteral("4K"))->isChecked());
    QTest::mouseClick(w.child<QRadioButton>(QStringLiteral("720p")), Qt::LeftButton);
    w.state.setCompositionMode(CompositionMode::regular);  // still offered: kept
    EXPECT_EQ(w.state.selectedPreset(), ExportPreset::p720);
}

TEST(ExportSheet, CompressionFactorIsShownClampedAndStoredOnlyWhenMoved)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const auto &[stored, shown] : {std::pair(0.3, "0.60"), std::pair(1.4, "1.00"), std::pair(0.85, "0.85"),
                                        std::pair(nan, "1.00")}) {
        SheetWindow w(stored);
        w.addTrack(60);
        w.useOverlay();
        w.action.action()->trigger();
        EXPECT_EQ(w.factorShown(), QString::fromLatin1(shown)) << stored;
        const double kept = w.factorStored().toDouble();
        EXPECT_TRUE(kept == stored || (std::isnan(kept) && std::isnan(stored))) << "shown, not written";
    }
    SheetWindow w(0.3);
    w.addTrack(60);
    w.useOverlay();
    w.action.action()->trigger();
    QSlider *slider = w.child<QSlider>(QStringLiteral("compressionFactor"));
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_Right);
    EXPECT_EQ(w.factorStored().toDouble(), 0.65);
    EXPECT_EQ(w.factorShown(), QStringLiteral("0.65"));
    QTest::keyClick(slider, Qt::Key_End);
    EXPECT_EQ(w.factorStored().toDouble(), 1.0);
}

TEST(ExportSheet, KeysAndButtons)
{
    SheetWindow w;
    w.addTrack(60);
    w.useOverlay();
    w.action.action()->trigger();
    QTest::keyClick(&w.sheet, Qt::Key_Escape);
    EXPECT_FALSE(w.state.showExportSheet());
    EXPECT_FALSE(w.sheet.isVisible());

    w.action.action()->trigger();
    w.engine.setSegments({});  // no GPX range: no estimate, no export
    QPushButton *exportButton = w.child<QPushButton>(QStringLiteral("export"));
    EXPECT_FALSE(exportButton->isEnabled());
    for (QLabel *label : w.sheet.findChildren<QLabel *>())
        EXPECT_FALSE(label->isVisible() && label->text().startsWith("Estimated:")) << qPrintable(label->text());
    QTest::keyClick(&w.sheet, Qt::Key_Return);
    EXPECT_TRUE(w.sheet.isVisible());
    EXPECT_TRUE(w.proposed.isEmpty());

    w.addTrack(30);
    QTest::keyClick(&w.sheet, Qt::Key_Return);
    EXPECT_FALSE(w.sheet.isVisible());
    EXPECT_EQ(w.proposed.size(), 1);
    EXPECT_TRUE(w.queued());
}

TEST(CompositionModePicker, ActsAsARadioPairWithoutFocus)
{
    ExportWindow w;
    CompositionModePicker picker(w.state);
    picker.show();
    QCheckBox *regular = picker.findChild<QCheckBox *>(QStringLiteral("Regular"));
    QCheckBox *overlay = picker.findChild<QCheckBox *>(QStringLiteral("Overlay"));
    QSignalSpy modeChanges(&w.state, &WindowState::compositionModeChanged);
    w.state.setSelectedPreset(ExportPreset::p2K);

    QTest::mouseClick(overlay, Qt::LeftButton);
    EXPECT_EQ(w.state.compositionMode(), CompositionMode::overlay);
    EXPECT_EQ(w.state.selectedPreset(), ExportPreset::p1080);
    QTest::mouseClick(overlay, Qt::LeftButton);
    EXPECT_TRUE(overlay->isChecked());
    EXPECT_FALSE(regular->isChecked());
    EXPECT_EQ(modeChanges.count(), 1);
    w.state.setSelectedPreset(ExportPreset::p720);
    QTest::mouseClick(regular, Qt::LeftButton);
    EXPECT_EQ(w.state.compositionMode(), CompositionMode::regular);
    EXPECT_EQ(w.state.selectedPreset(), ExportPreset::p720);
    EXPECT_TRUE(regular->isChecked() && !overlay->isChecked());
    EXPECT_EQ(regular->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(overlay->focusPolicy(), Qt::NoFocus);
    EXPECT_FALSE(regular->hasFocus() || overlay->hasFocus());
}
