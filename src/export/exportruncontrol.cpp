#include "exportruncontrol.h"

#include "ffmpegprocess.h"

namespace routereel {

void ExportRunControl::cancel()
{
    {
        std::lock_guard guard(m_cancelledLock);
        m_cancelled = true;
    }
    std::lock_guard guard(m_processLock);
    if (m_process)
        m_process->terminate();
}

void ExportRunControl::kill()
{
    {
        std::lock_guard guard(m_cancelledLock);
        m_cancelled = true;
    }
    std::lock_guard guard(m_processLock);
    if (m_process)
        m_process->kill();
}

bool ExportRunControl::isCancelled() const
{
    std::lock_guard guard(m_cancelledLock);
    return m_cancelled;
}

void ExportRunControl::setProcess(FFmpegProcess *process)
{
    std::lock_guard guard(m_processLock);
    m_process = process;
}

} // namespace routereel
