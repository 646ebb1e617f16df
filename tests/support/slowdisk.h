#pragma once

#include <QString>

#include <dlfcn.h>

// The test side of the slow-disk preload (slowdiskpreload.cpp): whether it is
// loaded, the path prefix it slows, and what it counted.
namespace testsupport::slowdisk {

template <typename F>
F entry(const char *name)
{
    return reinterpret_cast<F>(dlsym(RTLD_DEFAULT, name));
}

// True when the preload is loaded and given a prefix to slow.
inline bool active()
{
    const auto prefix = entry<const char *(*)()>("routereel_slowdisk_prefix");
    return prefix && *prefix();
}

// Folders made with this prefix (QTemporaryDir(prefix() + "XXXXXX")) lie on the slow disk.
inline QString prefix()
{
    const auto prefix = entry<const char *(*)()>("routereel_slowdisk_prefix");
    return prefix ? QString::fromLocal8Bit(prefix()) : QString();
}

// Opens and reads of slow files made on the main thread so far.
inline long mainThreadAccesses()
{
    const auto count = entry<long (*)()>("routereel_slowdisk_main_thread_accesses");
    return count ? count() : -1;
}

// Reads that were slowed so far, on any thread.
inline long slowedReads()
{
    const auto count = entry<long (*)()>("routereel_slowdisk_slowed_reads");
    return count ? count() : -1;
}

} // namespace testsupport::slowdisk
