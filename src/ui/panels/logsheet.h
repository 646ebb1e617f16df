#pragma once

#include "tracks/logentry.h"

#include <QDialog>
#include <QHash>
#include <QUuid>

class QLabel;
class QPushButton;
class QStackedWidget;
class QVBoxLayout;

namespace routereel {

class LogStore;
class WindowState;

// The window's log as a sheet: newest entry first, each with a level dot,
// its time in the interface language, its title and, when it says more,
// its detail. Showing it marks the log read.
class LogSheet : public QDialog {
    Q_OBJECT

public:
    static constexpr QSize fixedSize{560, 420};
    static constexpr int detailMaxHeight = 200;

    LogSheet(LogStore &store, WindowState &state, QWidget *parent = nullptr);


    // The entry's time of day with seconds, as `locale` writes it (no date).
    static QString timeText(const QDateTime &date, const QLocale &locale);
    // The detail is shown only when it is not empty and not the title again.
    static bool showsDetail(const LogEntry &entry);

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void refresh();
    void retranslate();
    QWidget *makeRow(const LogEntry &entry);

    LogStore &m_store;
    WindowState &m_state;
    QLabel *m_titleIcon = nullptr;
    QLabel *m_title = nullptr;
    QPushButton *m_clear = nullptr;
    QStackedWidget *m_body = nullptr;
    QLabel *m_emptyIcon = nullptr;
    QLabel *m_emptyText = nullptr;
    QWidget *m_listArea = nullptr;
    QWidget *m_list = nullptr;
    QVBoxLayout *m_listLayout = nullptr;
    QLabel *m_count = nullptr;
    QPushButton *m_close = nullptr;
    // Rows by entry id, so that a new entry on top leaves the older rows as they are.
    QHash<QUuid, QWidget *> m_rows;
};

} // namespace routereel
