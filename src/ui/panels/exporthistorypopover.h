#pragma once

#include "export/exporttaskruntime.h"

#include <QPointer>
#include <QUuid>
#include <QWidget>

class QLabel;
class QPushButton;
class QScrollArea;
class QStackedWidget;
class QVBoxLayout;

namespace routereel {

class ExportQueue;

// The export history, a popup under (or over) the queue bar's history button:
// the running task, the waiting ones in start order and the finished ones,
// newest first, each with its one action (stop, remove, show in folder).
class ExportHistoryPopover : public QWidget {
    Q_OBJECT

public:
    static constexpr QSize fixedSize{380, 360};
    static constexpr int messageGraphemes = 60;

    explicit ExportHistoryPopover(ExportQueue &queue, QWidget *parent = nullptr);

    // Shows the popup hanging from `anchor`, opening upwards when the screen has no room below;
    // on a screen too small for either side it takes the larger one and its list scrolls.
    void popUp(QWidget *anchor);

    // The row's second line: "42% · 1:05", "queued", "completed · 1:02:05", "failed · …", "cancelled".
    static QString statusLine(const ExportTaskRuntime &task, const QDateTime &now);

protected:
    void changeEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    void rebuild();
    void updateRunningRow();
    void retranslate();
    void addSection(const QString &title);
    void addRow(const ExportTaskRuntime &task);
    void runAction(const ExportTaskRuntime &task);

    ExportQueue &m_queue;
    QLabel *m_title = nullptr;
    QPushButton *m_clearHistory = nullptr;
    QStackedWidget *m_content = nullptr;
    QLabel *m_emptyIcon = nullptr;
    QLabel *m_emptyText = nullptr;
    QScrollArea *m_scroll = nullptr;
    QWidget *m_list = nullptr;
    QVBoxLayout *m_listLayout = nullptr;
    QPointer<QLabel> m_runningStatus;
    QUuid m_runningId;
    QPointer<QWidget> m_anchor;
};

} // namespace routereel
