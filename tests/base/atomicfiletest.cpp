#include "base/atomicfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace routereel;

namespace {

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

} // namespace

// A replaced file keeps what made it the user's file; a failed write leaves nothing behind.
TEST(AtomicFile, ReplacesWholeFilesAndLeavesNothingOnFailure)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("Ride.rrl");
    ASSERT_FALSE(writeFileAtomically(file, "first"));
    ASSERT_TRUE(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    ASSERT_TRUE(QFile::link(file, dir.filePath("link.rrl")));

    EXPECT_FALSE(writeFileAtomically(dir.filePath("link.rrl"), "through the link"));
    EXPECT_EQ(contentOf(file), "through the link");
    EXPECT_TRUE(QFileInfo(dir.filePath("link.rrl")).isSymLink());
    EXPECT_EQ(QFile::permissions(file) & QFile::Permissions(0x7077), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);

    ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
    struct Case {
        QString target;
        QString reason;
    };
    const Case failures[] = {
        {dir.filePath("folder"), "Is a directory"},
        {dir.filePath("missing/Ride.rrl"), "No such file or directory"},
    };
    for (const Case &c : failures) {
        SCOPED_TRACE(c.target.toStdString());
        EXPECT_EQ(writeFileAtomically(c.target, "bytes"), c.reason);
    }
    QStringList left = QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    left.sort();
    EXPECT_EQ(left, (QStringList{"Ride.rrl", "folder", "link.rrl"}));
    EXPECT_TRUE(QDir(dir.filePath("folder")).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
}
