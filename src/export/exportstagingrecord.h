#pragma once

#include <QString>

#include <memory>

namespace routereel {

// A note in the application's data folder naming one staging folder of a
// running export. The process keeps the note open and locked while the folder
// lives; a process that dies (even by SIGKILL) drops the lock with it, so a
// note nobody holds names a folder a crash left behind, which sweep() removes.
class ExportStagingRecord {
public:
    // Notes `stagingFolder`; none when the note cannot be written (the export
    // still runs, only a crash would leave its folder behind).
    static std::unique_ptr<ExportStagingRecord> create(const QString &stagingFolder);
    // Forgets the note.
    ~ExportStagingRecord();

    ExportStagingRecord(const ExportStagingRecord &) = delete;
    ExportStagingRecord &operator=(const ExportStagingRecord &) = delete;

    // Removes the staging folder of every note no live process holds, then the
    // note; returns how many folders went. A note is data anyone could edit, so
    // only a folder that looks like a staging folder of this user is touched,
    // and only its video and filter graph files, never anything recursively.
    static int sweep();

    // "export-staging" in the application's data folder; empty without one.
    static QString folder();

private:
    ExportStagingRecord(QString path, int fd) : m_path(std::move(path)), m_fd(fd) {}

    QString m_path;
    int m_fd = -1;
};

} // namespace routereel
