#include "updatecheckerror.h"

#include <QCoreApplication>

namespace routereel {

UpdateCheckError UpdateCheckError::transport(const QString &description)
{
    return {Kind::transport, description};
}

UpdateCheckError UpdateCheckError::timeout()
{
    return {Kind::timeout};
}

UpdateCheckError UpdateCheckError::tooLarge()
{
    return {Kind::tooLarge};
}

UpdateCheckError UpdateCheckError::invalidAnswer(const QString &reason)
{
    return {Kind::invalidAnswer, reason};
}

QString UpdateCheckError::message() const
{
    switch (m_kind) {
    case Kind::transport:
        return m_detail;
    case Kind::timeout:
        return QCoreApplication::translate("UpdateCheckError", "The update server did not answer in time.");
    case Kind::tooLarge:
        return QCoreApplication::translate("UpdateCheckError", "The update server's answer is too large.");
    case Kind::invalidAnswer:
        return QCoreApplication::translate("UpdateCheckError", "The update server's answer could not be read: %1")
            .arg(m_detail);
    }
    return m_detail;
}

} // namespace routereel
