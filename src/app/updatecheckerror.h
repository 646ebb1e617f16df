#pragma once

#include <QString>

namespace routereel {

// Why an update check found no answer. The user sees message() under
// "Could not check for updates".
class UpdateCheckError {
public:
    enum class Kind { transport, timeout, tooLarge, invalidAnswer };

    // `description`: the network layer's own text.
    static UpdateCheckError transport(const QString &description);
    static UpdateCheckError timeout();
    static UpdateCheckError tooLarge();
    // `reason`: why the answer does not decode.
    static UpdateCheckError invalidAnswer(const QString &reason);

    Kind kind() const { return m_kind; }
    QString message() const;

private:
    UpdateCheckError(Kind kind, QString detail = {}) : m_kind(kind), m_detail(std::move(detail)) {}

    Kind m_kind;
    QString m_detail;
};

} // namespace routereel
