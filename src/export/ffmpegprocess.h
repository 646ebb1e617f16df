#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>
#include <memory>
#include <mutex>

namespace routereel {

// The export's ffmpeg child, started with three raw pipes so that frames can
// be written from one thread while progress and diagnostics are read on
// others. Signals may be sent from any thread: the child is reaped only under
// the lock, so a signal never reaches a recycled process id. The child is
// killed when this process dies, however it dies, and also when the thread that
// started it ends (the kernel ties it to that thread): start it from the thread
// that waits for it.
class FFmpegProcess {
public:
    struct Exit {
        bool signalled = false;
        int code = 0;  // the exit status, or the signal number when signalled
    };

    // Starts `program`; none, with the reason in `error`, when it cannot be started.
    static std::unique_ptr<FFmpegProcess> start(const QString &program, const QStringList &arguments,
                                                const QProcessEnvironment &environment, QString *error);
    ~FFmpegProcess();

    FFmpegProcess(const FFmpegProcess &) = delete;
    FFmpegProcess &operator=(const FFmpegProcess &) = delete;

    // The parent's ends of the pipes; -1 once closed or taken.
    int stdinFd() const { return m_stdin; }
    // Ownership passes to the caller.
    int takeStdoutFd();
    int takeStderrFd();
    void closeStdin();
    // The child reads the end of its input, though a thread may still write to
    // stdinFd(): the number then names /dev/null, so nothing is raced or lost.
    void endInput();

    bool isRunning();
    // Blocks until the child has exited.
    Exit waitForExit();
    // False when the child still runs after `timeout`.
    bool waitForExit(std::chrono::milliseconds timeout);
    // Waits for the child as long as it works: false when for `standing` it has used
    // no processor time and read or written nothing.
    bool waitForExitWhileWorking(std::chrono::milliseconds standing);
    Exit exitState() const;

    void terminate();
    void kill();
    // Asks the child to end and kills it when it has not ended after `grace`;
    // returns when it has been reaped. Standard input stays open, so a thread
    // blocked writing to it is released (by the broken pipe) rather than raced.
    void end(std::chrono::milliseconds grace = std::chrono::seconds(3));
    // Closes standard input first, then end().
    void stop(std::chrono::milliseconds grace = std::chrono::seconds(3));

    qint64 pid() const { return m_pid; }

private:
    FFmpegProcess() = default;
    bool exitedNoReap(bool block);
    void reap();
    void signal(int sig);
    // What the child has done so far; none once it has been reaped.
    struct Work {
        long long cpuTicks = 0;
        long long bytes = 0; // read and written by its calls
        bool operator==(const Work &) const = default;
    };
    std::optional<Work> work() const;

    int m_pid = -1;
    int m_stdin = -1;
    int m_stdout = -1;
    int m_stderr = -1;
    mutable std::mutex m_lock;  // guards m_reaped and m_exit
    bool m_reaped = false;
    Exit m_exit;
};

} // namespace routereel
