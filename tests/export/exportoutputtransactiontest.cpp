#include "exporttestutil.h"

#include "export/exportoutputtransaction.h"

#include <QTemporaryDir>

#include <sys/stat.h>
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

TEST_F(OutputTransaction, CommitGuardsAgain)
{
    const QString clip = write(QStringLiteral("clip.mp4"), "source");
    const QString elsewhere = write(QStringLiteral("elsewhere.mp4"), "old");
    // What appears at the destination while ffmpeg runs.
    const auto name = [](const QString &path) { return QFile::encodeName(path); };
    const QList<std::pair<const char *, std::function<void(const QString &)>>> changes{
        {"the source, hard-linked", [&](const QString &d) { ASSERT_EQ(::link(name(clip), name(d)), 0); }},
        {"a folder", [&](const QString &d) { write(QDir(dir.path()).relativeFilePath(d) + "/inside", "keep"); }},
        {"a FIFO", [&](const QString &d) { ASSERT_EQ(::mkfifo(name(d), 0600), 0); }},
    };
    int n = 0;
    for (const auto &[what, change] : changes) {
        SCOPED_TRACE(what);
        const QString destination = dir.filePath(QStringLiteral("later%1.mp4").arg(++n));
        auto transaction = ExportOutputTransaction::begin(destination, {clip, elsewhere}, nullptr);
        ASSERT_NE(transaction, nullptr);
        write(QDir(dir.path()).relativeFilePath(transaction->stagingPath()), "new export");
        change(destination);
        const QFileInfo before(destination);
        const std::optional<ExportOutputTransaction::Failure> failure = transaction->commit();
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->kind, n == 1 ? Kind::sourceOverwrite : Kind::notRegularFile);
        transaction.reset();
        EXPECT_EQ(QFileInfo(destination).isDir(), before.isDir());
        EXPECT_EQ(QFileInfo(destination).isFile(), before.isFile());
        EXPECT_TRUE(leftovers().isEmpty());
    }
    EXPECT_EQ(readAll(clip), "source");
    EXPECT_EQ(readAll(dir.filePath(QStringLiteral("later2.mp4/inside"))), "keep");
}

TEST_F(OutputTransaction, OnlyARegularFileIsReplacedAndALinkToOneStays)
{
    const QString file = write(QStringLiteral("real/video.mp4"), "old");
    const QString folder = dir.filePath(QStringLiteral("folder.mp4"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString fifo = dir.filePath(QStringLiteral("fifo.mp4"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString toFifo = dir.filePath(QStringLiteral("to-fifo.mp4"));
    ASSERT_TRUE(QFile::link(fifo, toFifo));
    const QString loop = dir.filePath(QStringLiteral("loop.mp4"));
    ASSERT_TRUE(QFile::link(loop, loop));
    for (const QString &destination : {folder, fifo, toFifo, loop}) {
        ExportOutputTransaction::Failure failure;
        EXPECT_EQ(ExportOutputTransaction::begin(destination, {}, &failure), nullptr) << destination.toStdString();
        EXPECT_EQ(failure.kind, Kind::notRegularFile);
        EXPECT_TRUE(failure.message().contains(destination));
    }
    EXPECT_TRUE(leftovers().isEmpty());

    // Through a link the file is replaced, beside itself, and the link stays.
    const QString link = dir.filePath(QStringLiteral("link.mp4"));
    ASSERT_TRUE(QFile::link(QStringLiteral("real/video.mp4"), link));
    auto transaction = ExportOutputTransaction::begin(link, {}, nullptr);
    ASSERT_NE(transaction, nullptr);
    EXPECT_EQ(QFileInfo(transaction->directory()).absolutePath(), QFileInfo(file).absolutePath());
    write(QDir(dir.path()).relativeFilePath(transaction->stagingPath()), "new export");
    EXPECT_EQ(transaction->commit(), std::nullopt);
    transaction.reset();
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(readAll(file), "new export");
    EXPECT_TRUE(leftovers(QFileInfo(file).absolutePath()).isEmpty());
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
