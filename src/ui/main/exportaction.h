#pragma once

#include "export/exportpreset.h"
#include "export/exportsourcelook.h"
#include "export/exporttaskbuilder.h"

#include <QObject>
#include <QPointer>
#include <QProgressDialog>
#include <QSizeF>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class QAction;
class QWidget;

namespace routereel {

class ExportQueue;
class TimelineEngine;
class VideoPlayerService;
class WindowState;

// The window's export front end: whether an export may start (the toolbar's
// Export command follows it), the checks before the export sheet opens, what
// the sheet offers, and the start of an export from the sheet: the checks
// again, the save dialog, one task for the queue. Main thread only.
class ExportAction : public QObject {
    Q_OBJECT

public:
    struct Models {
        ExportTaskBuilder::Models task;  // what a task is built from
        VideoPlayerService &playerService;
        ExportQueue &queue;
    };
    // Whether the machine is on line now.
    using NetworkQuery = std::function<bool()>;
    // The window's error alert (and log entry).
    using AlertSink = std::function<void(const QString &message)>;
    // Asks for the output file, proposing `fileName`; an empty URL when cancelled.
    using SaveDialog = std::function<QUrl(QWidget *parent, const QString &fileName)>;

    // `window` parents the save dialog and this object.
    ExportAction(const Models &models, WindowState &state, NetworkQuery isConnected, AlertSink presentError,
                 QWidget *window);

    // The toolbar's Export command: enabled exactly while canExport().
    QAction *action() const { return m_action; }

    bool canExport() const { return builder().canExport(); }
    ExportPreset effectiveExportPreset() const { return builder().effectiveExportPreset(); }
    QList<ExportPreset> offeredExportPresets() const { return builder().offeredExportPresets(); }
    double exportFrameRate() const { return builder().exportFrameRate(); }
    QSizeF exportOutputSize(ExportPreset preset) const { return builder().exportOutputSize(preset); }
    double outputScale(ExportPreset preset) const { return builder().outputScale(preset); }
    std::optional<qint64> estimatedExportBytes(ExportPreset preset) const
    {
        return builder().estimatedExportBytes(preset);
    }
    // The space widget positions refer to: the canvas on the stored layout's short side, else 540.
    QSizeF layoutSize() const;
    // "<date stamp>_<resolution label>.mp4" for the preset the export would use now.
    QString proposedFileName() const;

    // The toolbar's Export: refuses without widgets or, when a map is needed, off line;
    // otherwise picks the preset and opens the export sheet.
    void checkWidgetsAndExport();
    // The export sheet's Export: checks, asks for the file, queues the task. The
    // clips are looked for off the window's thread (ExportSourceLook); a folder
    // that leaves one call unanswered for the limit refuses the export with a
    // timed-out read. A slow folder that answers is waited for, in a progress
    // window that shows how far the look is and can cancel it.
    void startExport();
    static constexpr int defaultSourceCheckLimitMs = 5000;
    // The time one call about one clip may take.
    void setSourceCheckLimit(int milliseconds) { m_sourceCheckLimitMs = milliseconds; }
    // While the clips are looked for, a start that follows is dropped.
    bool isCheckingSources() const { return !m_look.isNull(); }
    // The progress window of the look, once it has been shown; none otherwise.
    QProgressDialog *lookProgress() const { return m_lookProgress; }

    void setSaveDialog(SaveDialog dialog) { m_saveDialog = std::move(dialog); }
    // Files an export may never replace besides the sources: the open project, the last session.
    void setProtectedFiles(std::function<QStringList()> files) { m_protectedFiles = std::move(files); }
    // What the window is still carrying out, which an export must not overtake.
    struct Unsettled {
        bool projectLoading = false;  // a project read or its video restored: the timeline is not whole
        QStringList underWay;         // commands running or waiting (imports, saves), named for the user
    };
    void setUnsettled(std::function<Unsettled()> unsettled) { m_unsettled = std::move(unsettled); }
    static QString projectLoadingMessage();
    // Why an export must wait for `unsettled`; empty when it need not.
    static QString unsettledMessage(const Unsettled &unsettled);
    // Held from the sheet's Export until the task is queued or the export stops: the
    // project the user chose the file for is the one exported (see ProjectStage::answering()).
    void setAnswering(std::function<std::shared_ptr<void>()> answering) { m_answering = std::move(answering); }
    // MPEG-4 only: ".mp4" added to a name without it, replacing a file confirmed.
    static QUrl runSaveDialog(QWidget *parent, const QString &fileName);

    ExportTaskBuilder builder() const;

signals:
    void canExportChanged(bool canExport);
    // Something the export sheet shows may have changed: presets, sizes, estimates, readiness.
    void exportFactsChanged();

private:
    void modelsChanged();
    // Shows the error unless it is one the user cannot act on; true when there was one.
    bool refused(const std::optional<ExportStartError> &error);
    // Tells the user and answers true while the window carries out something the export must wait for.
    bool refusedWhileLoading();
    using SourcesAnswer = std::function<void(const std::optional<ExportError> &unreachable)>;
    void checkSources(SourcesAnswer then);
    void showLookProgress(ExportSourceLook &look);
    void endLook();
    void chooseOutput(const std::optional<ExportError> &unreachable);
    void queue(const QUrl &output, const std::optional<ExportError> &unreachable);

    Models m_models;
    WindowState &m_state;
    NetworkQuery m_isConnected;
    AlertSink m_presentError;
    QWidget *m_window;
    SaveDialog m_saveDialog = &ExportAction::runSaveDialog;
    std::function<QStringList()> m_protectedFiles;
    std::function<Unsettled()> m_unsettled;
    std::function<std::shared_ptr<void>()> m_answering;
    std::shared_ptr<void> m_answer;
    QAction *m_action;
    bool m_canExport = false;
    QPointer<ExportSourceLook> m_look;
    QPointer<QProgressDialog> m_lookProgress;
    int m_sourceCheckLimitMs = defaultSourceCheckLimitMs;
};

} // namespace routereel
