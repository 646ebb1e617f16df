#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>
#include <QtGlobal>

#include <cerrno>

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

// The faulty half of the same preload: reads of one file's byte range answer EIO.
namespace testsupport::faultydisk {

// Reads of `path` within [from, to) fail with EIO, `failures` times (-1: until
// healed), in this process and in the children it starts from now on (ffmpeg).
// The disk heals when this goes.
class Fault {
public:
    Fault(const QString &path, qint64 from, qint64 to, long failures = -1)
    {
        const auto set = slowdisk::entry<int (*)(const char *, long long, long long, long)>("routereel_faultydisk_set");
        m_active = set && set(path.toLocal8Bit().constData(), from, to, failures) == 0;
        qputenv("ROUTEREEL_FAULTY_DISK_FILE", path.toLocal8Bit());
        qputenv("ROUTEREEL_FAULTY_DISK_FROM", QByteArray::number(from));
        qputenv("ROUTEREEL_FAULTY_DISK_TO", QByteArray::number(to));
        qputenv("ROUTEREEL_FAULTY_DISK_FAILURES", QByteArray::number(qint64(failures)));
    }
    ~Fault()
    {
        if (const auto set = slowdisk::entry<int (*)(const char *, long long, long long, long)>("routereel_faultydisk_set"))
            set("", 0, 0, 0);
        for (const char *name : {"ROUTEREEL_FAULTY_DISK_FILE", "ROUTEREEL_FAULTY_DISK_FROM", "ROUTEREEL_FAULTY_DISK_TO",
                                 "ROUTEREEL_FAULTY_DISK_FAILURES"})
            qunsetenv(name);
    }
    Fault(const Fault &) = delete;
    Fault &operator=(const Fault &) = delete;

    // False when the preload is not loaded or the file does not exist.
    bool active() const { return m_active; }

private:
    bool m_active = false;
};

// Reads answered with EIO in this process so far.
inline long faultsGiven()
{
    const auto count = slowdisk::entry<long (*)()>("routereel_faultydisk_faults_given");
    return count ? count() : -1;
}

} // namespace testsupport::faultydisk

// A whole folder dropping out, as a network share or an unplugged drive does.
namespace testsupport::faultydisk {

// While it stands (until heal()), every file call on paths under `folder` (open,
// read and write of descriptors opened there, stat, access, mkdir, rename,
// unlink, rmdir, opendir) fails with `error`, in this process and in the
// children it starts from now on (ffmpeg). The folder is back when it goes.
class FolderOutage {
public:
    explicit FolderOutage(const QString &folder, int error = EIO, bool outNow = true)
        : m_flag(QDir::temp().filePath(QStringLiteral("routereel-outage-%1-%2")
                                           .arg(QCoreApplication::applicationPid())
                                           .arg(++counter())))
    {
        write(outNow ? error : 0);
        const QByteArray dir = QDir::cleanPath(QDir(folder).absolutePath()).toLocal8Bit();
        const auto set = slowdisk::entry<int (*)(const char *, const char *)>("routereel_outage_set");
        m_active = set && set(dir.constData(), m_flag.toLocal8Bit().constData()) == 0;
        qputenv("ROUTEREEL_OUTAGE_DIR", dir);
        qputenv("ROUTEREEL_OUTAGE_FLAG", m_flag.toLocal8Bit());
    }
    ~FolderOutage()
    {
        if (const auto set = slowdisk::entry<int (*)(const char *, const char *)>("routereel_outage_set"))
            set("", "");
        qunsetenv("ROUTEREEL_OUTAGE_DIR");
        qunsetenv("ROUTEREEL_OUTAGE_FLAG");
        QFile::remove(m_flag);
    }
    FolderOutage(const FolderOutage &) = delete;
    FolderOutage &operator=(const FolderOutage &) = delete;

    // The folder answers again; fail() takes it away again with `error`.
    void heal() { write(0); }
    void fail(int error) { write(error); }

    // False when the preload is not loaded.
    bool active() const { return m_active; }

private:
    static int &counter()
    {
        static int n = 0;
        return n;
    }
    void write(int error)
    {
        QFile flag(m_flag);
        if (flag.open(QIODevice::WriteOnly | QIODevice::Truncate))
            flag.write(QByteArray::number(error));
    }

    QString m_flag;
    bool m_active = false;
};

// Calls failed so far in this process because their folder was out.
inline long outageFaultsGiven()
{
    const auto count = slowdisk::entry<long (*)()>("routereel_outage_faults_given");
    return count ? count() : -1;
}

} // namespace testsupport::faultydisk

// A folder whose stats stand, as on a share that has gone and not yet timed out.
namespace testsupport::faultydisk {

// While it stands, every stat of a path under `folder` (relative ones aside)
// takes `milliseconds`, in this process only. `folder` may be a single file; a
// few holds may stand at once (a stat under two takes the longer).
class StatHold {
public:
    StatHold(const QString &folder, long milliseconds)
        : m_folder(QDir::cleanPath(QDir(folder).absolutePath()).toLocal8Bit())
    {
        const auto set = slowdisk::entry<int (*)(const char *, long)>("routereel_stathold_set");
        m_active = set && set(m_folder.constData(), milliseconds) == 0;
    }
    ~StatHold()
    {
        if (const auto set = slowdisk::entry<int (*)(const char *, long)>("routereel_stathold_set"))
            set(m_folder.constData(), 0);
    }
    StatHold(const StatHold &) = delete;
    StatHold &operator=(const StatHold &) = delete;

    bool active() const { return m_active; }
    // Stats of the folder made on the main thread so far, in the whole run.
    static long mainThreadStats()
    {
        const auto count = slowdisk::entry<long (*)()>("routereel_stathold_main_thread_stats");
        return count ? count() : -1;
    }

private:
    QByteArray m_folder;
    bool m_active = false;
};

} // namespace testsupport::faultydisk
