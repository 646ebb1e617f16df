#pragma once

#include "cacheentry.h"
#include "cachescan.h"

#include <QDialog>
#include <QList>
#include <QSet>

class QLabel;
class QPushButton;
class QStackedWidget;
class QVBoxLayout;

namespace routereel {

class ExportQueue;
class LogStore;
class TileCache;
class WindowState;

// The sheet that measures the map tile cache and the export temporary folders
// and clears them, one or all; locked while exports run or wait. Scanning and
// clearing happen on pool threads.
class CacheSheet : public QDialog {
    Q_OBJECT

public:
    static constexpr QSize fixedSize{560, 300};
    static constexpr int nameGraphemes = 22;

    CacheSheet(ExportQueue &queue, TileCache &tiles, LogStore &log, WindowState &state, QWidget *parent = nullptr);


    // "Map Tile Cache", or "Export Temp (" + the first 22 characters of the item's name + "...)".
    static QString displayName(const CacheEntry &entry);

    // An export runs or waits: nothing may be cleared.
    bool isExportActive() const;
    bool isScanning() const { return m_isScanning; }
    bool isClearing() const { return !m_clearingIds.isEmpty(); }
    const QList<CacheEntry> &items() const { return m_items; }

    void clearEntry(const QUuid &id);
    void clearAll();

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    struct Outcome {
        QUuid id;
        std::optional<CacheClearFailure> failure;
    };

    void scan();
    void runClear(const QList<CacheEntry> &entries);
    void finishClear(const QList<CacheEntry> &entries, const QList<Outcome> &outcomes);
    void refresh();
    void retranslate();
    QWidget *makeRow(const CacheEntry &entry);
    QString sizeText(qint64 bytes) const;

    ExportQueue &m_queue;
    TileCache &m_tiles;
    LogStore &m_log;
    WindowState &m_state;
    QList<CacheEntry> m_items;
    bool m_isScanning = true;
    bool m_scanStarted = false;
    QSet<QUuid> m_clearingIds;

    QLabel *m_titleIcon = nullptr;
    QLabel *m_title = nullptr;
    QLabel *m_total = nullptr;
    QStackedWidget *m_body = nullptr;
    QLabel *m_scanningText = nullptr;
    QLabel *m_emptyIcon = nullptr;
    QLabel *m_emptyText = nullptr;
    QWidget *m_listArea = nullptr;
    QWidget *m_list = nullptr;
    QVBoxLayout *m_listLayout = nullptr;
    QPushButton *m_clearAll = nullptr;
    QLabel *m_lockText = nullptr;
    QPushButton *m_close = nullptr;
};

} // namespace routereel
