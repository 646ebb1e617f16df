#pragma once

#include "logentry.h"

#include <QList>
#include <QObject>

namespace routereel {

// The in-app log of one window: short entries, newest first, bounded, with the number added
// since the user last looked. Main thread only; nothing is written to disk.
class LogStore : public QObject {
    Q_OBJECT
    Q_PROPERTY(QList<LogEntry> entries READ entries WRITE setEntries NOTIFY entriesChanged)
    Q_PROPERTY(int unreadCount READ unreadCount WRITE setUnreadCount NOTIFY unreadCountChanged)

public:
    static constexpr int maximumEntries = 500;

    explicit LogStore(QObject *parent = nullptr);

    void add(LogEntry::Level level, const QString &title, const QString &detail = {});

    const QList<LogEntry> &entries() const { return entryList; }
    // Users may empty the list or set the count back; no rule applies to these assignments.
    void setEntries(const QList<LogEntry> &entries);
    int unreadCount() const { return unread; }
    void setUnreadCount(int count);

signals:
    void entriesChanged();
    void unreadCountChanged();

private:
    QList<LogEntry> entryList;
    int unread = 0;
};

} // namespace routereel
