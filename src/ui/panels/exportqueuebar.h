#pragma once

#include "export/exporttaskruntime.h"

#include <QDateTime>
#include <QPointer>
#include <QWidget>

class QLabel;
class QToolButton;

namespace routereel {

class ElidedLabel;
class ExportHistoryPopover;
class ExportQueue;
class ProgressRing;
class WindowState;

// The strip at the foot of the window's right column: the running export's
// ring, percentage, run time and estimate with a cancel button, the number of
// waiting exports, and the button that opens the export history.
class ExportQueueBar : public QWidget {
    Q_OBJECT

public:
    static constexpr int barHeight = 46;

    ExportQueueBar(ExportQueue &queue, WindowState &state, QWidget *parent = nullptr);

    // "42%": the progress in whole percent, truncated.
    static QString percentText(double progress);
    // "Run 1:00", with " · ETA 1:00" once more than 5 % is done; `now` is the queue's tick.
    static QString detailText(const ExportTaskRuntime &task, const QDateTime &now);

    // The history popover while it is open, else null.
    ExportHistoryPopover *historyPopover() const;
    void setHistoryShown(bool shown);

protected:
    void changeEvent(QEvent *event) override;

private:
    void refresh();
    void retranslate();
    void applyIcons();
    void cancelCurrent();

    ExportQueue &m_queue;
    WindowState &m_state;
    ProgressRing *m_ring = nullptr;
    QToolButton *m_historyButton = nullptr;
    QLabel *m_percent = nullptr;
    ElidedLabel *m_detail = nullptr;
    QToolButton *m_cancel = nullptr;
    QLabel *m_idle = nullptr;
    QLabel *m_badge = nullptr;
    QPointer<ExportHistoryPopover> m_popover;
};

} // namespace routereel
