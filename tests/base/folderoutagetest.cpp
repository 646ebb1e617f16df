// The suite's folder outage (support/slowdisk.h): the other tests trust it to
// take a folder away for every kind of call, children included, and to bring it back.
#include "support/slowdisk.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSaveFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using testsupport::faultydisk::FolderOutage;

namespace {

int childReads(const QString &file)
{
    QProcess cat;
    cat.setStandardOutputFile(QProcess::nullDevice());
    cat.setStandardErrorFile(QProcess::nullDevice());
    cat.start("cat", {file});
    return cat.waitForFinished(10000) && cat.exitStatus() == QProcess::NormalExit ? cat.exitCode() : -1;
}

} // namespace

TEST(FolderOutageOnAFaultyDisk, TakesTheFolderAwayForEveryCallAndBringsItBack)
{
    QTemporaryDir dir;
    QTemporaryDir beside;
    ASSERT_TRUE(dir.isValid() && beside.isValid());
    const QString file = dir.filePath("clip.bin");
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'x'));
    }
    const int open = ::open(QFile::encodeName(file).constData(), O_RDWR);
    ASSERT_GE(open, 0);

    for (const int error : {ENOTCONN, ESTALE, EIO}) {
        SCOPED_TRACE(error);
        FolderOutage outage(dir.path(), error);
        if (!outage.active())
            GTEST_SKIP() << "the slow-disk preload is not loaded";
        char byte = 0;
        errno = 0;
        EXPECT_EQ(::pread(open, &byte, 1, 0), -1);
        EXPECT_EQ(errno, error);
        EXPECT_EQ(::write(open, "y", 1), -1);
        struct stat st;
        EXPECT_EQ(::stat(QFile::encodeName(file).constData(), &st), -1);
        EXPECT_FALSE(QFile(file).open(QIODevice::ReadOnly));
        EXPECT_FALSE(QDir(dir.path()).mkdir("more"));
        QSaveFile save(dir.filePath("saved"));
        EXPECT_FALSE(save.open(QIODevice::WriteOnly) && save.write("z") == 1 && save.commit());
        EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
        // A folder beside it stays.
        QFile other(beside.filePath("other"));
        EXPECT_TRUE(other.open(QIODevice::WriteOnly) && other.write("w") == 1);
        // A child started meanwhile sees the same folder away, and back.
        EXPECT_NE(childReads(file), 0);
        outage.heal();
        EXPECT_EQ(childReads(file), 0);
        EXPECT_EQ(::pread(open, &byte, 1, 0), 1);
        EXPECT_TRUE(QFile(file).open(QIODevice::ReadOnly));
        outage.fail(error);
        EXPECT_EQ(::pread(open, &byte, 1, 0), -1);
    }
    // Gone with its object.
    char byte = 0;
    EXPECT_EQ(::pread(open, &byte, 1, 0), 1);
    EXPECT_TRUE(QDir(dir.path()).mkdir("more"));
    ::close(open);
}
