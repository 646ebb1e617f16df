// A slow disk for the tests, loaded with LD_PRELOAD: every read of a file whose
// path begins with $ROUTEREEL_SLOW_DISK_DIR (a prefix, built in when unset) first
// sleeps $ROUTEREEL_SLOW_DISK_DELAY_MS (built in when unset), as a network share
// or a USB drive would. Opens and reads of such files made on the process's main thread are
// counted, so that a test can tell that none happened on the window's thread.
//
// The hooks allocate nothing and take no lock: files are marked in a table of
// atomic flags indexed by descriptor. Fortified callers (Debian builds Qt and
// libav with _FORTIFY_SOURCE) reach the __*_2 and __*_chk entries.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

constexpr int slowFdLimit = 65536;

char prefix[4096];
size_t prefixLength = 0;
long delayNs = ROUTEREEL_SLOW_DISK_DEFAULT_DELAY_MS * 1000L * 1000L;
std::atomic<unsigned char> slowFd[slowFdLimit];
std::atomic<long> mainThreadAccesses{0};
std::atomic<long> slowedReads{0};

using OpenFn = int (*)(const char *, int, ...);
using OpenAtFn = int (*)(int, const char *, int, ...);
using Open2Fn = int (*)(const char *, int);
using OpenAt2Fn = int (*)(int, const char *, int);
using CloseFn = int (*)(int);
using ReadFn = ssize_t (*)(int, void *, size_t);
using PreadFn = ssize_t (*)(int, void *, size_t, off_t);
using Pread64Fn = ssize_t (*)(int, void *, size_t, off64_t);
using ReadvFn = ssize_t (*)(int, const iovec *, int);
using ReadChkFn = ssize_t (*)(int, void *, size_t, size_t);
using PreadChkFn = ssize_t (*)(int, void *, size_t, off_t, size_t);
using Pread64ChkFn = ssize_t (*)(int, void *, size_t, off64_t, size_t);

OpenFn realOpen, realOpen64;
OpenAtFn realOpenat, realOpenat64;
Open2Fn realOpen2, realOpen64_2;
OpenAt2Fn realOpenat2, realOpenat64_2;
CloseFn realClose;
ReadFn realRead;
PreadFn realPread;
Pread64Fn realPread64;
ReadvFn realReadv;
ReadChkFn realReadChk;
PreadChkFn realPreadChk;
Pread64ChkFn realPread64Chk;

template <typename F>
void find(F &f, const char *name)
{
    f = reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

void findAll()
{
    find(realOpen, "open");
    find(realOpen64, "open64");
    find(realOpenat, "openat");
    find(realOpenat64, "openat64");
    find(realOpen2, "__open_2");
    find(realOpen64_2, "__open64_2");
    find(realOpenat2, "__openat_2");
    find(realOpenat64_2, "__openat64_2");
    find(realClose, "close");
    find(realRead, "read");
    find(realPread, "pread");
    find(realPread64, "pread64");
    find(realReadv, "readv");
    find(realReadChk, "__read_chk");
    find(realPreadChk, "__pread_chk");
    find(realPread64Chk, "__pread64_chk");
}

// Other libraries' constructors may open and read before ours runs.
template <typename F>
F real(F &f)
{
    if (!f)
        findAll();
    return f;
}

__attribute__((constructor)) void slowDiskInit()
{
    findAll();
    const char *dir = std::getenv("ROUTEREEL_SLOW_DISK_DIR");
    if (!dir)
        dir = ROUTEREEL_SLOW_DISK_DEFAULT_PREFIX;
    if (*dir && std::strlen(dir) < sizeof prefix) {
        std::strcpy(prefix, dir);
        prefixLength = std::strlen(prefix);
    }
    const char *ms = std::getenv("ROUTEREEL_SLOW_DISK_DELAY_MS");
    if (ms && *ms)
        delayNs = std::strtol(ms, nullptr, 10) * 1000L * 1000L;
}

bool onMainThread()
{
    return syscall(SYS_gettid) == getpid();
}

int mark(int fd, const char *path)
{
    if (fd < 0 || fd >= slowFdLimit)
        return fd;
    const bool slow = prefixLength > 0 && path && std::strncmp(path, prefix, prefixLength) == 0;
    slowFd[fd].store(slow ? 1 : 0);
    if (slow && onMainThread())
        mainThreadAccesses.fetch_add(1);
    return fd;
}

void waitIfSlow(int fd)
{
    if (fd < 0 || fd >= slowFdLimit || !slowFd[fd].load())
        return;
    slowedReads.fetch_add(1);
    if (onMainThread())
        mainThreadAccesses.fetch_add(1);
    timespec pause{delayNs / 1000000000L, delayNs % 1000000000L};
    while (nanosleep(&pause, &pause) != 0) {
    }
}

mode_t modeOf(int flags, va_list args)
{
    return (flags & (O_CREAT | O_TMPFILE)) ? mode_t(va_arg(args, int)) : 0;
}

} // namespace

extern "C" {

int open(const char *path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    return mark(real(realOpen)(path, flags, mode), path);
}

int open64(const char *path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    return mark(real(realOpen64)(path, flags, mode), path);
}

int openat(int dirfd, const char *path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    return mark(real(realOpenat)(dirfd, path, flags, mode), path);
}

int openat64(int dirfd, const char *path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    return mark(real(realOpenat64)(dirfd, path, flags, mode), path);
}

int __open_2(const char *path, int flags) { return mark(real(realOpen2)(path, flags), path); }
int __open64_2(const char *path, int flags) { return mark(real(realOpen64_2)(path, flags), path); }
int __openat_2(int dirfd, const char *path, int flags) { return mark(real(realOpenat2)(dirfd, path, flags), path); }
int __openat64_2(int dirfd, const char *path, int flags) { return mark(real(realOpenat64_2)(dirfd, path, flags), path); }

int close(int fd)
{
    if (fd >= 0 && fd < slowFdLimit)
        slowFd[fd].store(0);
    return real(realClose)(fd);
}

ssize_t read(int fd, void *buffer, size_t count)
{
    waitIfSlow(fd);
    return real(realRead)(fd, buffer, count);
}

ssize_t pread(int fd, void *buffer, size_t count, off_t offset)
{
    waitIfSlow(fd);
    return real(realPread)(fd, buffer, count, offset);
}

ssize_t pread64(int fd, void *buffer, size_t count, off64_t offset)
{
    waitIfSlow(fd);
    return real(realPread64)(fd, buffer, count, offset);
}

ssize_t readv(int fd, const iovec *vector, int count)
{
    waitIfSlow(fd);
    return real(realReadv)(fd, vector, count);
}

ssize_t __read_chk(int fd, void *buffer, size_t count, size_t size)
{
    waitIfSlow(fd);
    return real(realReadChk)(fd, buffer, count, size);
}

ssize_t __pread_chk(int fd, void *buffer, size_t count, off_t offset, size_t size)
{
    waitIfSlow(fd);
    return real(realPreadChk)(fd, buffer, count, offset, size);
}

ssize_t __pread64_chk(int fd, void *buffer, size_t count, off64_t offset, size_t size)
{
    waitIfSlow(fd);
    return real(realPread64Chk)(fd, buffer, count, offset, size);
}

// For the tests, found with dlsym(RTLD_DEFAULT, ...).
long routereel_slowdisk_main_thread_accesses() { return mainThreadAccesses.load(); }
long routereel_slowdisk_slowed_reads() { return slowedReads.load(); }
const char *routereel_slowdisk_prefix() { return prefix; }

} // extern "C"
