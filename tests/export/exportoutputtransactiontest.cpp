#include "exporttestutil.h"

#include "export/exportoutputtransaction.h"

#include <QTemporaryDir>

#include <unistd.h>

using namespace routereel;
using exporttest::readAll;
using Kind = ExportOutputTransaction::Failure::Kind;

namespace {

class OutputTransaction : public ::testing::Test {
protected:
    QString write(const QString &relative, const QByteArray &bytes)
    {
        const QString path = dir.filePath(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        return path;
    }
    // Staging folders left in `folder`.
    QStringList leftovers(const QString &folder = {}) const
    {
        return QDir(folder.isEmpty() ? dir.path() : folder)
            .entryList({QStringLiteral(".routereel-export-*")}, QDir::AllEntries | QDir::Hidden | QDir::System);
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(OutputTransaction, RefusesSourcesHoweverSpelled)
{
    const QString clip = write(QStringLiteral("media/clip.mp4"), "source video");
    const QString track = write(QStringLiteral("media/ride.gpx"), "<gpx/>");
    const QString link = dir.filePath(QStringLiteral("link.mp4"));
    ASSERT_TRUE(QFile::link(clip, link));
    const QString hardLink = dir.filePath(QStringLiteral("hard.gpx"));
    ASSERT_EQ(::link(QFile::encodeName(track).constData(), QFile::encodeName(hardLink).constData()), 0);
    const QString folderLink = dir.filePath(QStringLiteral("linked-media"));
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("media")), folderLink));

    const QStringList destinations{
        clip,
        link,
        hardLink,
        folderLink + QStringLiteral("/clip.mp4"),
        dir.filePath(QStringLiteral("media/../media/./ride.gpx")),
    };
    for (const QString &destination : destinations) {
        ExportOutputTransaction::Failure failure;
        failure.kind = Kind::rename;
        const auto transaction = ExportOutputTransaction::begin(destination, {clip, track}, &failure);
        EXPECT_EQ(transaction, nullptr) << destination.toStdString();
        EXPECT_EQ(failure.kind, Kind::sourceOverwrite) << destination.toStdString();
        EXPECT_EQ(failure.message(), QStringLiteral("Choose an export location different from your source files."));
    }
    EXPECT_TRUE(leftovers().isEmpty());
    EXPECT_TRUE(leftovers(dir.filePath(QStringLiteral("media"))).isEmpty());
    EXPECT_EQ(readAll(clip), "source video");
    EXPECT_EQ(readAll(track), "<gpx/>");
}

TEST_F(OutputTransaction, SameFileTestOfFilesNotThereYet)
{
    write(QStringLiteral("a/clip.mp4"), "x");
    const auto same = [this](const char *a, const char *b) {
        return ExportOutputTransaction::isSameFile(dir.filePath(QLatin1String(a)), dir.filePath(QLatin1String(b)));
    };
    EXPECT_FALSE(same("a/clip.mp4", "a/new.mp4"));
    EXPECT_FALSE(same("a/x.mp4", "a/y.mp4"));
    // a file that does not exist yet matches its own path, also through a linked folder
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("a")), dir.filePath(QStringLiteral("b"))));
    EXPECT_TRUE(same("a/new.mp4", "b/new.mp4"));
}

TEST_F(OutputTransaction, CommitReplacesDestinationInOneRename)
{
    const QString destination = write(QStringLiteral("out/export.mp4"), "old export");
    const QString clip = write(QStringLiteral("clip.mp4"), "source");
    ExportOutputTransaction::Failure failure;
    failure.kind = Kind::rename;
    auto transaction = ExportOutputTransaction::begin(destination, {clip}, &failure);
    ASSERT_NE(transaction, nullptr) << failure.message().toStdString();

    // staged beside the destination, so the rename never crosses file systems
    EXPECT_EQ(QFileInfo(transaction->directory()).absolutePath(), QFileInfo(destination).absolutePath());
    EXPECT_EQ(QFileInfo(transaction->stagingPath()).fileName(), QStringLiteral("video.mp4"));
    write(QDir(dir.path()).relativeFilePath(transaction->stagingPath()), "new export");
    EXPECT_EQ(readAll(destination), "old export");

    EXPECT_EQ(transaction->commit(), std::nullopt);
    EXPECT_EQ(readAll(destination), "new export");
    transaction.reset();
    EXPECT_TRUE(leftovers(dir.filePath(QStringLiteral("out"))).isEmpty());
    EXPECT_EQ(readAll(clip), "source");
}

TEST_F(OutputTransaction, FailedExportLeavesDestinationUntouched)
{
    const QByteArray old("old export \x00\x01\x02", 14);
    const QString destination = write(QStringLiteral("export.mp4"), old);
    {
        auto transaction = ExportOutputTransaction::begin(destination, {}, nullptr);
        ASSERT_NE(transaction, nullptr);
        write(QDir(dir.path()).relativeFilePath(transaction->stagingPath()), "half a video");
        EXPECT_EQ(leftovers().size(), 1);
    }
    EXPECT_EQ(readAll(destination), old);
    EXPECT_TRUE(leftovers().isEmpty());

    // ffmpeg wrote nothing
    auto transaction = ExportOutputTransaction::begin(destination, {}, nullptr);
    ASSERT_NE(transaction, nullptr);
    const std::optional<ExportOutputTransaction::Failure> failure = transaction->commit();
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->kind, Kind::noStagingFile);
    transaction.reset();
    EXPECT_EQ(readAll(destination), old);
    EXPECT_TRUE(leftovers().isEmpty());
}

TEST_F(OutputTransaction, CommitGuardsAgainAndReportsRenameErrors)
{
    const QString clip = write(QStringLiteral("clip.mp4"), "source");
    const QString destination = dir.filePath(QStringLiteral("later.mp4"));
    auto transaction = ExportOutputTransaction::begin(destination, {clip}, nullptr);
    ASSERT_NE(transaction, nullptr);
    write(QDir(dir.path()).relativeFilePath(transaction->stagingPath()), "new export");
    // the destination turns into the source while ffmpeg runs
    ASSERT_EQ(::link(QFile::encodeName(clip).constData(), QFile::encodeName(destination).constData()), 0);
    std::optional<ExportOutputTransaction::Failure> failure = transaction->commit();
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->kind, Kind::sourceOverwrite);
    transaction.reset();
    EXPECT_EQ(readAll(clip), "source");
    EXPECT_TRUE(leftovers().isEmpty());

    // a folder with content cannot be replaced by a file
    const QString folder = dir.filePath(QStringLiteral("taken.mp4"));
    write(QStringLiteral("taken.mp4/inside"), "keep");
    transaction = ExportOutputTransaction::begin(folder, {}, nullptr);
    ASSERT_NE(transaction, nullptr);
    write(QDir(dir.path()).relativeFilePath(transaction->stagingPath()), "new export");
    failure = transaction->commit();
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->kind, Kind::rename);
    EXPECT_EQ(failure->errorCode, EISDIR);
    EXPECT_TRUE(failure->message().startsWith(QStringLiteral("Could not save the video as ") + folder));
    transaction.reset();
    EXPECT_EQ(readAll(dir.filePath(QStringLiteral("taken.mp4/inside"))), "keep");
    EXPECT_TRUE(leftovers().isEmpty());
}

TEST_F(OutputTransaction, MissingFolderFailsBeforeAnythingIsWritten)
{
    ExportOutputTransaction::Failure failure;
    failure.kind = Kind::rename;
    const QString destination = dir.filePath(QStringLiteral("no/such/folder/export.mp4"));
    EXPECT_EQ(ExportOutputTransaction::begin(destination, {}, &failure), nullptr);
    EXPECT_EQ(failure.kind, Kind::stagingFolder);
    EXPECT_EQ(failure.errorCode, ENOENT);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("no"))));
}
