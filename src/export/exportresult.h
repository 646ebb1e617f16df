#pragma once

#include "exporterror.h"
#include "exportoutputtransaction.h"

#include <QString>

#include <optional>
#include <variant>

namespace routereel {

// What one export hands to its completion: the output file, or why there is none.
class ExportResult {
public:
    static ExportResult success(const QString &outputPath);
    static ExportResult failure(const ExportError &error);
    static ExportResult failure(const ExportOutputTransaction::Failure &failure);
    // A system call's failure, already worded for the user.
    static ExportResult systemFailure(const QString &message);

    bool succeeded() const { return std::holds_alternative<QString>(m_value); }
    bool isCancelled() const;
    QString outputPath() const;
    std::optional<ExportError> exportError() const;
    // The user-facing text of the failure; empty on success.
    QString message() const;

private:
    struct SystemFailure {
        QString message;
    };
    using Value = std::variant<QString, ExportError, ExportOutputTransaction::Failure, SystemFailure>;
    explicit ExportResult(Value value) : m_value(std::move(value)) {}

    Value m_value;
};

} // namespace routereel
