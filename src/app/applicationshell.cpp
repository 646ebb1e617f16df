#include "applicationshell.h"

#include "appdelegate.h"
#include "quitwait.h"
#include "applicationmenus.h"
#include "singleinstance.h"
#include "updatechecker.h"

#include "export/exportqueue.h"
#include "project/projectsession.h"
#include "ui/main/mainwindow.h"

#include <QCoreApplication>

namespace routereel {

ApplicationShell::Options::Options()
    : updateTimeoutMs(UpdateChecker::defaultTimeoutMs), quitWaitLimitMs(AppDelegate::defaultQuitWaitLimitMs)
{
}

ApplicationShell::ApplicationShell(MainWindow &window, Options options)
    : m_window(window), m_delegate(std::make_unique<AppDelegate>(&window))
{
    m_delegate->setExportQueue(&window.exportQueue());
    m_delegate->setLogStore(&window.logStore());
    m_delegate->setQuitWaitLimitMs(options.quitWaitLimitMs);
    connect(m_delegate.get(), &AppDelegate::openProjectURL, this, &ApplicationShell::openProjectURL);
    connect(m_delegate.get(), &AppDelegate::terminate, this, [this] {
        quitting();
        if (settleBeforeClose())
            closeNow();
    });
    // The close button, Ctrl+W and Quit all end here.
    window.setCloseGuard([this] { return mayClose(); });
    // No menu of toolbar toggles over the toolbar.
    window.setContextMenuPolicy(Qt::NoContextMenu);

    m_checker = new UpdateChecker({options.links.updateServer, options.updateTimeoutMs, options.now}, this);
    m_checker->setWindow(&window);
    window.setUpdateCheck([this] { m_checker->checkOnLaunchIfNeeded(); });
    m_menus = new ApplicationMenus(window, *m_checker, options.links, this);
}

ApplicationShell::~ApplicationShell()
{
    m_window.setCloseGuard({});
    m_window.setUpdateCheck({});
}

bool ApplicationShell::mayClose()
{
    if (m_mayClose)
        return true;
    if (m_quitWait)
        return false;  // the quit under way closes the window
    const AppDelegate::TerminateReply reply = m_delegate->applicationShouldTerminate();
    if (reply == AppDelegate::TerminateReply::now || m_delegate->isTerminating())
        quitting();
    if (reply != AppDelegate::TerminateReply::now)
        return false;
    return settleBeforeClose();
}

bool ApplicationShell::settleBeforeClose()
{
    if (m_window.session().isSettled()) {
        m_mayClose = true;
        return true;
    }
    // What the user asked before the quit is carried out first, in the window.
    m_quitWait = new QuitWait(m_window.session(), m_window, this);
    m_quitWait->start([this] { closeNow(); });
    return false;
}

void ApplicationShell::closeNow()
{
    m_mayClose = true;
    m_window.close();
    QCoreApplication::quit();
}

// Files handed over from now on would be dropped with the window: the later
// launch waits for this one to end and opens them itself.
void ApplicationShell::quitting()
{
    if (m_instance)
        m_instance->refuseHandOvers();
}

void ApplicationShell::attach(SingleInstance &instance)
{
    m_instance = &instance;
    connect(&instance, &SingleInstance::received, this, [this](const QList<QUrl> &urls) {
        raiseWindow();
        openURLs(urls);
    });
}

void ApplicationShell::openURLs(const QList<QUrl> &urls)
{
    m_delegate->openProjectURLs(urls);
}

void ApplicationShell::openProjectURL(const QUrl &url)
{
    // Before the first show the window opens it in place of the last session.
    if (!m_window.session().didAttemptAutoRestore())
        m_window.setPendingOpenURL(url);
    else
        m_window.openProjectURL(url);
}

void ApplicationShell::raiseWindow()
{
    if (m_window.isMinimized())
        m_window.showNormal();
    m_window.raise();
    m_window.activateWindow();
}

} // namespace routereel
