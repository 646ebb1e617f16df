#include "ffmpegprocess.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace routereel {

namespace {

void closeFd(int &fd)
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

} // namespace

std::unique_ptr<FFmpegProcess> FFmpegProcess::start(const QString &program, const QStringList &arguments,
                                                    const QProcessEnvironment &environment, QString *error)
{
    int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
    const auto fail = [&](int code) {
        for (int *fd : {&in[0], &in[1], &out[0], &out[1], &err[0], &err[1]})
            closeFd(*fd);
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(code));
        return nullptr;
    };
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
        return fail(errno);

    const QByteArray path = QFile::encodeName(program);
    std::vector<QByteArray> argStore{path};
    for (const QString &argument : arguments)
        argStore.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &a : argStore)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<QByteArray> envStore;
    for (const QString &entry : environment.toStringList())
        envStore.push_back(entry.toLocal8Bit());
    std::vector<char *> envp;
    for (QByteArray &e : envStore)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    // The child starts with default signal handling whatever the parent ignores (SIGPIPE).
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, path.constData(), &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0)
        return fail(spawned);

    closeFd(in[0]);
    closeFd(out[1]);
    closeFd(err[1]);
    std::unique_ptr<FFmpegProcess> process(new FFmpegProcess);
    process->m_pid = pid;
    process->m_stdin = in[1];
    process->m_stdout = out[0];
    process->m_stderr = err[0];
    return process;
}

FFmpegProcess::~FFmpegProcess()
{
    closeStdin();
    closeFd(m_stdout);
    closeFd(m_stderr);
    if (m_pid > 0)
        stop();
}

int FFmpegProcess::takeStdoutFd()
{
    return std::exchange(m_stdout, -1);
}

int FFmpegProcess::takeStderrFd()
{
    return std::exchange(m_stderr, -1);
}

void FFmpegProcess::closeStdin()
{
    closeFd(m_stdin);
}

bool FFmpegProcess::exitedNoReap(bool block)
{
    {
        std::lock_guard guard(m_lock);
        if (m_reaped)
            return true;
    }
    siginfo_t info;
    std::memset(&info, 0, sizeof info);
    for (;;) {
        const int r = ::waitid(P_PID, id_t(m_pid), &info, WEXITED | WNOWAIT | (block ? 0 : WNOHANG));
        if (r == 0)
            return info.si_pid != 0;
        if (errno != EINTR)
            return true;  // nothing left to wait for
    }
}

void FFmpegProcess::reap()
{
    std::lock_guard guard(m_lock);
    if (m_reaped)
        return;
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(m_pid, &status, 0);
    } while (r < 0 && errno == EINTR);
    m_reaped = true;
    if (r == m_pid && WIFSIGNALED(status))
        m_exit = {true, WTERMSIG(status)};
    else if (r == m_pid)
        m_exit = {false, WEXITSTATUS(status)};
    else
        m_exit = {true, SIGKILL};
}

bool FFmpegProcess::isRunning()
{
    if (exitedNoReap(false)) {
        reap();
        return false;
    }
    return true;
}

FFmpegProcess::Exit FFmpegProcess::waitForExit()
{
    exitedNoReap(true);
    reap();
    return exitState();
}

bool FFmpegProcess::waitForExit(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (isRunning()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

FFmpegProcess::Exit FFmpegProcess::exitState() const
{
    std::lock_guard guard(m_lock);
    return m_exit;
}

void FFmpegProcess::signal(int sig)
{
    std::lock_guard guard(m_lock);
    if (!m_reaped && m_pid > 0)
        ::kill(m_pid, sig);
}

void FFmpegProcess::terminate()
{
    signal(SIGTERM);
}

void FFmpegProcess::kill()
{
    signal(SIGKILL);
}

void FFmpegProcess::stop(std::chrono::milliseconds grace)
{
    closeStdin();
    end(grace);
}

void FFmpegProcess::end(std::chrono::milliseconds grace)
{
    if (!isRunning())
        return;
    terminate();
    if (!waitForExit(grace)) {
        kill();
        waitForExit();
    }
}

} // namespace routereel
