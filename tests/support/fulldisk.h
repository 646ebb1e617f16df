#pragma once

#include <QString>
#include <QTemporaryDir>

namespace testsupport {

// A small disk that a test fills, to see what a save does when it runs out of
// space. Where the test may mount (root), a tmpfs mounted in a mount namespace
// of the test's own, so that nothing outlives the test; elsewhere a folder whose
// writes an interposed write() refuses with ENOSPC once its free bytes are used.
//
// Either needs a process of its own: a test begins with
//     if (testsupport::FullDisk::runTestInChild())
//         return;
// which runs the same test again in a child process that can have the disk,
// waits for it (bounded) and takes over its result; the child goes on.
class FullDisk {
public:
    static bool runTestInChild();
    // True in a child that writes through the interposer rather than to a tmpfs.
    static bool isInjected();

    explicit FullDisk(qint64 capacity = qint64(1) << 20);
    ~FullDisk();
    FullDisk(const FullDisk &) = delete;
    FullDisk &operator=(const FullDisk &) = delete;

    bool isReady() const { return m_error.isEmpty(); }
    QString error() const { return m_error; }
    // The disk's root; its filler lies there too, so a test keeps its files in a folder below.
    QString path() const { return m_dir.path(); }
    // Fills the disk (or empties it again) until at most `bytes` are free: whole blocks on a tmpfs.
    bool leaveFree(qint64 bytes);
    qint64 freeBytes() const;

private:
    QTemporaryDir m_dir;
    QString m_error;
    bool m_mounted = false;
    qint64 m_injectedFree = -1;
};

} // namespace testsupport
