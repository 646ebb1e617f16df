#include "ffmpegprocess.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <optional>
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

// The kernel's limits on what exec copies: each string at most 32 pages, all
// strings and their pointers together at most a quarter of the stack limit.
std::optional<QString> argumentSpaceExceeded(const std::vector<char *> &argv, const std::vector<char *> &envp)
{
    constexpr std::size_t maximumString = 32 * 4096;
    const long available = ::sysconf(_SC_ARG_MAX);
    std::size_t total = 0;
    for (const std::vector<char *> *list : {&argv, &envp}) {
        for (const char *entry : *list) {
            if (!entry)
                continue;
            const std::size_t size = std::strlen(entry) + 1;
            if (size > maximumString)
                return QCoreApplication::translate("FFmpegProcess",
                                                   "one of its arguments is %1 KiB long, more than the system "
                                                   "allows (%2 KiB)")
                    .arg(size / 1024)
                    .arg(maximumString / 1024);
            total += size + sizeof(char *);
        }
    }
    if (available > 0 && total > std::size_t(available))
        return QCoreApplication::translate("FFmpegProcess",
                                           "its %1 arguments take %2 KiB, more than the system allows (%3 KiB); "
                                           "export the project in shorter parts")
            .arg(argv.size() - 2)
            .arg(total / 1024)
            .arg(available / 1024);
    return std::nullopt;
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

    // Said before the exec refuses with a bare "Argument list too long".
    if (const auto tooLong = argumentSpaceExceeded(argv, envp)) {
        for (int *fd : {&in[0], &in[1], &out[0], &out[1], &err[0], &err[1]})
            closeFd(*fd);
        if (error)
            *error = *tooLong;
        return nullptr;
    }
    // ffmpeg keeps every input file open from its start: a timeline of many pieces
    // needs more than the usual soft limit of 1024 descriptors, so the child gets
    // all it may have.
    struct rlimit files {};
    const bool raiseFiles = ::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max;
    files.rlim_cur = files.rlim_max;

    // A status pipe that exec closes: it carries errno back when the exec fails.
    int status[2] = {-1, -1};
    if (::pipe2(status, O_CLOEXEC) != 0)
        return fail(errno);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        // The child of a threaded process: only async-signal-safe calls until exec.
        // ffmpeg dies with this process, however it ends (even SIGKILL); the
        // parent may already have died before the request took effect.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        ::dup2(in[0], STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(err[1], STDERR_FILENO);
        // Default signal handling whatever the parent ignores (SIGPIPE) or blocks.
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::signal(SIGPIPE, SIG_DFL);
        if (raiseFiles)
            ::setrlimit(RLIMIT_NOFILE, &files);
        ::execve(path.constData(), argv.data(), envp.data());
        const int code = errno;
        [[maybe_unused]] const ssize_t n = ::write(status[1], &code, sizeof code);
        ::_exit(127);
    }
    const int forkError = errno;
    ::close(status[1]);
    if (pid < 0) {
        ::close(status[0]);
        return fail(forkError);
    }
    int execError = 0;
    ssize_t n;
    do {
        n = ::read(status[0], &execError, sizeof execError);
    } while (n < 0 && errno == EINTR);
    ::close(status[0]);
    if (n == ssize_t(sizeof execError)) {
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        return fail(execError);
    }

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

void FFmpegProcess::endInput()
{
    if (m_stdin < 0)
        return;
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null < 0)
        return;
    // A write under way keeps the pipe open until it returns, then the child sees its end.
    while (::dup3(null, m_stdin, O_CLOEXEC) < 0 && errno == EINTR) {
    }
    ::close(null);
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

bool FFmpegProcess::waitForExitWhileWorking(std::chrono::milliseconds standing)
{
    const auto step = std::min(standing, std::chrono::milliseconds(500));
    std::optional<Work> done = work();
    auto still = std::chrono::steady_clock::now();
    while (!waitForExit(step)) {
        if (const std::optional<Work> now = work(); now != done) {
            done = now;
            still = std::chrono::steady_clock::now();
        } else if (std::chrono::steady_clock::now() - still >= standing) {
            return false;
        }
    }
    return true;
}

namespace {

// A file of /proc read plainly: it states no size, and QFile takes it for empty.
QByteArray procFile(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    char buffer[1024];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    return n > 0 ? QByteArray(buffer, int(n)) : QByteArray();
}

} // namespace

std::optional<FFmpegProcess::Work> FFmpegProcess::work() const
{
    std::lock_guard guard(m_lock);
    if (m_reaped || m_pid <= 0)
        return std::nullopt;
    const QByteArray proc = "/proc/" + QByteArray::number(m_pid);
    // The fields after the command's closing parenthesis, the state first; user and
    // system time are the 12th and 13th of them.
    const QByteArray stat = procFile(proc + "/stat");
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 1).simplified().split(' ');
    if (fields.size() < 13)
        return std::nullopt;
    Work work{fields[11].toLongLong() + fields[12].toLongLong(), 0};
    // Bytes read and written by its calls: a child finishing a file on a slow share
    // waits in them and takes hardly any processor time meanwhile.
    for (const QByteArray &line : procFile(proc + "/io").split('\n')) {
        if (line.startsWith("rchar:") || line.startsWith("wchar:"))
            work.bytes += line.mid(6).trimmed().toLongLong();
    }
    return work;
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
