// The quit waits, in the window, for what the user asked before it, however slow
// the disk, while it moves; what stands still is given up and shown. Runs on the
// slow disk (OnASlowDisk.QuitWait), elsewhere it skips.
#include "applicationshell.h"
#include "quitwait.h"

#include "export/exporttestutil.h"
#include "project/projectfakes.h"
#include "project/projectsession.h"
#include "support/slowdisk.h"
#include "support/testartifacts.h"
#include "tracks/logstore.h"
#include "ui/main/fileimport.h"
#include "ui/main/interfacelanguage.h"
#include "ui/main/mainwindow.h"

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <iostream>

using namespace routereel;
using exporttest::waitFor;
using projecttest::baseDocument;
using projecttest::readAll;
using projecttest::writeFile;
using projecttest::writeGPX;

namespace {

class SaveWindow : public MainWindow {
public:
    SaveWindow() : MainWindow({.makePlayer = {}, .network = QNetworkInformation::Reachability::Online}) {}
    QUrl answer;
    std::optional<QUrl> chooseSaveLocation(const QString &, const QString &) override { return answer; }
};

QDialog *quitWaitOf(QWidget &window) { return window.findChild<QDialog *>("quitWait"); }
QString textOf(QDialog *dialog) { return dialog->findChild<QLabel *>("quitWaitText")->text(); }

qsizetype tracksOfSaved(const QUrl &file)
{
    const auto d = ProjectDocument::decode(readAll(file.toLocalFile()));
    return d ? d->gpxFiles.size() : -1;
}

bool loggedNotCarriedOut(MainWindow &w)
{
    return std::any_of(w.logStore().entries().begin(), w.logStore().entries().end(),
                       [](const LogEntry &e) { return e.title == "Commands not carried out"; });
}

} // namespace

TEST(QuitWait, ASaveBehindASlowImportIsCarriedOutOrWhatStandsStillIsShown)
{
    if (!testsupport::slowdisk::active())
        GTEST_SKIP() << "runs on the slow disk";
    QTemporaryDir slow(testsupport::slowdisk::prefix() + "XXXXXX");
    QTemporaryDir home;
    struct Case {
        const char *what;
        const char *language;
        bool standsStill;  // the track's folder stops answering: its stat never returns in time
    };
    for (const Case c : {Case{"a slow import", "en", false}, Case{"an import that stands still", "zh-Hans", true}}) {
        SCOPED_TRACE(c.what);
        // About 1.9 MB: read in pieces, one every 100 ms, about 12 s in all.
        const QString track = writeGPX(slow.path(), QString("long-%1.gpx").arg(c.standsStill),
                                       c.standsStill ? 20 : 17'500);
        SaveWindow w;
        ApplicationShell shell(w);
        w.show();
        ASSERT_TRUE(waitFor([&] { return w.session().didAttemptAutoRestore() && w.session().isSettled(); }, 30'000));
        InterfaceLanguage::install(c.language);
        std::optional<testsupport::faultydisk::StatHold> hold;
        if (c.standsStill)
            hold.emplace(slow.path(), 12'000);

        w.answer = QUrl::fromLocalFile(home.filePath(QString("ride-%1.rrl").arg(c.standsStill)));
        const long readsBefore = testsupport::slowdisk::slowedReads();
        QElapsedTimer quitting;
        w.fileImport().importTracks(QUrl::fromLocalFile(track));
        w.session().handleSaveProject();  // waits for the import
        quitting.start();
        EXPECT_FALSE(w.close()) << "the window went before the Save was carried out";
        ASSERT_TRUE(waitFor([&] { return quitWaitOf(w) && quitWaitOf(w)->isVisible(); }, 10'000));
        QDialog *wait = quitWaitOf(w);
        EXPECT_TRUE(textOf(wait).contains(QFileInfo(track).fileName())) << textOf(wait).toStdString();
        EXPECT_TRUE(textOf(wait).contains(c.standsStill ? "保存项目" : "Save Project")) << textOf(wait).toStdString();
        EXPECT_TRUE(wait->findChild<QPushButton *>("quitNow")->isEnabled());
        saveTestArtifact(wait->grab().toImage(), QString("quit-wait-%1").arg(c.language));

        if (!c.standsStill) {
            // Still moving after the five seconds that a standing read is given: waited for.
            ASSERT_TRUE(waitFor([&] { return !w.isVisible(); }, 120'000)) << textOf(wait).toStdString();
            std::cout << "[ quit wait ] the quit waited " << quitting.elapsed() << " ms for an import of "
                      << testsupport::slowdisk::slowedReads() - readsBefore << " slow reads\n";
            // More pieces than five seconds' worth: the import moved longer than a standing read is given.
            EXPECT_GT(testsupport::slowdisk::slowedReads() - readsBefore, 60);
            EXPECT_EQ(tracksOfSaved(w.answer), 1) << "the Save was not carried out with the imported track";
            EXPECT_FALSE(loggedNotCarriedOut(w));
        } else {
            ASSERT_TRUE(waitFor([&] { return textOf(wait).contains("未执行"); }, 60'000));
            EXPECT_TRUE(w.isVisible()) << "the window went before the user read what was given up";
            EXPECT_TRUE(loggedNotCarriedOut(w));
            saveTestArtifact(wait->grab().toImage(), QString("quit-given-up-%1").arg(c.language));
            wait->findChild<QPushButton *>("quitNow")->click();
            ASSERT_TRUE(waitFor([&] { return !w.isVisible(); }, 10'000));
            EXPECT_FALSE(QFile::exists(w.answer.toLocalFile()));
        }
        InterfaceLanguage::install("en");
    }
}
