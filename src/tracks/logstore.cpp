#include "logstore.h"

namespace routereel {

LogStore::LogStore(QObject *parent) : QObject(parent) {}

void LogStore::add(LogEntry::Level level, const QString &title, const QString &detail)
{
    LogEntry entry;
    entry.date = QDateTime::currentDateTimeUtc();
    entry.level = level;
    entry.title = title;
    entry.detail = detail;

    entryList.prepend(entry);
    if (entryList.size() > maximumEntries)
        entryList.resize(maximumEntries);
    emit entriesChanged();

    if (unread < maximumEntries) {
        ++unread;
        emit unreadCountChanged();
    }
}

void LogStore::setEntries(const QList<LogEntry> &entries)
{
    entryList = entries;
    emit entriesChanged();
}

void LogStore::setUnreadCount(int count)
{
    unread = count;
    emit unreadCountChanged();
}

} // namespace routereel
