#pragma once

#include <QString>

namespace routereel {

// The window's error alert (title "Error", buttons "View Log" and "OK"),
// implemented by the main window and faked by tests.
class ProjectAlerts {
public:
    virtual ~ProjectAlerts() = default;
    // Shows `text` in the alert; a second call replaces the text of one still shown.
    virtual void showErrorAlert(const QString &text) = 0;
};

} // namespace routereel
