#pragma once

#include "project/projectalerts.h"

#include <QObject>

class QMessageBox;
class QPushButton;
class QWidget;

namespace routereel {

class WindowState;

// The window's two alerts, one reused box each: "Error" ("View Log", "OK") and
// "Network Error" ("OK"). Each is shown while its flag in the window state is
// set; closing it clears the flag. A second error while the box is open only
// replaces its text.
class WindowAlerts : public QObject, public ProjectAlerts {
    Q_OBJECT

public:
    WindowAlerts(WindowState &state, QWidget *window);

    // ProjectAlerts: the title of an error that was already logged.
    void showErrorAlert(const QString &text) override;

    QMessageBox *errorBox() const { return m_errorBox; }
    QMessageBox *networkBox() const { return m_networkBox; }

    void retranslate();

private:
    void syncError();
    void syncNetwork();

    WindowState &m_state;
    QMessageBox *m_errorBox;
    QPushButton *m_viewLog;
    QPushButton *m_errorOK;
    QMessageBox *m_networkBox;
    QPushButton *m_networkOK;
};

} // namespace routereel
