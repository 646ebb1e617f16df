#pragma once

#include "applinks.h"

#include <QObject>
#include <QPointer>
#include <QUrl>

#include <functional>
#include <memory>

namespace routereel {

class AppDelegate;
class ApplicationMenus;
class MainWindow;
class QuitWait;
class SingleInstance;
class UpdateChecker;

// Everything of the application around its one window: the menus, the quit
// question, files handed over from the command line or a later launch, and
// the update checks. Lives inside the window's lifetime (made after it, gone before it).
class ApplicationShell : public QObject {
    Q_OBJECT

public:
    struct Options {
        AppLinks links = AppLinks::fromBuild();
        int updateTimeoutMs;
        int quitWaitLimitMs;
        std::function<double()> now;  // the update checker's clock (tests)
        Options();
    };

    explicit ApplicationShell(MainWindow &window, Options options = Options());
    ~ApplicationShell() override;

    // Files of a later launch open here, in their turn, and bring the window to
    // the front. Once a quit is under way the instance refuses them: a later
    // launch then waits for this one to end and opens its files itself.
    void attach(SingleInstance &instance);
    // The first project file among `urls` opens: at the first show, or at once when the window is up.
    void openURLs(const QList<QUrl> &urls);

    AppDelegate &delegate() { return *m_delegate; }
    UpdateChecker &updateChecker() { return *m_checker; }
    ApplicationMenus &menus() { return *m_menus; }

private:
    bool mayClose();
    void quitting();
    // True when nothing the user asked is left; else waits for it, in the window, and then closes.
    bool settleBeforeClose();
    void closeNow();
    void openProjectURL(const QUrl &url);
    void raiseWindow();

    MainWindow &m_window;
    std::unique_ptr<AppDelegate> m_delegate;
    UpdateChecker *m_checker;
    ApplicationMenus *m_menus;
    bool m_mayClose = false;
    QPointer<SingleInstance> m_instance;
    QPointer<QuitWait> m_quitWait;
};

} // namespace routereel
