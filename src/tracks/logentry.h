#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <QUuid>

namespace routereel {

// One line of the in-app log.
struct LogEntry {
    enum class Level { info, warning, error };

    QUuid id = QUuid::createUuid();
    QDateTime date;
    Level level = Level::info;
    QString title;
    QString detail;

    bool operator==(const LogEntry &) const = default;
};

} // namespace routereel
