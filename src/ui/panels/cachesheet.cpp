#include "cachesheet.h"

#include "elidedlabel.h"
#include "graphemes.h"
#include "panelstyle.h"
#include "ui/icons/symbolicon.h"

#include "export/exportqueue.h"
#include "maps/tilecache.h"
#include "tracks/logstore.h"
#include "ui/state/windowstate.h"

#include <QDir>
#include <QEvent>
#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QStyle>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <QtConcurrent>

#include <memory>

namespace routereel {

using panelstyle::Tone;

CacheSheet::CacheSheet(ExportQueue &queue, TileCache &tiles, LogStore &log, WindowState &state, QWidget *parent)
    : QDialog(parent), m_queue(queue), m_tiles(tiles), m_log(log), m_state(state)
{
    setFixedSize(fixedSize);
    QVBoxLayout *column = nullptr;
    QHBoxLayout *header = panelstyle::sheetHeader(this, &column, &m_titleIcon, &m_title);
    m_total = new QLabel(this);
    m_total->setFont(panelstyle::font(11, QFont::Normal, true));
    panelstyle::setTone(m_total, Tone::secondary);
    header->addWidget(m_total);
    panelstyle::finishSheetHeader(this, column, header);

    m_body = new QStackedWidget(this);
    auto *busy = new QProgressBar;
    busy->setRange(0, 0);
    busy->setTextVisible(false);
    busy->setFixedWidth(120);
    busy->setObjectName(QStringLiteral("scanning"));
    m_scanningText = new QLabel;
    panelstyle::setTone(m_scanningText, Tone::secondary);
    m_body->addWidget(panelstyle::centredColumn(m_body, {busy, m_scanningText}));
    m_emptyIcon = new QLabel;
    m_emptyText = new QLabel;
    panelstyle::setTone(m_emptyText, Tone::secondary);
    m_body->addWidget(panelstyle::centredColumn(m_body, {m_emptyIcon, m_emptyText}));
    m_listArea = panelstyle::scrollingList(m_body, &m_list, &m_listLayout);
    m_body->addWidget(m_listArea);
    column->addWidget(m_body, 1);
    column->addWidget(panelstyle::divider(this));

    auto *footer = new QHBoxLayout;
    footer->setContentsMargins(12, 10, 12, 10);
    // The column has no spacing to pass on: the footer takes the style's own.
    footer->setSpacing(style()->pixelMetric(QStyle::PM_LayoutHorizontalSpacing));
    m_clearAll = new QPushButton(this);
    m_clearAll->setObjectName(QStringLiteral("clearAll"));
    m_clearAll->setAutoDefault(false);
    m_clearAll->setFont(panelstyle::font(11));
    connect(m_clearAll, &QPushButton::clicked, this, &CacheSheet::clearAll);
    footer->addWidget(m_clearAll);
    m_lockText = new QLabel(this);
    m_lockText->setFont(panelstyle::font(11));
    panelstyle::setTone(m_lockText, Tone::secondary);
    footer->addWidget(m_lockText);
    footer->addStretch(1);
    m_close = new QPushButton(this);
    m_close->setDefault(true);
    connect(m_close, &QPushButton::clicked, this, &QDialog::accept);
    footer->addWidget(m_close);
    column->addLayout(footer);

    connect(&m_queue, &ExportQueue::currentChanged, this, &CacheSheet::refresh);
    connect(&m_queue, &ExportQueue::pendingChanged, this, &CacheSheet::refresh);
    connect(&m_state, &WindowState::appLanguageChanged, this, &CacheSheet::retranslate);
    retranslate();
}

QString CacheSheet::displayName(const CacheEntry &entry)
{
    if (entry.kind == CacheEntry::Kind::tileCache)
        return tr("Map Tile Cache");
    // The dots follow the cut even when nothing was cut.
    return tr("Export Temp") + QStringLiteral(" (") + graphemePrefix(entry.itemName, nameGraphemes)
        + QStringLiteral("...)");
}

bool CacheSheet::isExportActive() const
{
    return m_queue.current().has_value() || !m_queue.pending().isEmpty();
}

void CacheSheet::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_scanStarted)
        scan();
}

void CacheSheet::scan()
{
    m_scanStarted = true;
    m_isScanning = true;
    refresh();
    const QString tiles = cachescan::tileRoot(m_tiles);
    const QString temp = QDir::tempPath();
    auto *watcher = new QFutureWatcher<QList<CacheEntry>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
        m_items = watcher->result();
        m_isScanning = false;
        watcher->deleteLater();
        refresh();
    });
    watcher->setFuture(QtConcurrent::run(QThreadPool::globalInstance(),
                                         [tiles, temp] { return cachescan::scan(tiles, temp); }));
}

void CacheSheet::clearEntry(const QUuid &id)
{
    if (isExportActive() || m_clearingIds.contains(id))
        return;
    for (const CacheEntry &entry : std::as_const(m_items)) {
        if (entry.id == id) {
            runClear({entry});
            return;
        }
    }
}

void CacheSheet::clearAll()
{
    if (isExportActive() || isClearing() || m_items.isEmpty())
        return;
    runClear(m_items);
}

void CacheSheet::runClear(const QList<CacheEntry> &entries)
{
    for (const CacheEntry &entry : entries)
        m_clearingIds.insert(entry.id);
    refresh();
    TileCache *tiles = &m_tiles;
    auto *watcher = new QFutureWatcher<QList<Outcome>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, entries] {
        finishClear(entries, watcher->result());
        watcher->deleteLater();
    });
    // In list order: the tile cache first, then the temporary items; a failure does not stop the rest.
    watcher->setFuture(QtConcurrent::run(QThreadPool::globalInstance(), [entries, tiles] {
        QList<Outcome> outcomes;
        for (const CacheEntry &entry : entries)
            outcomes << Outcome{entry.id, cachescan::clear(entry, *tiles)};
        return outcomes;
    }));
}

void CacheSheet::finishClear(const QList<CacheEntry> &entries, const QList<Outcome> &outcomes)
{
    for (qsizetype i = 0; i < outcomes.size(); ++i) {
        const Outcome &outcome = outcomes.at(i);
        m_clearingIds.remove(outcome.id);
        if (!outcome.failure) {
            m_items.removeIf([&](const CacheEntry &entry) { return entry.id == outcome.id; });
            continue;
        }
        // A failed removal keeps its row and says so: what stays on disk is not cleared.
        const CacheEntry &entry = entries.at(i);
        if (const auto &left = outcome.failure->left) {
            for (CacheEntry &item : m_items) {
                if (item.id == outcome.id) {
                    item.size = left->bytes;
                    item.fileCount = left->files;
                }
            }
        }
        QString detail = entry.path + QLatin1Char('\n') + cacheClearErrorMessage(outcome.failure->error);
        if (!outcome.failure->reason.isEmpty())
            detail += QLatin1Char('\n') + outcome.failure->reason;
        m_log.add(LogEntry::Level::error, QStringLiteral("Cache Not Cleared: ") + displayName(entry), detail);
    }
    refresh();
}

QString CacheSheet::sizeText(qint64 bytes) const
{
    return panelstyle::interfaceLocale(m_state.appLanguage()).formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}

QWidget *CacheSheet::makeRow(const CacheEntry &entry)
{
    auto *row = new QWidget(m_list);
    row->setObjectName(QStringLiteral("cacheRow"));
    row->setProperty("entryId", entry.id);
    auto *line = new QHBoxLayout(row);
    line->setContentsMargins(12, 4, 12, 4);
    line->setSpacing(12);

    auto *icon = new QLabel(row);
    const bool tiles = entry.kind == CacheEntry::Kind::tileCache;
    icon->setPixmap(symbolPixmap(tiles ? QStringLiteral("map") : QStringLiteral("film"),
                                       panelstyle::color(tiles ? Tone::blue : Tone::orange, palette()), 20));
    icon->setFixedWidth(24);
    line->addWidget(icon);

    auto *texts = new QVBoxLayout;
    texts->setSpacing(2);
    auto *name = new QLabel(displayName(entry), row);
    name->setObjectName(QStringLiteral("name"));
    name->setFont(panelstyle::font(13, QFont::Medium));
    texts->addWidget(name);
    auto *counts = new QLabel(tr("%n files  ·  %1", nullptr, int(std::min<qint64>(entry.fileCount, INT_MAX)))
                                  .arg(sizeText(entry.size)),
                              row);
    counts->setObjectName(QStringLiteral("counts"));
    counts->setFont(panelstyle::font(11));
    panelstyle::setTone(counts, Tone::secondary);
    texts->addWidget(counts);
    auto *path = new ElidedLabel(Qt::ElideMiddle, 1, row);
    path->setObjectName(QStringLiteral("path"));
    path->setText(QDir::toNativeSeparators(entry.path));
    path->setFont(panelstyle::font(10, QFont::Normal, true));
    panelstyle::setTone(path, Tone::tertiary);
    texts->addWidget(path);
    line->addLayout(texts, 1);

    if (m_clearingIds.contains(entry.id)) {
        auto *busy = new QProgressBar(row);
        busy->setObjectName(QStringLiteral("clearing"));
        busy->setRange(0, 0);
        busy->setTextVisible(false);
        busy->setFixedSize(50, 12);
        busy->setAccessibleName(name->text());
        line->addWidget(busy);
    } else {
        auto *clear = new QPushButton(tr("Clear"), row);
        clear->setObjectName(QStringLiteral("clearEntry"));
        clear->setAutoDefault(false);
        clear->setFont(panelstyle::font(11));
        const bool locked = isExportActive();
        clear->setEnabled(!locked);
        clear->setToolTip(locked ? tr("Cannot clear cache while exports are running or queued.") : QString());
        const QUuid id = entry.id;
        // Every row says "Clear": the name tells which entry it clears.
        clear->setAccessibleName(tr("Clear %1").arg(name->text()));
        connect(clear, &QPushButton::clicked, this, [this, id] { clearEntry(id); });
        line->addWidget(clear);
    }
    return row;
}

void CacheSheet::refresh()
{
    const bool locked = isExportActive();
    m_body->setCurrentIndex(m_isScanning ? 0 : m_items.isEmpty() ? 1 : 2);
    qint64 total = 0;
    for (const CacheEntry &entry : std::as_const(m_items))
        total += entry.size;
    m_total->setVisible(!m_isScanning && !m_items.isEmpty());
    m_total->setText(tr("Total: ") + sizeText(total));
    m_clearAll->setEnabled(!m_items.isEmpty() && m_clearingIds.isEmpty() && !locked);
    m_lockText->setVisible(locked);

    // Later: the button whose click led here may be among the rows.
    while (QLayoutItem *item = m_listLayout->takeAt(0)) {
        if (QWidget *widget = item->widget()) {
            widget->hide();
            widget->deleteLater();
        }
        delete item;
    }
    for (const CacheEntry &entry : std::as_const(m_items))
        m_listLayout->addWidget(makeRow(entry));
    m_listLayout->addStretch(1);
}

void CacheSheet::retranslate()
{
    setWindowTitle(tr("Cache Management"));
    m_title->setText(tr("Cache Management"));
    m_scanningText->setText(tr("Scanning cache..."));
    m_body->findChild<QProgressBar *>(QStringLiteral("scanning"))->setAccessibleName(m_scanningText->text());
    m_emptyText->setText(tr("No cache data found"));
    m_listArea->setAccessibleName(tr("Cached Items"));
    m_clearAll->setText(tr("Clear"));
    m_lockText->setText(tr("Exports running — cache locked"));
    m_close->setText(tr("Close"));
    m_titleIcon->setPixmap(
        symbolPixmap(QStringLiteral("internaldrive"), palette().color(QPalette::WindowText), 16));
    m_emptyIcon->setPixmap(
        symbolPixmap(QStringLiteral("checkmark.circle"), panelstyle::color(Tone::green, palette()), 32, 0.7));
    refresh();
}

void CacheSheet::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (!m_close)  // still being built
        return;
    panelstyle::followChange(this, event, [this] { retranslate(); });
}

} // namespace routereel
