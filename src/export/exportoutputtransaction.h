#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace routereel {

class ExportStagingRecord;

// ffmpeg writes into a staging file in a private folder beside the destination;
// only a successful export moves it over the destination, in one rename. The
// destination is never allowed to be one of the export's own source files, nor
// anything but a regular file (a device, a FIFO, a folder); a symbolic link to a
// regular file stays, and the file it points to is replaced. The staging folder
// is recorded in the application's data folder while it lives, so that the
// next start removes it when this process dies. Destroying the transaction
// removes the staging folder with what is left in it; a folder that cannot be
// removed then (its share dropped out) keeps its note and is removed by a later
// sweep, in this process once the folder answers again or at the next start.
class ExportOutputTransaction {
public:
    struct Failure {
        enum class Kind { sourceOverwrite, stagingFolder, noStagingFile, rename, notRegularFile };
        Kind kind = Kind::sourceOverwrite;
        int errorCode = 0;  // errno of the failed system call
        QString path;       // the folder or file concerned
        QString message() const;
    };

    // Refuses a destination that is one of `protectedPaths` or exists as
    // something else than a regular file, else creates the staging folder.
    static std::unique_ptr<ExportOutputTransaction> begin(const QString &destination,
                                                          const QStringList &protectedPaths, Failure *failure);
    ~ExportOutputTransaction();

    ExportOutputTransaction(const ExportOutputTransaction &) = delete;
    ExportOutputTransaction &operator=(const ExportOutputTransaction &) = delete;

    // The two files a staging folder holds: ffmpeg's output and its filter graph.
    static constexpr const char *videoFileName = "video.mp4";
    static constexpr const char *filterScriptFileName = "filtergraph.txt";

    QString stagingPath() const { return m_stagingPath; }
    QString filterScriptPath() const;
    QString directory() const { return m_directory; }
    QString destination() const { return m_destination; }
    // The path the staging file is renamed to: the destination with its symbolic links followed.
    QString target() const { return m_target; }
    QStringList protectedPaths() const { return m_protectedPaths; }

    // Moves the staging file over the destination; the destination is touched by nothing else.
    std::optional<Failure> commit();

    // Same file system object: equal once symbolic links are resolved, or the same device and inode.
    static bool isSameFile(const QString &a, const QString &b);

private:
    ExportOutputTransaction(QString destination, QString target, QStringList protectedPaths, QString directory);
    // The first reason the destination may not be replaced.
    static std::optional<Failure> refusal(const QString &destination, const QStringList &protectedPaths);

    QString m_stagingPath;
    QString m_directory;
    QString m_destination;
    QString m_target;
    QStringList m_protectedPaths;
    std::unique_ptr<ExportStagingRecord> m_record;
};

} // namespace routereel
