#pragma once

#include <QString>

namespace routereel {

// Where a task stands in the queue; a failure carries its user-facing message.
class ExportTaskStatus {
public:
    enum class Kind { pending, running, completed, failed, cancelled };

    ExportTaskStatus() = default;
    static ExportTaskStatus pending() { return ExportTaskStatus(Kind::pending); }
    static ExportTaskStatus running() { return ExportTaskStatus(Kind::running); }
    static ExportTaskStatus completed() { return ExportTaskStatus(Kind::completed); }
    static ExportTaskStatus failed(const QString &message) { return ExportTaskStatus(Kind::failed, message); }
    static ExportTaskStatus cancelled() { return ExportTaskStatus(Kind::cancelled); }

    Kind kind() const { return m_kind; }
    // The failure's message; empty for every other status.
    QString message() const { return m_message; }

    bool operator==(const ExportTaskStatus &) const = default;

private:
    explicit ExportTaskStatus(Kind kind, QString message = {}) : m_kind(kind), m_message(std::move(message)) {}

    Kind m_kind = Kind::pending;
    QString m_message;
};

} // namespace routereel
