// Loaded with LD_PRELOAD where a test cannot mount a small file system of its
// own: writes to files under one folder take from a budget of free bytes and
// fail with ENOSPC once it is used up, as on a full disk (a short write first
// when part of a write fits). Removing files gives nothing back.
#include <dlfcn.h>
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <mutex>

namespace {

std::mutex lock;
char prefix[4096];
size_t prefixLength = 0;
long long freeBytes = -1;  // below 0: no limit
std::atomic<bool> configured{false};

bool underPrefix(int fd)
{
    char link[64];
    char target[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, target, sizeof target - 1);
    if (n <= 0)
        return false;
    target[n] = '\0';
    std::lock_guard<std::mutex> guard(lock);
    return prefixLength > 0 && strncmp(target, prefix, prefixLength) == 0
        && (target[prefixLength] == '/' || target[prefixLength] == '\0');
}

// How many of `wanted` bytes the disk takes; -1 with ENOSPC when none.
ssize_t take(int fd, size_t wanted)
{
    if (!configured.load() || wanted == 0 || !underPrefix(fd))
        return ssize_t(wanted);
    std::lock_guard<std::mutex> guard(lock);
    if (freeBytes < 0)
        return ssize_t(wanted);
    if (freeBytes == 0) {
        errno = ENOSPC;
        return -1;
    }
    const long long granted = wanted < size_t(freeBytes) ? (long long)wanted : freeBytes;
    freeBytes -= granted;
    return ssize_t(granted);
}

void giveBack(int fd, size_t granted, ssize_t written)
{
    if (written >= 0 && size_t(written) >= granted)
        return;
    if (!configured.load() || !underPrefix(fd))
        return;
    std::lock_guard<std::mutex> guard(lock);
    if (freeBytes >= 0)
        freeBytes += (long long)granted - (written > 0 ? written : 0);
}

template <typename F>
F real(const char *name)
{
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" {

// `folder`: the disk's root; `bytes`: what may still be written under it (below 0: no limit).
__attribute__((visibility("default"))) void routereel_fullwrite_configure(const char *folder, long long bytes)
{
    std::lock_guard<std::mutex> guard(lock);
    snprintf(prefix, sizeof prefix, "%s", folder);
    prefixLength = strlen(prefix);
    while (prefixLength > 1 && prefix[prefixLength - 1] == '/')
        prefix[--prefixLength] = '\0';
    freeBytes = bytes;
    configured = true;
}

__attribute__((visibility("default"))) long long routereel_fullwrite_free()
{
    std::lock_guard<std::mutex> guard(lock);
    return freeBytes;
}

__attribute__((visibility("default"))) ssize_t write(int fd, const void *buf, size_t count)
{
    static const auto next = real<ssize_t (*)(int, const void *, size_t)>("write");
    const ssize_t granted = take(fd, count);
    if (granted < 0)
        return -1;
    const ssize_t written = next(fd, buf, size_t(granted));
    giveBack(fd, size_t(granted), written);
    return written;
}

__attribute__((visibility("default"))) ssize_t pwrite64(int fd, const void *buf, size_t count, off_t offset)
{
    static const auto next = real<ssize_t (*)(int, const void *, size_t, off_t)>("pwrite64");
    const ssize_t granted = take(fd, count);
    if (granted < 0)
        return -1;
    const ssize_t written = next(fd, buf, size_t(granted), offset);
    giveBack(fd, size_t(granted), written);
    return written;
}

__attribute__((visibility("default"))) ssize_t pwrite(int fd, const void *buf, size_t count, off_t offset)
{
    return pwrite64(fd, buf, count, offset);
}

__attribute__((visibility("default"))) ssize_t writev(int fd, const struct iovec *iov, int iovcnt)
{
    static const auto next = real<ssize_t (*)(int, const struct iovec *, int)>("writev");
    size_t total = 0;
    for (int i = 0; i < iovcnt; ++i)
        total += iov[i].iov_len;
    const ssize_t granted = take(fd, total);
    if (granted < 0)
        return -1;
    if (size_t(granted) == total)
        return next(fd, iov, iovcnt);
    // Part fits: write that part of the first buffers only.
    static const auto nextWrite = real<ssize_t (*)(int, const void *, size_t)>("write");
    size_t done = 0;
    for (int i = 0; i < iovcnt && done < size_t(granted); ++i) {
        const size_t part = std::min(iov[i].iov_len, size_t(granted) - done);
        const ssize_t n = nextWrite(fd, iov[i].iov_base, part);
        if (n <= 0)
            break;
        done += size_t(n);
        if (size_t(n) < part)
            break;
    }
    giveBack(fd, size_t(granted), ssize_t(done));
    return done > 0 ? ssize_t(done) : -1;
}

} // extern "C"
