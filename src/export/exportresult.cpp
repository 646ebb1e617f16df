#include "exportresult.h"

namespace routereel {

ExportResult ExportResult::success(const QString &outputPath)
{
    return ExportResult(Value(std::in_place_index<0>, outputPath));
}

ExportResult ExportResult::failure(const ExportError &error)
{
    return ExportResult(Value(error));
}

ExportResult ExportResult::failure(const ExportOutputTransaction::Failure &failure)
{
    return ExportResult(Value(failure));
}

ExportResult ExportResult::systemFailure(const QString &message)
{
    return ExportResult(Value(SystemFailure{message}));
}

bool ExportResult::isCancelled() const
{
    const auto *error = std::get_if<ExportError>(&m_value);
    return error && error->kind() == ExportError::Kind::cancelled;
}

QString ExportResult::outputPath() const
{
    const auto *path = std::get_if<QString>(&m_value);
    return path ? *path : QString();
}

std::optional<ExportError> ExportResult::exportError() const
{
    if (const auto *error = std::get_if<ExportError>(&m_value))
        return *error;
    return std::nullopt;
}

QString ExportResult::message() const
{
    if (const auto *error = std::get_if<ExportError>(&m_value))
        return error->message();
    if (const auto *failure = std::get_if<ExportOutputTransaction::Failure>(&m_value))
        return failure->message();
    if (const auto *system = std::get_if<SystemFailure>(&m_value))
        return system->message;
    return {};
}

} // namespace routereel
