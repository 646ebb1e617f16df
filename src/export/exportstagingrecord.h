#pragma once

#include <QString>

#include <chrono>
#include <memory>

namespace routereel {

// A note in the application's data folder naming one staging folder of a
// running export. The process keeps the note open and locked while the folder
// lives; a process that dies (even by SIGKILL) drops the lock with it, so a
// note nobody holds names a folder a crash left behind, which sweep() removes.
// A note is forgotten only once its folder is gone: a folder on a network
// share that dropped out is removed when it answers again.
class ExportStagingRecord {
public:
    // Notes `stagingFolder`; none when the note cannot be written (the export
    // still runs, only a crash would leave its folder behind).
    static std::unique_ptr<ExportStagingRecord> create(const QString &stagingFolder);
    // Forgets the note, unless it was handed to the sweep.
    ~ExportStagingRecord();

    ExportStagingRecord(const ExportStagingRecord &) = delete;
    ExportStagingRecord &operator=(const ExportStagingRecord &) = delete;

    // For a folder that could not be removed: the note stays, unheld, for the
    // sweeps that retry while the process runs (see sweepSoon) and at the next start.
    void handToSweep();

    // Removes the staging folder of every note no live process holds, then the
    // note; returns how many folders went. A note is data anyone could edit, so
    // only a folder that looks like a staging folder of this user is touched,
    // and only its video and filter graph files, never anything recursively.
    // A note whose folder cannot be reached or still stands is kept; `waiting`
    // counts them.
    static int sweep(int *waiting = nullptr);

    // Sweeps on a pool thread now, and again while notes wait (see Retry);
    // without an application object, sweeps here and now.
    static void sweepAtStart();
    // Sweeps on a pool thread after the first pause of Retry, again while notes wait.
    static void sweepSoon();

    // Pauses between the sweeps of a running process, doubling up to `longest`,
    // `attempts` at most; past them the next start sweeps. Tests shorten them.
    struct Retry {
        std::chrono::milliseconds first{2000};
        std::chrono::milliseconds longest{60000};
        int attempts = 40;
    };
    static void setRetry(const Retry &retry);

    // "export-staging" in the application's data folder; empty without one.
    static QString folder();

private:
    ExportStagingRecord(QString path, int fd) : m_path(std::move(path)), m_fd(fd) {}

    QString m_path;
    int m_fd = -1;
};

} // namespace routereel
