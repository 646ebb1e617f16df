// The queue bar and its history popover over a real export queue.
#include "panelstest.h"

#include "ui/main/windowappearance.h"
#include "ui/panels/capsulelabel.h"
#include "ui/panels/elidedlabel.h"
#include "ui/panels/exporthistorypopover.h"
#include "ui/panels/exportqueuebar.h"
#include "ui/panels/panelstyle.h"
#include "ui/panels/progressring.h"

#include <QAccessible>
#include <QDesktopServices>
#include <QRegularExpression>
#include <QLabel>

#include <QToolButton>
#include <QVBoxLayout>

using namespace routereel;
using namespace panelstest;
using exporttest::waitFor;

namespace {

ExportTaskRuntime runtime(double progress, double seconds, ExportTaskStatus status = ExportTaskStatus::running())
{
    ExportTaskRuntime task;
    task.status = status;
    task.progress = progress;
    task.startedAt = QDateTime::fromSecsSinceEpoch(1'700'000'000);
    if (status != ExportTaskStatus::running())
        task.finishedAt = task.startedAt->addMSecs(qint64(seconds * 1000));
    return task;
}

QDateTime after(double seconds)
{
    return QDateTime::fromSecsSinceEpoch(1'700'000'000).addMSecs(qint64(seconds * 1000));
}

QStringList sections(const ExportHistoryPopover &popover)
{
    QStringList titles;
    for (const QLabel *label : shown<QLabel>(&popover, QStringLiteral("sectionTitle")))
        titles << label->text();
    return titles;
}

QStringList rowLines(const ExportHistoryPopover &popover)
{
    QStringList lines;
    for (const QWidget *row : shown(&popover, QStringLiteral("taskRow")))
        lines << row->findChild<ElidedLabel *>(QStringLiteral("title"))->text() + QLatin1Char('|')
                + row->findChild<QLabel *>(QStringLiteral("status"))->text()
                + (row->findChild<QToolButton *>(QStringLiteral("action"))
                       ? QLatin1Char('|') + row->findChild<QToolButton *>(QStringLiteral("action"))->toolTip()
                       : QString());
    return lines;
}

void pressAction(const ExportHistoryPopover &popover, int row)
{
    shown(&popover, QStringLiteral("taskRow")).at(row)->findChild<QToolButton *>(QStringLiteral("action"))->click();
}

// The first visible element under `node` named `name`, searched as a screen reader walks the tree.
QAccessibleInterface *named(QAccessibleInterface *node, const QString &name)
{
    if (!node || node->state().invisible)
        return nullptr;
    if (node->text(QAccessible::Name) == name)
        return node;
    for (int i = 0; i < node->childCount(); ++i)
        if (QAccessibleInterface *found = named(node->child(i), name))
            return found;
    return nullptr;
}

// Whether each element up from `node` is found among its parent's children, up to the application.
bool linkedToTheApplication(QAccessibleInterface *node)
{
    for (; node && node->object() != qApp; node = node->parent())
        if (!node->parent() || node->parent()->indexOfChild(node) < 0)
            return false;
    return node != nullptr;
}

} // namespace

TEST(ExportQueueBar, TextsOfTheRunningTask)
{
    const QString accent = QStringLiteral("e\u0301");  // two code points, one character
    const ExportTaskStatus failed = ExportTaskStatus::failed(accent.repeated(100));
    const struct {
        ExportTaskRuntime task;
        double now;
        QString percent, detail, status;
    } cases[] = {
        {runtime(0, 0), 0, "0%", "Run 0:00", "0% · 0:00"},
        {runtime(0.42, 65), 65, "42%", "Run 1:05 · ETA 1:29", "42% · 1:05"},
        {runtime(0.5, 60), 60, "50%", "Run 1:00 · ETA 1:00", "50% · 1:00"},
        {runtime(0.05, 60), 60, "5%", "Run 1:00", "5% · 1:00"},
        {runtime(0.0501, 60), 60, "5%", "Run 1:00 · ETA 18:57", "5% · 1:00"},
        {runtime(1, 60), 60, "100%", "Run 1:00 · ETA 0:00", "100% · 1:00"},
        {runtime(0.999, 3725), 3725, "99%", "Run 1:02:05 · ETA 0:03", "99% · 1:02:05"},
        {runtime(0.5, 0), -30, "50%", "Run 0:00 · ETA 0:00", "50% · 0:00"},  // clock set back
        {runtime(1, 3725, ExportTaskStatus::completed()), 9000, "100%", "", "completed · 1:02:05"},
        {runtime(0, 0, ExportTaskStatus::pending()), 60, "0%", "", "queued"},
        {runtime(0, 5, ExportTaskStatus::cancelled()), 60, "0%", "", "cancelled"},
        {runtime(0, 5, failed), 60, "0%", "", "failed · " + accent.repeated(60)},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(ExportQueueBar::percentText(c.task.progress), c.percent);
        if (!c.detail.isEmpty()) {
            EXPECT_EQ(ExportQueueBar::detailText(c.task, after(c.now)), c.detail) << c.detail.toStdString();
        }
        EXPECT_EQ(ExportHistoryPopover::statusLine(c.task, after(c.now)), c.status) << c.status.toStdString();
    }
}

TEST(ExportQueueBar, FollowsTheQueueAndCancelsThroughTheExporter)
{
    QueueFixture f;
    ExportQueueBar bar(f.queue, f.state);
    bar.show();
    const auto visibleTexts = [&] {
        QStringList texts;
        for (const QLabel *l : bar.findChildren<QLabel *>())
            if (l->isVisible())
                texts << l->text();
        return texts;
    };
    EXPECT_EQ(bar.height(), 46);
    EXPECT_EQ(visibleTexts(), QStringList{"No active exports"});
    EXPECT_FALSE(bar.findChild<ProgressRing *>()->arcFraction());

    const ExportTask running = f.task(QStringLiteral("a.mp4"), true);
    f.queue.enqueue(running);
    for (const char *name : {"b.mp4", "c.mp4", "d.mp4"})
        f.queue.enqueue(f.task(QString::fromLatin1(name), true));
    EXPECT_EQ(visibleTexts(), (QStringList{"0%", "Run 0:00", "+3"}));
    EXPECT_EQ(bar.findChild<ProgressRing *>()->arcFraction(), 0.001);

    // The cancel button stops the export; the queue, not the bar, moves it to the history.
    QToolButton *cancel = nullptr;
    for (QToolButton *b : bar.findChildren<QToolButton *>())
        if (b->accessibleName() == QLatin1String("Cancel current export"))
            cancel = b;
    ASSERT_TRUE(cancel && cancel->isVisible());
    cancel->click();
    EXPECT_EQ(f.queue.current()->task.id, running.id);
    ASSERT_TRUE(waitFor([&] { return !f.queue.history().isEmpty(); }, 30'000));
    EXPECT_EQ(f.queue.history().first().status, ExportTaskStatus::cancelled());
    EXPECT_TRUE(visibleTexts().contains(QStringLiteral("+2")));
}

TEST(ExportQueueBar, WaitingBadgeIsACapsuleInAnyFontAndPalette)
{
    QueueFixture f;
    ExportQueueBar bar(f.queue, f.state);
    bar.show();
    for (const char *name : {"a.mp4", "b.mp4"})
        f.queue.enqueue(f.task(QString::fromLatin1(name), true));
    auto *badge = bar.findChild<CapsuleLabel *>();
    ASSERT_TRUE(badge && badge->isVisible());
    for (const bool dark : {false, true}) {
        QApplication::setPalette(windowPalette(dark));
        for (const int pixels : {10, 20}) {
            SCOPED_TRACE((dark ? "dark " : "light ") + std::to_string(pixels));
            badge->setFont(panelstyle::font(pixels, QFont::DemiBold, true));
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
            const QImage shot = badge->grab().toImage();
            const QRgb fill = panelstyle::color(panelstyle::Tone::accent, badge->palette()).rgb();
            const QRgb window = badge->palette().color(QPalette::Window).rgb();
            const int radius = badge->height() / 2;
            const auto at = [&](int x, int y) { return shot.pixel(QPoint(x, y) * shot.devicePixelRatio()); };
            const auto difference = [](QRgb a, QRgb b) {
                return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
            };
            // Left clear beyond the capsule's end, where a square or a less rounded corner is filled.
            EXPECT_LE(difference(at(radius / 5, radius / 5), window), 16);
            EXPECT_EQ(at(1, radius), fill);  // the padding before the text, mid-height
        }
    }
    QApplication::setPalette(windowPalette(false));
}

// In Chinese the line is wider than the bar leaves it beside the "+1" badge: the time run gives way,
// the time remaining stays whole.
TEST(ExportQueueBar, TheTimeRemainingStaysWholeBesideTheBadgeInChinese)
{
    QueueFixture f;
    testsupport::FakeFfmpegSpec spec;
    // A third of the minute, told again and again: the exporter says 5 % once its frames are set up.
    spec.runBody = QStringLiteral("while :; do echo out_time_us=20000000; sleep 0.1; done");
    exporttest::useFakeFfmpeg(*f.queue.exporter(), QDir(f.dir.path()).filePath(QStringLiteral("ffmpeg")), spec);
    f.queue.enqueue(exporttest::overlayTask(QDir(f.dir.path()).filePath(QStringLiteral("ride.mp4")), 60));
    f.queue.enqueue(f.task(QStringLiteral("next.mp4")));
    ExportQueueBar bar(f.queue, f.state);
    bar.resize(230, ExportQueueBar::barHeight);
    bar.show();
    Chinese chinese(f.state);
    auto *detail = bar.findChild<ElidedLabel *>();
    ASSERT_TRUE(waitFor([&] { return detail->isVisible() && detail->text().contains(QStringLiteral("剩余")); },
                        30'000));
    // The new text's layout is posted: judge the line as laid out.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    saveShot(bar, QStringLiteral("queuebar-badge-zh"));
    const QString whole = detail->text();
    const QString remaining = whole.mid(whole.lastIndexOf(QStringLiteral(" · ")));
    ASSERT_TRUE(detail->isElided()) << "the line fits: nothing to show";
    EXPECT_TRUE(detail->visibleLines().value(0).endsWith(remaining)) << detail->visibleLines().value(0).toStdString();
    EXPECT_TRUE(detail->visibleLines().value(0).startsWith(QStringLiteral("已")));
}

TEST(ExportHistoryPopover, SectionsRowsAndActions)
{
    QueueFixture f;
    ExportQueueBar bar(f.queue, f.state);
    bar.show();
    QToolButton *historyButton = nullptr;
    for (QToolButton *b : bar.findChildren<QToolButton *>())
        if (b->toolTip() == QLatin1String("Export tasks"))
            historyButton = b;
    ASSERT_TRUE(historyButton);
    historyButton->click();
    ExportHistoryPopover *popover = bar.historyPopover();
    ASSERT_TRUE(popover && popover->isVisible());
    EXPECT_EQ(popover->size(), QSize(380, 360));
    EXPECT_TRUE(popover->windowFlags().testFlag(Qt::Popup));
    EXPECT_TRUE(sections(*popover).isEmpty());
    const auto emptyShown = [&] {
        for (const QLabel *l : popover->findChildren<QLabel *>())
            if (l->text() == QLatin1String("No export tasks yet"))
                return l->isVisible();
        return false;
    };
    EXPECT_TRUE(emptyShown());

    // A failed and a completed task, then one running and two waiting.
    f.queue.enqueue(f.failing(QStringLiteral("broken.mp4")));
    ASSERT_TRUE(waitFor([&] { return f.queue.history().size() == 1; }));
    const ExportTask done = f.task(QStringLiteral("done.mp4"));
    f.queue.enqueue(done);
    ASSERT_TRUE(waitFor([&] { return f.queue.history().size() == 2; }));
    const ExportTask a = f.task(QStringLiteral("a-very-long-output-name-of-a-ride-along-the-lake.mp4"), true);
    f.queue.enqueue(a);
    f.queue.enqueue(f.task(QStringLiteral("b.mp4"), true));
    f.queue.enqueue(f.task(QStringLiteral("c.mp4"), true));
    QApplication::processEvents();
    EXPECT_FALSE(emptyShown());
    EXPECT_EQ(sections(*popover), (QStringList{"RUNNING", "QUEUED (2)", "HISTORY"}));
    const QStringList lines = rowLines(*popover);
    ASSERT_EQ(lines.size(), 5);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^a-very.*\\|\\d+% · \\d+:\\d\\d\\|Cancel$")).match(lines.at(0)).hasMatch())
        << lines.at(0).toStdString();
    EXPECT_EQ(lines.mid(1, 2), (QStringList{"b.mp4|queued|Remove from queue", "c.mp4|queued|Remove from queue"}));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^done\\.mp4\\|completed · \\d+:\\d\\d\\|Show in Folder$"))
                    .match(lines.at(3))
                    .hasMatch())
        << lines.at(3).toStdString();
    EXPECT_EQ(lines.at(4), QStringLiteral("broken.mp4|failed · Failed to render overlay frames"));
    const QStringList drawn = shown<ElidedLabel>(popover, QStringLiteral("title")).first()->visibleLines();
    ASSERT_EQ(drawn.size(), 1);
    EXPECT_TRUE(drawn.first().contains(QStringLiteral("…")) && drawn.first().endsWith(QLatin1String(".mp4")));

    // Removing the second waiting task: it heads the history as cancelled, and the log says so.
    pressAction(*popover, 2);
    EXPECT_EQ(sections(*popover), (QStringList{"RUNNING", "QUEUED (1)", "HISTORY"}));
    EXPECT_EQ(rowLines(*popover).at(2), QStringLiteral("c.mp4|cancelled"));
    EXPECT_EQ(f.log.entries().first().title, QStringLiteral("Export Cancelled"));
    EXPECT_EQ(f.log.entries().first().detail, QStringLiteral("Removed from queue: c.mp4"));

    // The folder button opens the folder holding the file, never the file.
    UrlCatcher opened;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &opened, "open");
    pressAction(*popover, 3);
    ASSERT_TRUE(waitFor([&] { return !opened.urls.isEmpty(); }, 15'000));
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    EXPECT_EQ(opened.urls, QList<QUrl>{QUrl::fromLocalFile(f.dir.path())});

    // Clear History keeps the running and waiting tasks; stop ends the running one.
    (popover->findChild<QPushButton *>())->click();
    EXPECT_EQ(sections(*popover), (QStringList{"RUNNING", "QUEUED (1)"}));
    pressAction(*popover, 0);
    ASSERT_TRUE(waitFor([&] { return f.queue.history().size() == 1; }, 30'000));
    EXPECT_EQ(f.queue.history().first().task.id, a.id);
    EXPECT_EQ(sections(*popover), (QStringList{"RUNNING", "HISTORY"}));

    // Dismissed, the popup is gone and the button opens a new one.
    popover->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(bar.historyPopover());
    historyButton->click();
    EXPECT_TRUE(bar.historyPopover());
}

TEST(ExportHistoryPopover, RowsAndTheirActionsReachAssistiveTools)
{
    QueueFixture f;
    QWidget window;
    auto *bar = new ExportQueueBar(f.queue, f.state);
    (new QVBoxLayout(&window))->addWidget(bar);
    window.show();
    for (const char *name : {"a.mp4", "b.mp4", "c.mp4"})
        f.queue.enqueue(f.task(QString::fromLatin1(name), true));
    QAccessibleInterface *app = QAccessible::queryAccessibleInterface(qApp);
    QAccessibleInterface *historyButton = named(app, QStringLiteral("Export tasks"));
    ASSERT_TRUE(historyButton && historyButton->actionInterface());
    historyButton->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    ASSERT_TRUE(waitFor([&] { return named(app, QStringLiteral("b.mp4")) != nullptr; }, 30'000));

    QAccessibleInterface *row = named(app, QStringLiteral("b.mp4"));
    EXPECT_TRUE(linkedToTheApplication(row));
    EXPECT_EQ(row->text(QAccessible::Description), QStringLiteral("queued"));
    QAccessibleInterface *remove = named(row, QStringLiteral("Remove from queue"));
    ASSERT_TRUE(remove && remove->actionInterface());
    EXPECT_EQ(remove->role(), QAccessible::Button);
    ASSERT_TRUE(bar->historyPopover());
    EXPECT_EQ(unnamedTabStops(*bar->historyPopover()), "");
    remove->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    ASSERT_TRUE(waitFor([&] { return f.queue.pending().size() == 1; }));
    EXPECT_EQ(f.queue.pending().first().task.outputURL.fileName(), QStringLiteral("c.mp4"));
    EXPECT_EQ(f.queue.history().first().task.outputURL.fileName(), QStringLiteral("b.mp4"));
}

TEST(ExportQueueBar, ScreenshotsDuringARealExport)
{
    QueueFixture f;
    f.queue.exporter()->setFFmpegSearch(FFmpegSearch::standard());
    f.queue.enqueue(f.failing(QStringLiteral("2024-05-06-101500.mp4")));
    f.queue.enqueue(f.task(QStringLiteral("morning-ride.mp4")));
    ASSERT_TRUE(waitFor([&] { return !f.queue.isBusy(); }));
    ASSERT_EQ(f.queue.history().first().status, ExportTaskStatus::completed());
    f.queue.enqueue(exporttest::overlayTask(QDir(f.dir.path()).filePath(QStringLiteral("lake-ride.mp4")), 300));
    f.queue.enqueue(f.task(QStringLiteral("2024-05-06-113000.mp4")));
    f.queue.enqueue(f.task(QStringLiteral("mountain-pass-with-a-rather-long-name.mp4")));
    const ExportTask dropped = f.task(QStringLiteral("dropped.mp4"));
    f.queue.enqueue(dropped);
    f.queue.cancel(dropped.id);
    // Past the estimate's 5 % and a second into the run.
    ASSERT_TRUE(waitFor([&] {
        const auto &run = f.queue.current();
        return run && run->progress > 0.06 && run->startedAt->secsTo(f.queue.tick()) >= 1;
    }, 120'000));

    ExportQueueBar bar(f.queue, f.state);
    bar.resize(230, ExportQueueBar::barHeight);
    bar.show();
    bar.setHistoryShown(true);
    const QStringList texts{bar.findChildren<QLabel *>().at(0)->text(), bar.findChildren<QLabel *>().at(1)->text()};
    EXPECT_EQ(texts.at(0), ExportQueueBar::percentText(f.queue.current()->progress));
    EXPECT_TRUE(texts.at(1).contains(QStringLiteral(" · ETA "))) << texts.at(1).toStdString();
    saveShot(bar, QStringLiteral("queuebar-en"));
    saveShot(*bar.historyPopover(), QStringLiteral("historypopover-en"));
    {
        Chinese chinese(f.state);
        saveShot(bar, QStringLiteral("queuebar-zh"));
        saveShot(*bar.historyPopover(), QStringLiteral("historypopover-zh"));
    }
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(40, 40, 42));
    dark.setColor(QPalette::WindowText, QColor(235, 235, 240));
    bar.setPalette(dark);
    saveShot(bar, QStringLiteral("queuebar-dark"));
}
