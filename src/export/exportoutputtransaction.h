#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace routereel {

// ffmpeg writes into a staging file in a private folder beside the destination;
// only a successful export moves it over the destination, in one rename. The
// destination is never allowed to be one of the export's own source files.
// Destroying the transaction removes the staging folder with what is left in it.
class ExportOutputTransaction {
public:
    struct Failure {
        enum class Kind { sourceOverwrite, stagingFolder, noStagingFile, rename };
        Kind kind = Kind::sourceOverwrite;
        int errorCode = 0;  // errno of the failed system call
        QString path;       // the folder or file concerned
        QString message() const;
    };

    // Refuses a destination that is one of `protectedPaths`, else creates the staging folder.
    static std::unique_ptr<ExportOutputTransaction> begin(const QString &destination,
                                                          const QStringList &protectedPaths, Failure *failure);
    ~ExportOutputTransaction();

    ExportOutputTransaction(const ExportOutputTransaction &) = delete;
    ExportOutputTransaction &operator=(const ExportOutputTransaction &) = delete;

    QString stagingPath() const { return m_stagingPath; }
    QString directory() const { return m_directory; }
    QString destination() const { return m_destination; }
    QStringList protectedPaths() const { return m_protectedPaths; }

    // Moves the staging file over the destination; the destination is touched by nothing else.
    std::optional<Failure> commit();

    // Same file system object: equal once symbolic links are resolved, or the same device and inode.
    static bool isSameFile(const QString &a, const QString &b);

private:
    ExportOutputTransaction(QString destination, QStringList protectedPaths, QString directory);
    bool destinationIsProtected() const;

    QString m_stagingPath;
    QString m_directory;
    QString m_destination;
    QStringList m_protectedPaths;
};

} // namespace routereel
