#pragma once

#include <mutex>

namespace routereel {

class FFmpegProcess;

// The cancel flag and the running ffmpeg child of one export, shared by the
// exporter (which cancels) and the run (which checks). The two locks are never
// held together by this class's callers.
class ExportRunControl {
public:
    // Sets the flag and asks a running child to end.
    void cancel();
    // Sets the flag and kills a running child at once.
    void kill();
    bool isCancelled() const;

    // The run registers its child just before using it and clears it before destroying it.
    void setProcess(FFmpegProcess *process);

private:
    mutable std::mutex m_cancelledLock;
    bool m_cancelled = false;
    std::mutex m_processLock;
    FFmpegProcess *m_process = nullptr;
};

} // namespace routereel
