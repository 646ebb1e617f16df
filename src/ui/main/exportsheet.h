#pragma once

#include "export/exportpreset.h"

#include <QDialog>
#include <QList>
#include <QLocale>
#include <QSizeF>

class QButtonGroup;
class QGridLayout;
class QLabel;
class QPushButton;
class QRadioButton;
class QSlider;

namespace routereel {

class CheckedTabStop;
class ExportAction;
class SteppedSliderAdaptor;
class WindowState;

// The export sheet: what will be exported, a preset per output size with its
// estimated file size, the compression factor, Cancel and Export. It opens and
// closes with the window state's showExportSheet and keeps nothing of its own:
// the preset and the factor live in the window state.
class ExportSheet : public QDialog {
    Q_OBJECT

public:
    // `parent` is the window the sheet is modal to.
    ExportSheet(ExportAction &action, WindowState &state, QWidget *parent = nullptr);

    // "1920 × 1080  ·  30 fps": whole pixels, the rate as "%g".
    static QString sourceLine(const QSizeF &size, double fps);
    // Decimal units, as file managers count them: "845 kB", "68.2 MB", "1.25 GB".
    static QString byteCount(qint64 bytes, const QLocale &locale);

public slots:
    // Escape and the window's close button: the sheet goes, nothing else changes.
    void reject() override;

protected:
    void changeEvent(QEvent *event) override;

private:
    struct Row {
        ExportPreset preset;
        QRadioButton *button;
        QLabel *estimate;
    };

    void showFlagChanged();
    // Everything shown that follows the models and the window state.
    void refresh();
    void rebuildRows(const QList<ExportPreset> &presets);
    void showSelection();
    void showFactor();
    void factorChosen(double factor);
    void exportPressed();
    void retranslate();
    void applyPalette();
    QLocale locale() const;

    ExportAction &m_action;
    WindowState &m_state;
    QLabel *m_title;
    QLabel *m_icon;
    QLabel *m_source;
    QLabel *m_overlayNote;
    QWidget *m_presetBox;
    QGridLayout *m_rowsLayout;
    QButtonGroup *m_group;
    CheckedTabStop *m_tabStop;
    QList<Row> m_rows;
    QList<ExportPreset> m_offered;  // the list the rows show
    QLabel *m_factorCaption;
    QLabel *m_factorValue;
    QSlider *m_slider;
    SteppedSliderAdaptor *m_factor;
    QLabel *m_smaller;
    QLabel *m_higher;
    QLabel *m_note;
    QPushButton *m_cancel;
    QPushButton *m_export;
};

} // namespace routereel
