#include "tracks/logstore.h"

#include <gtest/gtest.h>

using namespace routereel;

TEST(LogStore, KeepsTheNewest500)
{
    LogStore log;
    int entrySignals = 0, unreadSignals = 0;
    QObject::connect(&log, &LogStore::entriesChanged, [&] { ++entrySignals; });
    QObject::connect(&log, &LogStore::unreadCountChanged, [&] { ++unreadSignals; });

    const QDateTime before = QDateTime::currentDateTimeUtc();
    for (int i = 0; i < 501; ++i)
        log.add(i % 3 == 0 ? LogEntry::Level::error : LogEntry::Level::info, QString::number(i), QStringLiteral("d%1").arg(i));
    ASSERT_EQ(log.entries().size(), 500);
    EXPECT_EQ(log.entries().first().title, QStringLiteral("500"));
    EXPECT_EQ(log.entries().first().detail, QStringLiteral("d500"));
    EXPECT_EQ(log.entries().last().title, QStringLiteral("1"));
    EXPECT_EQ(log.entries().first().level, LogEntry::Level::info);
    EXPECT_EQ(log.entries()[2].level, LogEntry::Level::error); // entry 498
    EXPECT_GE(log.entries().first().date, before);
    EXPECT_LE(log.entries().first().date, QDateTime::currentDateTimeUtc());
    EXPECT_NE(log.entries()[0].id, log.entries()[1].id);
    EXPECT_EQ(log.unreadCount(), 500);
    EXPECT_EQ(entrySignals, 501);
    EXPECT_EQ(unreadSignals, 500); // the count stopped changing at 500

    for (int i = 0; i < 99; ++i)
        log.add(LogEntry::Level::warning, QStringLiteral("more"));
    EXPECT_EQ(log.unreadCount(), 500);
    EXPECT_EQ(log.entries().size(), 500);
}

TEST(LogStore, UnreadCountGoesOnFromWhatTheCallerSet)
{
    LogStore log;
    log.add(LogEntry::Level::warning, QStringLiteral("a"));
    log.setUnreadCount(0);
    log.add(LogEntry::Level::info, QStringLiteral("b"));
    EXPECT_EQ(log.unreadCount(), 1);
    log.setEntries({});
    EXPECT_EQ(log.unreadCount(), 1); // emptying the list leaves the count alone
}
