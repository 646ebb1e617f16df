#include "../projectfakes.h"

#include "ui/main/exportaction.h"
#include "ui/main/fileimport.h"
#include "ui/main/mainwindow.h"
#include "ui/main/windowalerts.h"
#include "ui/state/windowstate.h"

#include <QMessageBox>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace routereel;
using namespace projecttest;
using testsupport::waitFor;

namespace {

class Window : public MainWindow {
public:
    explicit Window(QString saveTo)
        : MainWindow(Options{.makePlayer = {}, .network = QNetworkInformation::Reachability::Online}),
          m_saveTo(std::move(saveTo))
    {
    }
    std::optional<QUrl> chooseSaveLocation(const QString &, const QString &) override
    {
        return QUrl::fromLocalFile(m_saveTo);
    }

private:
    QString m_saveTo;
};

} // namespace

// Export pressed while a track is still being read, alone or with a Save given
// after it: the user reads what the export waits for, not that videos load.
TEST(ProjectWindowExportWait, ExportNamesWhatIsStillUnderWay)
{
    for (const bool saveGiven : {false, true}) {
        SCOPED_TRACE(saveGiven ? "import and a Save" : "import");
        QTemporaryDir dir;
        const QByteArray gpx = readAll(writeGPX(dir.path(), QStringLiteral("source.gpx"), 30));
        // A track whose read waits until the test writes it: the import runs as long as the test wants.
        const QString track = dir.filePath(QStringLiteral("ride.gpx"));
        ASSERT_EQ(::mkfifo(QFile::encodeName(track).constData(), 0600), 0);
        Window window(dir.filePath(QStringLiteral("saved.rrl")));
        window.windowState().setCompositionMode(CompositionMode::regular);
        window.exportAction().setSaveDialog([](QWidget *, const QString &) { return QUrl(); });

        window.fileImport().importTracks(QUrl::fromLocalFile(track));
        if (saveGiven)
            window.session().handleSaveProject();
        window.exportAction().startExport();
        ASSERT_TRUE(window.windowState().showError());
        const QString told = window.alerts().errorBox()->text();
        EXPECT_NE(told, ExportAction::projectLoadingMessage());
        EXPECT_TRUE(told.contains(QStringLiteral("\"ride.gpx\""))) << told.toStdString();
        EXPECT_EQ(told.contains(QStringLiteral("Save Project")), saveGiven) << told.toStdString();
        window.windowState().setShowError(false);

        // The reader takes the track; once it and the Save have landed, the export waits for nothing.
        int fd = -1;
        ASSERT_TRUE(waitFor([&] {
            fd = ::open(QFile::encodeName(track).constData(), O_WRONLY | O_NONBLOCK);
            return fd >= 0;
        }, 30'000));
        EXPECT_EQ(::write(fd, gpx.constData(), size_t(gpx.size())), gpx.size());
        ::close(fd);
        ASSERT_TRUE(waitFor([&] { return window.session().stage().isIdle() && !window.session().hasFileWork(); },
                            30'000));
        EXPECT_EQ(window.gpxService().tracks().size(), 1);
        EXPECT_EQ(QFileInfo::exists(dir.filePath(QStringLiteral("saved.rrl"))), saveGiven);
        window.exportAction().startExport();
        ASSERT_TRUE(waitFor([&] { return !window.exportAction().isCheckingSources(); }));
        EXPECT_EQ(window.alerts().errorBox()->text(), QStringLiteral("Cannot export: no video has been loaded."));
    }
}
