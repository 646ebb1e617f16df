#include "videotimelineerror.h"

#include <QCoreApplication>

namespace routereel {

VideoTimelineError::VideoTimelineError(Kind kind, const QString &fileName)
    : m_kind(kind), m_fileName(fileName), m_what(message().toUtf8())
{
}

VideoTimelineError VideoTimelineError::invalidVideo(const QString &fileName)
{
    return VideoTimelineError(Kind::invalidVideo, fileName);
}

QString VideoTimelineError::message() const
{
    switch (m_kind) {
    case Kind::invalidVideo:
        break;
    }
    return QCoreApplication::translate("VideoTimelineError", "Cannot load video: %1").arg(m_fileName);
}

const char *VideoTimelineError::what() const noexcept
{
    return m_what.constData();
}

} // namespace routereel
