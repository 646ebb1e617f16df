#pragma once

#include <memory>

namespace routereel {

class ExportRunControl;

// How a process that runs exports starts and ends. At start it removes the
// staging folders that an earlier process left behind when it died, and takes
// over SIGTERM and SIGINT: they cancel every running export the normal way
// (ffmpeg stopped, staging folder removed) and end the process by that signal
// once the runs have ended; a second signal ends it at once. Without a running
// export the signal ends the process as before. ffmpeg itself dies with the
// process whatever ends it (see FFmpegProcess).
class ExportShutdown {
public:
    // Once, on the main thread, after the application object exists. Later calls do nothing.
    static void prepareProcess();

    // Marks one export run as live for its whole scope; a run that starts while
    // the process is ending is cancelled at once.
    class RunScope {
    public:
        explicit RunScope(std::shared_ptr<ExportRunControl> control);
        ~RunScope();
        RunScope(const RunScope &) = delete;
        RunScope &operator=(const RunScope &) = delete;

    private:
        std::shared_ptr<ExportRunControl> m_control;
    };
};

} // namespace routereel
