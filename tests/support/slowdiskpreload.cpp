// A slow and faulty disk for the tests, loaded with LD_PRELOAD: every read of a file whose
// path begins with $ROUTEREEL_SLOW_DISK_DIR (a prefix, built in when unset) first
// sleeps $ROUTEREEL_SLOW_DISK_DELAY_MS (built in when unset), as a network share
// or a USB drive would. Opens and reads of such files made on the process's main thread are
// counted, so that a test can tell that none happened on the window's thread.
//
// It also answers reads of one chosen file's byte range with EIO, as a bad
// sector or a share that drops does: a read that starts before the range ends
// where it begins (a short read), one that starts inside fails. The file is
// named by $ROUTEREEL_FAULTY_DISK_FILE with $ROUTEREEL_FAULTY_DISK_FROM and _TO
// (so that children such as ffmpeg inherit it), or at run time through
// routereel_faultydisk_set(); $ROUTEREEL_FAULTY_DISK_FAILURES (or the setter's
// last argument) bounds how many reads fail before the disk heals (-1: never).
// The file is known by device and inode, whatever path opened it.
//
// A whole folder can also drop out, as a network share or an unplugged drive
// does: while $ROUTEREEL_OUTAGE_FLAG (a small file outside the folder) holds
// an errno number, every call on a path under $ROUTEREEL_OUTAGE_DIR (open,
// stat, access, mkdir, rename, unlink, rmdir, opendir) and every read, write or
// sync of a descriptor opened there fails with it; 0 or no flag file heals it.
// The flag is a file so that children started meanwhile share the outage.
//
// The hooks allocate nothing and take no lock: files are marked in a table of
// atomic flags indexed by descriptor. Fortified callers (Debian builds Qt and
// libav with _FORTIFY_SOURCE) reach the __*_2 and __*_chk entries.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <ctime>

extern "C" int routereel_faultydisk_set(const char *path, long long from, long long to, long failures);
extern "C" int routereel_outage_set(const char *folder, const char *flag);

namespace {

constexpr int slowFdLimit = 65536;

char prefix[4096];
size_t prefixLength = 0;
long delayNs = ROUTEREEL_SLOW_DISK_DEFAULT_DELAY_MS * 1000L * 1000L;
std::atomic<unsigned char> slowFd[slowFdLimit];
std::atomic<long> mainThreadAccesses{0};
std::atomic<long> slowedReads{0};

// The faulty file: device and inode (0 when none), the bad range, the failures left.
std::atomic<unsigned long long> faultyDevice{0};
std::atomic<unsigned long long> faultyInode{0};
std::atomic<long long> faultyFrom{0};
std::atomic<long long> faultyTo{0};
std::atomic<long> faultsLeft{-1};
std::atomic<long> faultsGiven{0};

// The folder that drops out ("" when none), and the file telling whether it is out.
constexpr unsigned char slowBit = 1;
constexpr unsigned char outageBit = 2;
char outageDir[4096];
std::atomic<size_t> outageDirLength{0};
char outageFlag[4096];
std::atomic<long> outageFaults{0};

// The folders whose stats stand (a free slot has length 0), as on a share that
// has gone or answers slowly: each stat there takes the slot's ns, and those on
// the main thread are counted. A file can be held alone, as a folder.
struct StatHoldSlot {
    char dir[4096];
    std::atomic<size_t> length{0};
    std::atomic<long> ns{0};
};
StatHoldSlot holds[4];
std::atomic<long> mainThreadHeldStats{0};

using OpenFn = int (*)(const char *, int, ...);
using OpenAtFn = int (*)(int, const char *, int, ...);
using Open2Fn = int (*)(const char *, int);
using OpenAt2Fn = int (*)(int, const char *, int);
using CloseFn = int (*)(int);
using ReadFn = ssize_t (*)(int, void *, size_t);
using PreadFn = ssize_t (*)(int, void *, size_t, off_t);
using Pread64Fn = ssize_t (*)(int, void *, size_t, off64_t);
using ReadvFn = ssize_t (*)(int, const iovec *, int);
using LseekFn = off_t (*)(int, off_t, int);
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
LseekFn realLseek;
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
    find(realLseek, "lseek");
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
    const char *faulty = std::getenv("ROUTEREEL_FAULTY_DISK_FILE");
    if (faulty && *faulty) {
        const char *from = std::getenv("ROUTEREEL_FAULTY_DISK_FROM");
        const char *to = std::getenv("ROUTEREEL_FAULTY_DISK_TO");
        const char *failures = std::getenv("ROUTEREEL_FAULTY_DISK_FAILURES");
        routereel_faultydisk_set(faulty, from ? std::strtoll(from, nullptr, 10) : 0,
                                 to ? std::strtoll(to, nullptr, 10) : 0,
                                 failures && *failures ? std::strtol(failures, nullptr, 10) : -1);
    }
    const char *outage = std::getenv("ROUTEREEL_OUTAGE_DIR");
    const char *flag = std::getenv("ROUTEREEL_OUTAGE_FLAG");
    if (outage && *outage && flag && *flag)
        routereel_outage_set(outage, flag);
}

bool underOutage(const char *path)
{
    const size_t length = outageDirLength.load();
    return length > 0 && path && std::strncmp(path, outageDir, length) == 0
        && (path[length] == '\0' || path[length] == '/');
}

bool underOutage(int dirfd, const char *path)
{
    if (path && path[0] != '/')
        return dirfd >= 0 && dirfd < slowFdLimit && (slowFd[dirfd].load() & outageBit);
    return underOutage(path);
}

// The errno the folder answers with now, 0 while it is there. Raw system calls:
// our own hooks must not see the flag's read.
int outageError()
{
    if (outageDirLength.load() == 0)
        return 0;
    const int saved = errno;
    const long fd = syscall(SYS_openat, AT_FDCWD, outageFlag, O_RDONLY | O_CLOEXEC);
    int error = 0;
    if (fd >= 0) {
        char text[16] = {};
        const long n = syscall(SYS_read, int(fd), text, sizeof text - 1);
        syscall(SYS_close, int(fd));
        if (n > 0)
            error = int(std::strtol(text, nullptr, 10));
    }
    errno = saved;
    return error;
}

// True (with errno set) when the call must fail because its folder is out.
bool outageFails(bool under)
{
    if (!under)
        return false;
    const int error = outageError();
    if (error == 0)
        return false;
    outageFaults.fetch_add(1);
    errno = error;
    return true;
}

// A descriptor closed by glibc's own calls (fclose) keeps its mark: the
// descriptor's path, read again, tells whether a reused number is still there.
bool outageFailsFd(int fd)
{
    if (fd < 0 || fd >= slowFdLimit || !(slowFd[fd].load() & outageBit) || outageError() == 0)
        return false;
    const int saved = errno;
    char link[64];
    char target[4096];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const long n = syscall(SYS_readlinkat, AT_FDCWD, link, target, sizeof target - 1);
    errno = saved;
    if (n <= 0 || !underOutage((target[n] = '\0', target))) {
        slowFd[fd].fetch_and(static_cast<unsigned char>(~outageBit));
        return false;
    }
    return outageFails(true);
}

bool onMainThread()
{
    return syscall(SYS_gettid) == getpid();
}

void holdIfAsked(const char *path)
{
    long ns = 0;
    for (const StatHoldSlot &hold : holds) {
        const size_t length = hold.length.load();
        if (length && path && std::strncmp(path, hold.dir, length) == 0 && (!path[length] || path[length] == '/'))
            ns = std::max(ns, hold.ns.load());
    }
    if (!ns)
        return;
    if (onMainThread())
        mainThreadHeldStats.fetch_add(1);
    timespec pause{ns / 1000000000L, ns % 1000000000L};
    while (nanosleep(&pause, &pause) != 0) {
    }
}

int mark(int fd, const char *path, bool outage)
{
    if (fd < 0 || fd >= slowFdLimit)
        return fd;
    const bool slow = prefixLength > 0 && path && std::strncmp(path, prefix, prefixLength) == 0;
    slowFd[fd].store((slow ? slowBit : 0) | (outage ? outageBit : 0));
    if (slow && onMainThread())
        mainThreadAccesses.fetch_add(1);
    return fd;
}

void waitIfSlow(int fd)
{
    if (fd < 0 || fd >= slowFdLimit || !(slowFd[fd].load() & slowBit))
        return;
    slowedReads.fetch_add(1);
    if (onMainThread())
        mainThreadAccesses.fetch_add(1);
    timespec pause{delayNs / 1000000000L, delayNs % 1000000000L};
    while (nanosleep(&pause, &pause) != 0) {
    }
}

// How many bytes a read of `count` at `offset` of `fd` may return before the bad
// range: `count` when it does not reach it, -1 (and errno EIO) when it starts inside.
ssize_t faultyLimit(int fd, off_t offset, size_t count)
{
    const unsigned long long inode = faultyInode.load();
    if (inode == 0 || count == 0)
        return ssize_t(count);
    const int saved = errno;
    struct stat st;
    if (fstat(fd, &st) != 0 || st.st_ino != inode || st.st_dev != faultyDevice.load()) {
        errno = saved;
        return ssize_t(count);
    }
    errno = saved;
    const long long from = faultyFrom.load();
    const long long to = faultyTo.load();
    const long long end = (long long)offset + (long long)count;
    if (end <= from || offset >= to)
        return ssize_t(count);
    long left = faultsLeft.load();
    if (left == 0)
        return ssize_t(count);
    if (offset < from)
        return ssize_t(from - offset);
    while (left != -1) {
        if (left == 0)
            return ssize_t(count);
        if (faultsLeft.compare_exchange_weak(left, left - 1))
            break;
    }
    faultsGiven.fetch_add(1);
    errno = EIO;
    return -1;
}

off_t currentOffset(int fd)
{
    const int saved = errno;
    const off_t at = real(realLseek)(fd, 0, SEEK_CUR);
    errno = saved;
    return at < 0 ? 0 : at;
}

// Runs `read` on at most what the faulty range allows.
template <typename Read>
ssize_t readAround(int fd, off_t offset, size_t count, Read read)
{
    if (faultyInode.load() == 0)
        return read(count);
    const ssize_t allowed = faultyLimit(fd, offset, count);
    if (allowed < 0)
        return -1;
    return read(size_t(allowed));
}

// Calls hooked for the folder outage only, looked up at first use by their own name.
template <typename F>
F nextFn(std::atomic<F> &cached, const char *name)
{
    F f = cached.load();
    if (!f) {
        f = reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
        cached.store(f);
    }
    return f;
}

#define ROUTEREEL_NEXT(type, name) ([] { static std::atomic<type> f{nullptr}; return nextFn(f, name); }())

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
    const bool out = underOutage(path);
    if (outageFails(out))
        return -1;
    return mark(real(realOpen)(path, flags, mode), path, out);
}

int open64(const char *path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    const bool out = underOutage(path);
    if (outageFails(out))
        return -1;
    return mark(real(realOpen64)(path, flags, mode), path, out);
}

int openat(int dirfd, const char *path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    const bool out = underOutage(dirfd, path);
    if (outageFails(out))
        return -1;
    return mark(real(realOpenat)(dirfd, path, flags, mode), path, out);
}

int openat64(int dirfd, const char *path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    const bool out = underOutage(dirfd, path);
    if (outageFails(out))
        return -1;
    return mark(real(realOpenat64)(dirfd, path, flags, mode), path, out);
}

#define ROUTEREEL_OPEN_AT(dirfd, path, call)                                                                 \
    const bool out = underOutage(dirfd, path);                                                               \
    if (outageFails(out))                                                                                    \
        return -1;                                                                                           \
    return mark(call, path, out)

int __open_2(const char *path, int flags) { ROUTEREEL_OPEN_AT(AT_FDCWD, path, real(realOpen2)(path, flags)); }
int __open64_2(const char *path, int flags) { ROUTEREEL_OPEN_AT(AT_FDCWD, path, real(realOpen64_2)(path, flags)); }
int __openat_2(int dirfd, const char *path, int flags)
{
    ROUTEREEL_OPEN_AT(dirfd, path, real(realOpenat2)(dirfd, path, flags));
}
int __openat64_2(int dirfd, const char *path, int flags)
{
    ROUTEREEL_OPEN_AT(dirfd, path, real(realOpenat64_2)(dirfd, path, flags));
}

int close(int fd)
{
    if (fd >= 0 && fd < slowFdLimit)
        slowFd[fd].store(0);
    return real(realClose)(fd);
}

ssize_t read(int fd, void *buffer, size_t count)
{
    if (outageFailsFd(fd))
        return -1;
    waitIfSlow(fd);
    return readAround(fd, currentOffset(fd), count, [&](size_t n) { return real(realRead)(fd, buffer, n); });
}

ssize_t pread(int fd, void *buffer, size_t count, off_t offset)
{
    if (outageFailsFd(fd))
        return -1;
    waitIfSlow(fd);
    return readAround(fd, offset, count, [&](size_t n) { return real(realPread)(fd, buffer, n, offset); });
}

ssize_t pread64(int fd, void *buffer, size_t count, off64_t offset)
{
    if (outageFailsFd(fd))
        return -1;
    waitIfSlow(fd);
    return readAround(fd, offset, count, [&](size_t n) { return real(realPread64)(fd, buffer, n, offset); });
}

ssize_t readv(int fd, const iovec *vector, int count)
{
    if (outageFailsFd(fd))
        return -1;
    waitIfSlow(fd);
    if (faultyInode.load() != 0) {
        size_t total = 0;
        for (int i = 0; i < count; ++i)
            total += vector[i].iov_len;
        const ssize_t allowed = faultyLimit(fd, currentOffset(fd), total);
        if (allowed < 0)
            return -1;
        if (size_t(allowed) < total && count > 0) // rare: read the first buffer's share only
            return real(realRead)(fd, vector[0].iov_base, std::min(size_t(allowed), vector[0].iov_len));
    }
    return real(realReadv)(fd, vector, count);
}

ssize_t __read_chk(int fd, void *buffer, size_t count, size_t size)
{
    if (outageFailsFd(fd))
        return -1;
    waitIfSlow(fd);
    return readAround(fd, currentOffset(fd), count,
                      [&](size_t n) { return real(realReadChk)(fd, buffer, n, size); });
}

ssize_t __pread_chk(int fd, void *buffer, size_t count, off_t offset, size_t size)
{
    if (outageFailsFd(fd))
        return -1;
    waitIfSlow(fd);
    return readAround(fd, offset, count, [&](size_t n) { return real(realPreadChk)(fd, buffer, n, offset, size); });
}

ssize_t __pread64_chk(int fd, void *buffer, size_t count, off64_t offset, size_t size)
{
    if (outageFailsFd(fd))
        return -1;
    waitIfSlow(fd);
    return readAround(fd, offset, count,
                      [&](size_t n) { return real(realPread64Chk)(fd, buffer, n, offset, size); });
}

// The folder's other calls: each fails while the folder is out, else goes on.

ssize_t write(int fd, const void *buffer, size_t count)
{
    if (outageFailsFd(fd))
        return -1;
    return ROUTEREEL_NEXT(ssize_t (*)(int, const void *, size_t), "write")(fd, buffer, count);
}

ssize_t pwrite(int fd, const void *buffer, size_t count, off_t offset)
{
    if (outageFailsFd(fd))
        return -1;
    return ROUTEREEL_NEXT(ssize_t (*)(int, const void *, size_t, off_t), "pwrite")(fd, buffer, count, offset);
}

ssize_t pwrite64(int fd, const void *buffer, size_t count, off64_t offset)
{
    if (outageFailsFd(fd))
        return -1;
    return ROUTEREEL_NEXT(ssize_t (*)(int, const void *, size_t, off64_t), "pwrite64")(fd, buffer, count, offset);
}

ssize_t writev(int fd, const iovec *vector, int count)
{
    if (outageFailsFd(fd))
        return -1;
    return ROUTEREEL_NEXT(ssize_t (*)(int, const iovec *, int), "writev")(fd, vector, count);
}

int fsync(int fd)
{
    if (outageFailsFd(fd))
        return -1;
    return ROUTEREEL_NEXT(int (*)(int), "fsync")(fd);
}

int fdatasync(int fd)
{
    if (outageFailsFd(fd))
        return -1;
    return ROUTEREEL_NEXT(int (*)(int), "fdatasync")(fd);
}

int ftruncate(int fd, off_t length)
{
    if (outageFailsFd(fd))
        return -1;
    return ROUTEREEL_NEXT(int (*)(int, off_t), "ftruncate")(fd, length);
}

int ftruncate64(int fd, off64_t length)
{
    if (outageFailsFd(fd))
        return -1;
    return ROUTEREEL_NEXT(int (*)(int, off64_t), "ftruncate64")(fd, length);
}

int fstat(int fd, struct stat *st)
{
    if (outageFailsFd(fd))
        return -1;
    return ROUTEREEL_NEXT(int (*)(int, struct stat *), "fstat")(fd, st);
}

int fstat64(int fd, struct stat64 *st)
{
    if (outageFailsFd(fd))
        return -1;
    return ROUTEREEL_NEXT(int (*)(int, struct stat64 *), "fstat64")(fd, st);
}

int stat(const char *path, struct stat *st)
{
    holdIfAsked(path);
    if (outageFails(underOutage(path)))
        return -1;
    return ROUTEREEL_NEXT(int (*)(const char *, struct stat *), "stat")(path, st);
}

int stat64(const char *path, struct stat64 *st)
{
    holdIfAsked(path);
    if (outageFails(underOutage(path)))
        return -1;
    return ROUTEREEL_NEXT(int (*)(const char *, struct stat64 *), "stat64")(path, st);
}

int lstat(const char *path, struct stat *st)
{
    holdIfAsked(path);
    if (outageFails(underOutage(path)))
        return -1;
    return ROUTEREEL_NEXT(int (*)(const char *, struct stat *), "lstat")(path, st);
}

int lstat64(const char *path, struct stat64 *st)
{
    holdIfAsked(path);
    if (outageFails(underOutage(path)))
        return -1;
    return ROUTEREEL_NEXT(int (*)(const char *, struct stat64 *), "lstat64")(path, st);
}

int fstatat(int dirfd, const char *path, struct stat *st, int flags)
{
    holdIfAsked(path);
    if (outageFails(underOutage(dirfd, path) || ((flags & AT_EMPTY_PATH) && path && !*path && underOutage(dirfd, "x"))))
        return -1;
    return ROUTEREEL_NEXT(int (*)(int, const char *, struct stat *, int), "fstatat")(dirfd, path, st, flags);
}

int fstatat64(int dirfd, const char *path, struct stat64 *st, int flags)
{
    holdIfAsked(path);
    if (outageFails(underOutage(dirfd, path) || ((flags & AT_EMPTY_PATH) && path && !*path && underOutage(dirfd, "x"))))
        return -1;
    return ROUTEREEL_NEXT(int (*)(int, const char *, struct stat64 *, int), "fstatat64")(dirfd, path, st, flags);
}

int statx(int dirfd, const char *path, int flags, unsigned int mask, struct statx *st)
{
    holdIfAsked(path);
    if (outageFails(underOutage(dirfd, path) || ((flags & AT_EMPTY_PATH) && path && !*path && underOutage(dirfd, "x"))))
        return -1;
    return ROUTEREEL_NEXT(int (*)(int, const char *, int, unsigned int, struct statx *), "statx")(dirfd, path, flags,
                                                                                              mask, st);
}

int access(const char *path, int mode)
{
    if (outageFails(underOutage(path)))
        return -1;
    return ROUTEREEL_NEXT(int (*)(const char *, int), "access")(path, mode);
}

int faccessat(int dirfd, const char *path, int mode, int flags)
{
    if (outageFails(underOutage(dirfd, path)))
        return -1;
    return ROUTEREEL_NEXT(int (*)(int, const char *, int, int), "faccessat")(dirfd, path, mode, flags);
}

int mkdir(const char *path, mode_t mode)
{
    if (outageFails(underOutage(path)))
        return -1;
    return ROUTEREEL_NEXT(int (*)(const char *, mode_t), "mkdir")(path, mode);
}

int mkdirat(int dirfd, const char *path, mode_t mode)
{
    if (outageFails(underOutage(dirfd, path)))
        return -1;
    return ROUTEREEL_NEXT(int (*)(int, const char *, mode_t), "mkdirat")(dirfd, path, mode);
}

int rmdir(const char *path)
{
    if (outageFails(underOutage(path)))
        return -1;
    return ROUTEREEL_NEXT(int (*)(const char *), "rmdir")(path);
}

int unlink(const char *path)
{
    if (outageFails(underOutage(path)))
        return -1;
    return ROUTEREEL_NEXT(int (*)(const char *), "unlink")(path);
}

int unlinkat(int dirfd, const char *path, int flags)
{
    if (outageFails(underOutage(dirfd, path)))
        return -1;
    return ROUTEREEL_NEXT(int (*)(int, const char *, int), "unlinkat")(dirfd, path, flags);
}

int rename(const char *from, const char *to)
{
    if (outageFails(underOutage(from) || underOutage(to)))
        return -1;
    return ROUTEREEL_NEXT(int (*)(const char *, const char *), "rename")(from, to);
}

int renameat(int fromDir, const char *from, int toDir, const char *to)
{
    if (outageFails(underOutage(fromDir, from) || underOutage(toDir, to)))
        return -1;
    return ROUTEREEL_NEXT(int (*)(int, const char *, int, const char *), "renameat")(fromDir, from, toDir, to);
}

int renameat2(int fromDir, const char *from, int toDir, const char *to, unsigned int flags)
{
    if (outageFails(underOutage(fromDir, from) || underOutage(toDir, to)))
        return -1;
    return ROUTEREEL_NEXT(int (*)(int, const char *, int, const char *, unsigned int), "renameat2")(fromDir, from,
                                                                                                    toDir, to, flags);
}

int link(const char *from, const char *to)
{
    if (outageFails(underOutage(from) || underOutage(to)))
        return -1;
    return ROUTEREEL_NEXT(int (*)(const char *, const char *), "link")(from, to);
}

FILE *fopen(const char *path, const char *mode)
{
    if (outageFails(underOutage(path)))
        return nullptr;
    FILE *file = ROUTEREEL_NEXT(FILE * (*)(const char *, const char *), "fopen")(path, mode);
    if (file)
        mark(fileno(file), path, underOutage(path));
    return file;
}

FILE *fopen64(const char *path, const char *mode)
{
    if (outageFails(underOutage(path)))
        return nullptr;
    FILE *file = ROUTEREEL_NEXT(FILE * (*)(const char *, const char *), "fopen64")(path, mode);
    if (file)
        mark(fileno(file), path, underOutage(path));
    return file;
}

// glibc opens directories without its public open: mark the descriptor here.
DIR *opendir(const char *path)
{
    if (outageFails(underOutage(path)))
        return nullptr;
    DIR *dir = ROUTEREEL_NEXT(DIR * (*)(const char *), "opendir")(path);
    if (dir)
        mark(dirfd(dir), path, underOutage(path));
    return dir;
}

dirent *readdir(DIR *dir)
{
    if (dir && outageFailsFd(dirfd(dir)))
        return nullptr;
    return ROUTEREEL_NEXT(dirent * (*)(DIR *), "readdir")(dir);
}

dirent64 *readdir64(DIR *dir)
{
    if (dir && outageFailsFd(dirfd(dir)))
        return nullptr;
    return ROUTEREEL_NEXT(dirent64 * (*)(DIR *), "readdir64")(dir);
}

int closedir(DIR *dir)
{
    if (dir) {
        const int fd = dirfd(dir);
        if (fd >= 0 && fd < slowFdLimit)
            slowFd[fd].store(0);
    }
    return ROUTEREEL_NEXT(int (*)(DIR *), "closedir")(dir);
}

// For the tests, found with dlsym(RTLD_DEFAULT, ...).
long routereel_slowdisk_main_thread_accesses() { return mainThreadAccesses.load(); }
long routereel_slowdisk_slowed_reads() { return slowedReads.load(); }
const char *routereel_slowdisk_prefix() { return prefix; }

// Reads of `path` within [from, to) fail with EIO, `failures` times (-1: always);
// an empty path heals the disk. 0 when set, -1 when the file cannot be found.
int routereel_faultydisk_set(const char *path, long long from, long long to, long failures)
{
    faultyInode.store(0);
    if (!path || !*path)
        return 0;
    struct stat st;
    if (stat(path, &st) != 0)
        return -1;
    faultyFrom.store(from);
    faultyTo.store(to);
    faultsLeft.store(failures);
    faultyDevice.store(st.st_dev);
    faultyInode.store(st.st_ino);
    return 0;
}
// Reads answered with EIO so far.
long routereel_faultydisk_faults_given() { return faultsGiven.load(); }

// `folder` drops out while the file `flag` holds an errno number; an empty
// folder ends it. Descriptors already open under the folder drop out with it.
int routereel_outage_set(const char *folder, const char *flag)
{
    outageDirLength.store(0);
    if (!folder || !*folder || !flag || !*flag || std::strlen(folder) >= sizeof outageDir
        || std::strlen(flag) >= sizeof outageFlag)
        return 0;
    std::strcpy(outageDir, folder);
    size_t length = std::strlen(outageDir);
    while (length > 1 && outageDir[length - 1] == '/')
        outageDir[--length] = '\0';
    std::strcpy(outageFlag, flag);
    outageDirLength.store(length);
    DIR *fds = ROUTEREEL_NEXT(DIR * (*)(const char *), "opendir")("/proc/self/fd");
    if (!fds)
        return 0;
    while (dirent *entry = ROUTEREEL_NEXT(dirent * (*)(DIR *), "readdir")(fds)) {
        const int fd = std::atoi(entry->d_name);
        char link[64];
        char target[4096];
        std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
        const ssize_t n = readlink(link, target, sizeof target - 1);
        if (n <= 0 || fd < 0 || fd >= slowFdLimit)
            continue;
        target[n] = '\0';
        if (underOutage(target))
            slowFd[fd].fetch_or(outageBit);
    }
    ROUTEREEL_NEXT(int (*)(DIR *), "closedir")(fds);
    return 0;
}
// Calls failed because their folder was out, so far.
long routereel_outage_faults_given() { return outageFaults.load(); }

// Stats of paths under `folder` take `ms` each from now on, beside the other
// folders held; 0 ms ends the folder's hold, and "" ends every hold.
int routereel_stathold_set(const char *folder, long ms)
{
    const size_t length = std::strlen(folder);
    if (length >= sizeof holds[0].dir)
        return -1;
    StatHoldSlot *free = nullptr;
    for (StatHoldSlot &hold : holds) {
        const size_t held = hold.length.load();
        if (!length || (held == length && std::strcmp(hold.dir, folder) == 0))
            hold.length.store(0);
        else if (held)
            continue;
        if (!free)
            free = &hold;
    }
    if (!length || !ms)
        return 0;
    if (!free)
        return -1;
    std::strcpy(free->dir, folder);
    free->ns.store(ms * 1000L * 1000L);
    free->length.store(length);
    return 0;
}
// Held stats made on the main thread so far.
long routereel_stathold_main_thread_stats() { return mainThreadHeldStats.load(); }

} // extern "C"
