#include "panelstest.h"

#include "ui/panels/elidedlabel.h"
#include "ui/panels/logsheet.h"
#include "ui/panels/panelstyle.h"
#include "ui/main/windowsheets.h"

#include <QLabel>
#include <QPushButton>
#include <QKeyEvent>
#include <QLayout>
#include <QTextEdit>

using namespace routereel;
using namespace panelstest;

namespace {

// The rows in the order the list shows them.
QList<QWidget *> rows(const LogSheet &sheet)
{
    QList<QWidget *> result;
    const QList<QWidget *> any = shown(&sheet, QStringLiteral("logRow"));
    if (any.isEmpty())
        return result;
    const QLayout *list = any.first()->parentWidget()->layout();
    for (int i = 0; i < list->count(); ++i)
        if (QWidget *row = list->itemAt(i)->widget())
            result << row;
    return result;
}

} // namespace


TEST(LogSheet, EmptyLogOpenedFromTheWindowState)
{
    LogStore store;
    WindowState state;
    QWidget window;
    window.show();
    store.add(LogEntry::Level::error, QStringLiteral("Seen elsewhere"));
    store.setEntries({});
    ASSERT_EQ(store.unreadCount(), 1);

    WindowSheets sheets(state, &window);
    sheets.setFactory(WindowSheets::Sheet::log, [&](QWidget *parent) { return new LogSheet(store, state, parent); });
    state.setShowLogSheet(true);
    auto *sheet = window.findChild<LogSheet *>();
    ASSERT_TRUE(sheet && sheet->isVisible());
    EXPECT_EQ(sheet->size(), QSize(560, 420));
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    EXPECT_EQ(store.unreadCount(), 0);
    EXPECT_TRUE(showsText(*sheet, QStringLiteral("No log entries")));
    EXPECT_TRUE(showsText(*sheet, QStringLiteral("0 entries")));
    EXPECT_FALSE(button(*sheet, QStringLiteral("Clear"))->isEnabled());

    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(sheet, &enter);
    EXPECT_FALSE(state.showLogSheet());
    EXPECT_FALSE(sheet->isVisible());
}

TEST(LogSheet, RowsNewestFirstWithDetailOnlyWhenItSaysMore)
{
    LogStore store;
    WindowState state;
    const QString longTitle = QStringLiteral("Export Failed because the output folder is not writable ").repeated(4);
    QStringList detail;
    for (int i = 0; i < 40; ++i)
        detail << QStringLiteral("[libx264] line %1 of the encoder diagnostics").arg(i);
    store.add(LogEntry::Level::info, QStringLiteral("Import GPX"), QStringLiteral("Import GPX"));
    store.add(LogEntry::Level::warning, QStringLiteral("Tile fetch slow"));
    store.add(LogEntry::Level::error, longTitle, detail.join(QLatin1Char('\n')));

    LogSheet sheet(store, state);
    sheet.show();
    QApplication::processEvents();
    const QList<QWidget *> before = rows(sheet);
    ASSERT_EQ(before.size(), 3);
    EXPECT_TRUE(showsText(sheet, QStringLiteral("3 entries")));
    const auto title = [](QWidget *row) { return row->findChild<ElidedLabel *>(QStringLiteral("title")); };
    EXPECT_EQ(title(before.at(1))->text(), QStringLiteral("Tile fetch slow"));
    EXPECT_EQ(title(before.at(2))->text(), QStringLiteral("Import GPX"));
    const QStringList drawn = title(before.at(0))->visibleLines();
    ASSERT_EQ(drawn.size(), 2);
    EXPECT_TRUE(drawn.last().endsWith(QStringLiteral("…")));

    EXPECT_FALSE(before.at(1)->findChild<QTextEdit *>());
    EXPECT_FALSE(before.at(2)->findChild<QTextEdit *>());
    const QTextEdit *text = before.at(0)->findChild<QTextEdit *>();
    ASSERT_TRUE(text);
    EXPECT_EQ(text->toPlainText(), detail.join(QLatin1Char('\n')));
    EXPECT_TRUE(text->textInteractionFlags().testFlag(Qt::TextSelectableByMouse));
    EXPECT_LE(text->parentWidget()->height(), LogSheet::detailMaxHeight);
    EXPECT_GT(text->parentWidget()->height(), 150);
    // The list and each detail take the focus: each has a name.
    EXPECT_EQ(unnamedTabStops(sheet), "");

    // Level dots: red error, orange warning, green info.
    const auto dot = [](QWidget *row) {
        return row->findChild<QLabel *>(QStringLiteral("levelDot"))->pixmap().toImage().pixelColor(4, 4);
    };
    EXPECT_TRUE(dot(before.at(0)).red() > 180 && dot(before.at(0)).green() < 90);
    EXPECT_TRUE(dot(before.at(1)).red() > 200 && dot(before.at(1)).green() > 100 && dot(before.at(1)).blue() < 60);
    EXPECT_TRUE(dot(before.at(2)).green() > dot(before.at(2)).red() + 60);
    // A new entry goes on top; the rows below stay the same widgets; it is unread until shown again.
    store.add(LogEntry::Level::info, QStringLiteral("Export Queued"));
    EXPECT_EQ(store.unreadCount(), 1);
    const QList<QWidget *> after = rows(sheet);
    ASSERT_EQ(after.size(), 4);
    EXPECT_EQ(title(after.at(0))->text(), QStringLiteral("Export Queued"));
    EXPECT_EQ(after.mid(1), before);
    saveShot(sheet, QStringLiteral("logsheet-en"));
    {
        Chinese chinese(state);
        saveShot(sheet, QStringLiteral("logsheet-zh"));
    }

    (button(sheet, QStringLiteral("Clear")))->click();
    EXPECT_TRUE(store.entries().isEmpty());
    EXPECT_EQ(store.unreadCount(), 0);
    EXPECT_TRUE(sheet.isVisible());
    EXPECT_TRUE(showsText(sheet, QStringLiteral("No log entries")));
}

TEST(LogSheet, TimeOfDayInTheInterfaceLanguage)
{
    const QDateTime date(QDate(2024, 5, 6), QTime(15, 4, 5));
    EXPECT_EQ(LogSheet::timeText(date, panelstyle::interfaceLocale(QStringLiteral("en"))), QStringLiteral("3:04:05 PM"));
    EXPECT_EQ(LogSheet::timeText(date, panelstyle::interfaceLocale(QStringLiteral("zh-Hans"))),
              QStringLiteral("15:04:05"));
}
