#pragma once

#include <QString>

#include <functional>

namespace routereel {

class ProjectAlerts;

// The alert shows only a short title; the whole message goes to the log.
// Title: the first line that is not blank, its long paths shortened in their
// middle, then cut to 120 characters plus "...";
// the whole message when every line is blank.
QString errorAlertTitle(const QString &message);

// Adds an error entry (title, whole message) to the log and raises the alert with the title.
using ErrorLogWriter = std::function<void(const QString &title, const QString &detail)>;
void presentError(const QString &message, const ErrorLogWriter &logError, ProjectAlerts &alerts);

} // namespace routereel
