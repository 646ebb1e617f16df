#include "exportsheet.h"

#include "exportaction.h"
#include "framedradiobutton.h"
#include "ui/state/windowstate.h"

#include "export/exporttaskbuilder.h"
#include "ui/icons/symbolicon.h"
#include "ui/panels/focusview.h"
#include "ui/panels/inspector/checkedtabstop.h"
#include "ui/panels/panelstyle.h"
#include "ui/panels/steppedslideradaptor.h"

#include <QButtonGroup>
#include <QEvent>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace routereel {

namespace {

constexpr int captionPx = 11;

void setPixelFont(QWidget *widget, int pixels, QFont::Weight weight = QFont::Normal, bool fixedPitch = false)
{
    QFont font = fixedPitch ? QFontDatabase::systemFont(QFontDatabase::FixedFont) : widget->font();
    font.setPixelSize(pixels);
    font.setWeight(weight);
    widget->setFont(font);
}

QLabel *secondaryLabel(QWidget *parent, int pixels = captionPx, bool fixedPitch = false)
{
    auto *label = new QLabel(parent);
    setPixelFont(label, pixels, QFont::Normal, fixedPitch);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

// Whole pixels of the label, made even as encoders want them.
int evenPixels(double value)
{
    const long long whole = std::isfinite(value) ? static_cast<long long>(std::trunc(value)) : 0;
    return static_cast<int>(whole - whole % 2);
}

} // namespace

ExportSheet::ExportSheet(ExportAction &action, WindowState &state, QWidget *parent)
    : QDialog(parent), m_action(action), m_state(state)
{
    setObjectName(QStringLiteral("exportSheet"));
    setWindowModality(Qt::WindowModal);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(28, 28, 28, 28);
    column->setSpacing(16);
    column->setSizeConstraint(QLayout::SetFixedSize);

    m_title = new QLabel(this);
    setPixelFont(m_title, 13, QFont::Bold);
    column->addWidget(m_title, 0, Qt::AlignHCenter);

    auto *sourceRow = new QHBoxLayout;
    sourceRow->setSpacing(6);
    m_icon = new QLabel(this);
    m_source = secondaryLabel(this, captionPx, true);
    m_source->setObjectName(QStringLiteral("sourceLine"));
    sourceRow->addWidget(m_icon);
    sourceRow->addWidget(m_source);
    column->addLayout(sourceRow);
    column->setAlignment(sourceRow, Qt::AlignHCenter);

    m_overlayNote = secondaryLabel(this);
    m_overlayNote->setObjectName(QStringLiteral("overlayNote"));
    column->addWidget(m_overlayNote, 0, Qt::AlignHCenter);

    m_presetBox = new QWidget(this);
    m_presetBox->setObjectName(QStringLiteral("presets"));
    m_rowsLayout = new QGridLayout(m_presetBox);
    m_rowsLayout->setContentsMargins(0, 0, 0, 0);
    m_rowsLayout->setHorizontalSpacing(16);
    m_rowsLayout->setVerticalSpacing(6);
    m_group = new QButtonGroup(this);
    m_tabStop = new CheckedTabStop(m_group);
    column->addWidget(m_presetBox, 0, Qt::AlignHCenter);

    // The widest item: it gives the sheet its width of 560.
    auto *factorBox = new QWidget(this);
    factorBox->setMinimumWidth(560 - 2 * 28);
    auto *factorColumn = new QVBoxLayout(factorBox);
    factorColumn->setContentsMargins(0, 0, 0, 0);
    factorColumn->setSpacing(6);
    auto *header = new QHBoxLayout;
    m_factorCaption = new QLabel(factorBox);
    m_factorValue = secondaryLabel(factorBox, 13, true);
    m_factorValue->setObjectName(QStringLiteral("factorValue"));
    header->addWidget(m_factorCaption);
    header->addStretch(1);
    header->addWidget(m_factorValue);
    factorColumn->addLayout(header);
    m_slider = new QSlider(Qt::Horizontal, factorBox);
    m_slider->setObjectName(QStringLiteral("compressionFactor"));
    // Hundredths on the slider, the factor itself to assistive tools, as the header shows it.
    m_factor = new SteppedSliderAdaptor(m_slider, 0.6, 1.0, 0.05, 100, 1);
    m_slider->setTickPosition(QSlider::TicksBelow);
    panelstyle::wheelScrollsPastControls(this);  // the factor moves only when the user drags or keys it
    factorColumn->addWidget(m_slider);
    auto *ends = new QHBoxLayout;
    m_smaller = secondaryLabel(factorBox);
    m_higher = secondaryLabel(factorBox);
    ends->addWidget(m_smaller);
    ends->addStretch(1);
    ends->addWidget(m_higher);
    factorColumn->addLayout(ends);
    column->addWidget(factorBox);

    m_note = secondaryLabel(this);
    column->addWidget(m_note, 0, Qt::AlignHCenter);

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(12);
    m_cancel = new QPushButton(this);
    m_cancel->setObjectName(QStringLiteral("cancel"));
    m_cancel->setAutoDefault(false);  // Return always means Export
    m_export = new QPushButton(this);
    m_export->setObjectName(QStringLiteral("export"));
    m_export->setDefault(true);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_export);
    // On the accent colour the style's own focus mark does not show.
    focusview::showFocusRing(m_export);
    column->addLayout(buttons);
    column->setAlignment(buttons, Qt::AlignHCenter);

    connect(m_cancel, &QPushButton::clicked, this, &ExportSheet::reject);
    connect(m_export, &QPushButton::clicked, this, &ExportSheet::exportPressed);
    connect(m_factor, &SteppedSliderAdaptor::edited, this, &ExportSheet::factorChosen);
    // Toggles, not clicks: an assistive tool checks a row without clicking it.
    connect(m_group, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked)
            m_state.setSelectedPreset(enumCases<ExportPreset>().value(id, ExportPreset::original));
    });
    connect(&m_state, &WindowState::showExportSheetChanged, this, &ExportSheet::showFlagChanged);
    connect(&m_state, &WindowState::selectedPresetChanged, this, &ExportSheet::refresh);
    connect(&m_state, &WindowState::exportCompressionFactorChanged, this, &ExportSheet::showFactor);
    connect(&m_state, &WindowState::appLanguageChanged, this, &ExportSheet::refresh);
    connect(&m_state, &WindowState::appLanguageChanged, this, &ExportSheet::showFactor);
    connect(&m_action, &ExportAction::exportFactsChanged, this, &ExportSheet::refresh);

    retranslate();
    applyPalette();
    if (m_state.showExportSheet())
        showFlagChanged();
}

QString ExportSheet::sourceLine(const QSizeF &size, double fps)
{
    const auto whole = [](double v) {
        return std::isfinite(v) ? QString::number(static_cast<long long>(std::trunc(v))) : QStringLiteral("0");
    };
    return whole(size.width()) + QStringLiteral(" × ") + whole(size.height()) + QStringLiteral("  ·  ")
        + QString::asprintf("%g fps", fps);
}

QString ExportSheet::byteCount(qint64 bytes, const QLocale &locale)
{
    const int decimals = bytes < 1'000'000 ? 0 : bytes < 1'000'000'000 ? 1 : 2;
    return locale.formattedDataSize(bytes, decimals, QLocale::DataSizeSIFormat);
}

QLocale ExportSheet::locale() const
{
    return m_state.appLanguage() == QLatin1String("zh-Hans") ? QLocale(QLocale::Chinese, QLocale::China)
                                                               : QLocale(QLocale::English, QLocale::UnitedStates);
}

void ExportSheet::showFlagChanged()
{
    if (m_state.showExportSheet()) {
        if (isVisible())
            return;
        // A first appearance shows the offered list as it is; only later changes move the selection.
        m_offered.clear();
        refresh();
        showFactor();
        // The chosen resolution, never a row the user did not choose; the sheet may be shown again.
        if (QAbstractButton *chosen = m_tabStop->stop())
            chosen->setFocus(Qt::OtherFocusReason);
        open();
    } else if (isVisible()) {
        QDialog::done(QDialog::Rejected);
    }
}

void ExportSheet::reject()
{
    m_state.setShowExportSheet(false);
    if (isVisible())  // the flag was already down
        QDialog::done(QDialog::Rejected);
}

void ExportSheet::exportPressed()
{
    if (!m_action.canExport())
        return;
    // Closing may delete a sheet the window built for this showing; the action outlives it.
    ExportAction &action = m_action;
    m_state.setShowExportSheet(false);
    action.startExport();
}

void ExportSheet::refresh()
{
    if (!m_state.showExportSheet())
        return;  // brought up to date when it opens
    const ExportTaskBuilder b = m_action.builder();
    const QList<ExportPreset> offered = b.offeredExportPresets();
    if (offered != m_offered) {
        const bool changedWhileShown = isVisible() && !m_offered.isEmpty();
        rebuildRows(offered);
        if (changedWhileShown && !offered.contains(m_state.selectedPreset())) {
            // Re-entered through selectedPresetChanged; the rows are already current.
            m_state.setSelectedPreset(offered.isEmpty() ? ExportPreset::original : offered.constFirst());
            return;
        }
    }

    const QSizeF size = b.exportOutputSize(b.effectiveExportPreset());
    m_source->setText(sourceLine(size, b.exportFrameRate()));
    m_source->setAccessibleName(m_source->text());
    m_overlayNote->setVisible(b.isOverlay());

    const QLocale here = locale();
    for (const Row &row : std::as_const(m_rows)) {
        QString label;
        if (row.preset == ExportPreset::original) {
            label = tr("Original (%1×%2)")
                        .arg(static_cast<long long>(std::trunc(size.width())))
                        .arg(static_cast<long long>(std::trunc(size.height())));
        } else {
            const QSizeF out = b.exportOutputSize(row.preset) * b.outputScale(row.preset);
            label = enumText(row.preset) + QStringLiteral(" (") + QString::number(evenPixels(out.width()))
                + QStringLiteral("×") + QString::number(evenPixels(out.height())) + QLatin1Char(')');
        }
        row.button->setText(label);
        row.button->setAccessibleName(label);
        const std::optional<qint64> bytes = b.estimatedExportBytes(row.preset);
        row.estimate->setVisible(bytes.has_value());
        row.estimate->setText(bytes ? tr("Estimated: %1").arg(byteCount(*bytes, here)) : QString());
        row.estimate->setAccessibleName(row.estimate->text());
    }
    showSelection();
    m_export->setEnabled(b.canExport());
}

void ExportSheet::rebuildRows(const QList<ExportPreset> &presets)
{
    for (const Row &row : std::as_const(m_rows)) {
        m_group->removeButton(row.button);
        delete row.button;
        delete row.estimate;
    }
    m_rows.clear();
    const QList<ExportPreset> all = enumCases<ExportPreset>();
    for (ExportPreset preset : presets) {
        Row row{preset, new FramedRadioButton(m_presetBox), secondaryLabel(m_presetBox, 13, true)};
        row.button->setObjectName(enumText(preset));
        const int line = int(m_rows.size());
        m_rowsLayout->addWidget(row.button, line, 0);
        m_rowsLayout->addWidget(row.estimate, line, 1);
        m_group->addButton(row.button, int(all.indexOf(preset)));
        m_rows.append(row);
    }
    m_offered = presets;
}

void ExportSheet::showSelection()
{
    const ExportPreset selected = m_state.selectedPreset();
    // An exclusive group cannot show "none": it is lifted while nothing offered is selected.
    const bool offered = m_offered.contains(selected);
    // Showing the selection is no choice of the user's.
    const QSignalBlocker blocker(m_group);
    m_group->setExclusive(offered);
    for (const Row &row : std::as_const(m_rows))
        row.button->setChecked(row.preset == selected);
    m_tabStop->refresh();
}

void ExportSheet::showFactor()
{
    const double factor = ExportTaskBuilder::clampedCompressionFactor(m_state.exportCompressionFactor());
    m_factor->show(factor);  // writes nothing back; only the user's move does
    m_factorValue->setText(locale().toString(factor, 'f', 2));
    m_factorValue->setAccessibleName(m_factorValue->text());
}

void ExportSheet::factorChosen(double factor)
{
    m_state.setExportCompressionFactor(ExportTaskBuilder::clampedCompressionFactor(factor));
    showFactor();
}

void ExportSheet::retranslate()
{
    setWindowTitle(tr("Export"));
    m_title->setText(tr("Export"));
    m_overlayNote->setText(tr("Duration follows the GPX timeline. No audio."));
    m_presetBox->setAccessibleName(tr("Resolution"));
    m_factorCaption->setText(tr("Compression factor"));
    m_slider->setAccessibleName(tr("Compression factor"));
    m_slider->setToolTip(tr("1.00 keeps the default export quality. Lower values usually produce smaller files, "
                            "but may reduce detail."));
    m_smaller->setText(tr("Smaller file"));
    m_higher->setText(tr("Higher quality"));
    m_note->setText(tr("Estimated size varies with video content."));
    m_cancel->setText(tr("Cancel"));
    m_export->setText(tr("Export"));
    for (QLabel *label : {m_title, m_overlayNote, m_factorCaption, m_smaller, m_higher, m_note})
        label->setAccessibleName(label->text());
    refresh();
}

void ExportSheet::applyPalette()
{
    m_icon->setPixmap(symbolPixmap(QStringLiteral("film"), palette().color(QPalette::PlaceholderText), 11));
    panelstyle::makeProminent(m_export);
}

void ExportSheet::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    else if (event->type() == QEvent::PaletteChange)
        applyPalette();
    QDialog::changeEvent(event);
}

} // namespace routereel
