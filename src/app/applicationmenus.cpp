#include "applicationmenus.h"

#include "updatechecker.h"

#include "ui/main/mainwindow.h"
#include "ui/main/windowcommands.h"

#include <QDesktopServices>
#include <QEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>

namespace routereel {

ApplicationMenus::ApplicationMenus(MainWindow &window, UpdateChecker &checker, AppLinks links, QObject *parent)
    : QObject(parent), m_window(window), m_checker(checker), m_links(std::move(links))
{
    QMenuBar *bar = window.menuBar();
    m_file = bar->addMenu(QString());
    m_file->setObjectName(QStringLiteral("fileMenu"));
    // The window's own commands: their shortcuts work whether a menu shows them or not.
    WindowCommands &commands = window.commands();
    m_file->addActions({commands.saveProject(), commands.saveProjectAs(), commands.openProject()});
    m_file->addSeparator();
    m_quit = add(m_file, QKeySequence(Qt::CTRL | Qt::Key_Q), &ApplicationMenus::quit);
    m_quit->setMenuRole(QAction::QuitRole);

    m_edit = bar->addMenu(QString());
    m_edit->setObjectName(QStringLiteral("editMenu"));
    m_edit->addActions({commands.undo(), commands.redo()});

    m_help = bar->addMenu(QString());
    m_help->setObjectName(QStringLiteral("helpMenu"));
    m_helpItem = add(m_help, {}, &ApplicationMenus::openHelp);
    m_helpItem->setVisible(m_links.help.isValid());
    m_checkUpdates = add(m_help, {}, &ApplicationMenus::checkForUpdates);
    m_checkUpdates->setVisible(checker.endpoint().isValid());
    m_help->addSeparator()->setVisible(m_helpItem->isVisible() || m_checkUpdates->isVisible());
    m_aboutItem = add(m_help, {}, &ApplicationMenus::showAbout);
    m_aboutItem->setMenuRole(QAction::AboutRole);

    // Closing the window ends the application: Ctrl+W takes the quit road, questions included.
    // A sheet is a window of its own, so the shortcut does not reach past it.
    m_closeWindow = new QAction(&window);
    m_closeWindow->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_W), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_W)});
    connect(m_closeWindow, &QAction::triggered, this, &ApplicationMenus::quit);
    window.addAction(m_closeWindow);

    window.installEventFilter(this);
    retranslate();
}

QAction *ApplicationMenus::add(QMenu *menu, const QKeySequence &shortcut, void (ApplicationMenus::*slot)())
{
    QAction *action = menu->addAction(QString());
    action->setShortcut(shortcut);
    connect(action, &QAction::triggered, this, slot);
    return action;
}

bool ApplicationMenus::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == &m_window && event->type() == QEvent::LanguageChange)
        retranslate();
    return QObject::eventFilter(watched, event);
}

void ApplicationMenus::retranslate()
{
    m_file->setTitle(tr("&File"));
    m_quit->setText(tr("Quit"));
    m_edit->setTitle(tr("&Edit"));
    m_help->setTitle(tr("&Help"));
    m_helpItem->setText(tr("routereel Help"));
    m_checkUpdates->setText(tr("Check for Updates…"));
    m_aboutItem->setText(tr("About routereel"));
    m_closeWindow->setText(tr("Close Window"));
}

void ApplicationMenus::quit()
{
    m_window.close();
}

void ApplicationMenus::checkForUpdates()
{
    // Returns at once; the check answers with its own alert.
    m_checker.check(false);
}

void ApplicationMenus::openHelp()
{
    if (m_links.help.isValid())
        QDesktopServices::openUrl(AppLinks::withSource(m_links.help, QStringLiteral("app_help")));
}

QMessageBox *ApplicationMenus::aboutBox() const
{
    return m_about;
}

void ApplicationMenus::showAbout()
{
    if (m_about) {
        m_about->raise();
        m_about->activateWindow();
        return;
    }
    const auto link = [](const QUrl &url, const QString &text) {
        return QStringLiteral("<a href=\"%1\">%2</a>")
            .arg(url.toString(QUrl::FullyEncoded).toHtmlEscaped(), text.toHtmlEscaped());
    };
    QStringList credits;
    if (m_links.website.isValid())
        credits << tr("Website: ")
                + link(AppLinks::withSource(m_links.website, QStringLiteral("app_about")),
                       m_links.website.toString(QUrl::StripTrailingSlash));
    if (!m_links.authorHandle.isEmpty()) {
        const QString handle = QLatin1Char('@') + m_links.authorHandle;
        credits << tr("Author: ")
                + (m_links.authorProfile.isValid() ? link(m_links.authorProfile, handle) : handle.toHtmlEscaped());
    }
    m_about = new QMessageBox(&m_window);
    m_about->setObjectName(QStringLiteral("aboutBox"));
    m_about->setAttribute(Qt::WA_DeleteOnClose);
    m_about->setWindowTitle(tr("About routereel"));
    m_about->setTextFormat(Qt::RichText);
    m_about->setText(QStringLiteral("<p style=\"font-size:16px\"><b>routereel</b></p>")
                     + tr("Version %1").arg(UpdateChecker::currentVersion()).toHtmlEscaped());
    m_about->setInformativeText(credits.join(QStringLiteral("<br>")));
    for (QLabel *label : m_about->findChildren<QLabel *>()) {
        label->setOpenExternalLinks(true);
        label->setTextInteractionFlags(Qt::TextBrowserInteraction);
    }
    if (auto *credits = m_about->findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel")))
        credits->setMinimumWidth(260);  // an address on one line
    m_about->setStandardButtons(QMessageBox::Close);
    m_about->setWindowModality(Qt::NonModal);
    m_about->show();
}

} // namespace routereel
