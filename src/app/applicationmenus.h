#pragma once

#include "applinks.h"

#include <QObject>
#include <QPointer>

class QAction;
class QMenu;
class QMessageBox;

namespace routereel {

class MainWindow;
class UpdateChecker;

// The window's menu bar: File (the window's Save Project, Save As New
// Project… and Open Project… commands, Quit), Edit (its Undo and Redo) and
// Help (routereel Help, Check for Updates…, About routereel). Items whose
// address is not set are hidden. Quit and Ctrl+W close the window, which asks
// first when exports run. Titles follow the interface language.
class ApplicationMenus : public QObject {
    Q_OBJECT

public:
    ApplicationMenus(MainWindow &window, UpdateChecker &checker, AppLinks links, QObject *parent = nullptr);

    QMenu *fileMenu() const { return m_file; }
    QMenu *editMenu() const { return m_edit; }
    QMenu *helpMenu() const { return m_help; }
    // The About box while it is open.
    QMessageBox *aboutBox() const;

    void showAbout();
    void openHelp();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QAction *add(QMenu *menu, const QKeySequence &shortcut, void (ApplicationMenus::*slot)());
    void retranslate();
    void quit();
    void checkForUpdates();

    MainWindow &m_window;
    UpdateChecker &m_checker;
    AppLinks m_links;
    QMenu *m_file;
    QMenu *m_edit;
    QMenu *m_help;
    QAction *m_quit, *m_helpItem, *m_checkUpdates, *m_aboutItem;
    QAction *m_closeWindow;
    QPointer<QMessageBox> m_about;
};

} // namespace routereel
