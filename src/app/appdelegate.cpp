#include "appdelegate.h"

#include "export/exportqueue.h"
#include "export/videoexporter.h"
#include "tracks/logstore.h"

#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QWidget>

namespace routereel {

AppDelegate::AppDelegate(QWidget *window, QObject *parent) : QObject(parent), m_window(window)
{
    m_quitWait.setSingleShot(true);
    connect(&m_quitWait, &QTimer::timeout, this, &AppDelegate::forceStop);
}

void AppDelegate::setExportQueue(ExportQueue *queue)
{
    m_queue = queue;
}

ExportQueue *AppDelegate::exportQueue() const
{
    return m_queue;
}

void AppDelegate::setLogStore(LogStore *store)
{
    m_log = store;
}

QString AppDelegate::quitQuestion(bool running, qsizetype queued)
{
    if (running && queued > 0)
        return tr("1 export is running and %1 more are queued. Quitting will cancel all of them.").arg(queued);
    if (running)
        return tr("An export is currently running. Quitting will cancel it.");
    if (queued == 1)
        return tr("1 export is queued. Quitting will discard it.");
    return tr("%1 exports are queued. Quitting will discard them.").arg(queued);
}

AppDelegate::TerminateReply AppDelegate::applicationShouldTerminate()
{
    // Already waiting for the running export to stop: the quit under way will end the application.
    if (m_terminating)
        return TerminateReply::cancel;
    if (!m_queue)
        return TerminateReply::now;
    const bool running = m_queue->current().has_value();
    const qsizetype queued = m_queue->pending().size();
    if (!running && queued == 0)
        return TerminateReply::now;

    QMessageBox box(m_window);
    box.setObjectName(QStringLiteral("quitAlert"));
    box.setWindowTitle(QStringLiteral("routereel"));
    box.setIcon(QMessageBox::Warning);
    box.setTextFormat(Qt::PlainText);
    box.setText(tr("Exports in Progress"));
    box.setInformativeText(quitQuestion(running, queued));
    // "&&": the ampersand is shown, not taken as a mnemonic.
    QPushButton *quit = box.addButton(tr("Cancel Exports & Quit").replace(QLatin1Char('&'), QLatin1String("&&")),
                                      QMessageBox::AcceptRole);
    QPushButton *keep = box.addButton(tr("Keep Running"), QMessageBox::RejectRole);
    box.setDefaultButton(quit);
    if (auto *label = box.findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel")))
        label->setMinimumWidth(320);  // the question on few lines, in either language
    box.setEscapeButton(keep);
    box.exec();
    if (box.clickedButton() != quit)
        return TerminateReply::cancel;
    if (!m_queue)
        return TerminateReply::now;

    m_terminating = true;
    // Nothing may be queued now: it would be dropped without a word.
    if (m_window)
        m_window->setEnabled(false);
    const QList<ExportTaskRuntime> pending = m_queue->pending();
    for (qsizetype i = pending.size() - 1; i >= 0; --i)
        m_queue->cancel(pending.at(i).task.id);
    if (!m_queue->current()) {
        scheduleTerminate();
        return TerminateReply::later;
    }
    m_queue->setTerminationCompletion([self = QPointer<AppDelegate>(this)] {
        if (self)
            self->scheduleTerminate();
    });
    if (m_queue->current())
        m_queue->exporter()->cancel();
    m_quitWait.start(m_quitWaitLimitMs);
    return TerminateReply::later;
}

void AppDelegate::scheduleTerminate()
{
    if (m_terminateScheduled)
        return;
    m_terminateScheduled = true;
    m_quitWait.stop();
    QTimer::singleShot(0, this, &AppDelegate::terminate);
}

void AppDelegate::forceStop()
{
    const QString detail
        = tr("The running export did not stop within %1 s of quitting; ffmpeg was killed.").arg(m_quitWaitLimitMs / 1000.0);
    qWarning().noquote() << "[AppDelegate]" << detail;
    if (m_log)
        m_log->add(LogEntry::Level::warning, QStringLiteral("Export Stopped"), detail);
    if (m_queue && m_queue->current())
        m_queue->exporter()->kill();
    scheduleTerminate();
}

std::optional<QUrl> AppDelegate::firstProjectURL(const QList<QUrl> &urls)
{
    for (const QUrl &url : urls) {
        if (url.isLocalFile() && QFileInfo(url.path()).suffix().toLower() == QLatin1String("rrl"))
            return url;
    }
    return std::nullopt;
}

void AppDelegate::openProjectURLs(const QList<QUrl> &urls)
{
    if (const std::optional<QUrl> url = firstProjectURL(urls))
        emit openProjectURL(*url);
}

} // namespace routereel
