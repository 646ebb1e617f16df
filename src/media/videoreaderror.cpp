#include "videoreaderror.h"

#include <QCoreApplication>

namespace routereel {

VideoReadError::VideoReadError(const QString &fileName, const QString &reason, bool refused)
    : m_fileName(fileName), m_reason(reason), m_refused(refused), m_what(message().toUtf8())
{
}

QString VideoReadError::message() const
{
    return QCoreApplication::translate("VideoReadError", "Cannot read video file %1: %2").arg(m_fileName, m_reason);
}

QString VideoReadError::skippedPartMessage(const QString &fileName, const QString &reason)
{
    return QCoreApplication::translate("VideoReadError",
                                       "Part of video file %1 cannot be read (%2); the preview skips it.")
        .arg(fileName, reason);
}

} // namespace routereel
