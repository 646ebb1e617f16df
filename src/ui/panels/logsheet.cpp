#include "logsheet.h"

#include "elidedlabel.h"
#include "panelstyle.h"
#include "ui/icons/symbolicon.h"

#include "tracks/logstore.h"
#include "ui/state/windowstate.h"

#include <QAbstractTextDocumentLayout>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTextEdit>
#include <QVBoxLayout>

#include <cmath>
#include <memory>

namespace routereel {

using panelstyle::Tone;

namespace {

Tone levelTone(LogEntry::Level level)
{
    switch (level) {
    case LogEntry::Level::info:
        return Tone::green;
    case LogEntry::Level::warning:
        return Tone::orange;
    case LogEntry::Level::error:
        return Tone::red;
    }
    return Tone::green;
}

QPixmap dot(const QColor &color)
{
    // At the screen's pixels, like the symbols, so the dot stays round at 150 % and 200 %.
    const double ratio = qApp->devicePixelRatio();
    QPixmap pixmap(QSize(8, 8) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(QRectF(0, 0, 8, 8));
    return pixmap;
}

// The locale's own time format with seconds but without the time zone.
QString timeFormatWithoutZone(const QLocale &locale)
{
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString result;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('t'))
            continue;
        result += c;
    }
    return result.simplified();
}

// The detail text, selectable, as high as its lines up to a limit, then scrolling.
QWidget *detailBlock(const LogEntry &entry, QWidget *parent)
{
    auto *block = new QFrame(parent);
    block->setObjectName(QStringLiteral("detailBlock"));
    block->setStyleSheet(QStringLiteral("QFrame#detailBlock { background: palette(base); border-radius: 4px; }"));
    auto *layout = new QVBoxLayout(block);
    layout->setContentsMargins(6, 6, 6, 6);
    auto *text = new QTextEdit(block);
    text->setObjectName(QStringLiteral("detail"));
    text->setReadOnly(true);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    text->setFrameShape(QFrame::NoFrame);
    text->setStyleSheet(QStringLiteral("QTextEdit { background: transparent; }"));
    text->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    text->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    text->setFont(panelstyle::font(10, QFont::Normal, true));
    panelstyle::setTone(text, Tone::secondary);
    text->setPlainText(entry.detail);
    text->setAccessibleName(entry.title);
    text->document()->setDocumentMargin(0);
    // The block stops growing at the limit minus its own padding, then scrolls.
    const int limit = LogSheet::detailMaxHeight - 12;
    auto fit = [text, limit](const QSizeF &size) {
        text->setFixedHeight(std::min(limit, int(std::ceil(size.height())) + 2 * text->frameWidth()));
    };
    QObject::connect(text->document()->documentLayout(), &QAbstractTextDocumentLayout::documentSizeChanged, text,
                     fit);
    fit(text->document()->size());
    layout->addWidget(text);
    return block;
}

} // namespace

LogSheet::LogSheet(LogStore &store, WindowState &state, QWidget *parent)
    : QDialog(parent), m_store(store), m_state(state)
{
    setFixedSize(fixedSize);
    QVBoxLayout *column = nullptr;
    QHBoxLayout *header = panelstyle::sheetHeader(this, &column, &m_titleIcon, &m_title);
    m_clear = new QPushButton(this);
    m_clear->setAutoDefault(false);
    m_clear->setFont(panelstyle::font(11));
    connect(m_clear, &QPushButton::clicked, this, [this] {
        m_store.setEntries({});
        m_store.setUnreadCount(0);
    });
    header->addWidget(m_clear);
    panelstyle::finishSheetHeader(this, column, header);

    m_body = new QStackedWidget(this);
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
    m_count = new QLabel(this);
    m_count->setFont(panelstyle::font(11));
    panelstyle::setTone(m_count, Tone::secondary);
    footer->addWidget(m_count);
    footer->addStretch(1);
    m_close = new QPushButton(this);
    m_close->setDefault(true);
    connect(m_close, &QPushButton::clicked, this, &QDialog::accept);
    footer->addWidget(m_close);
    column->addLayout(footer);

    connect(&m_store, &LogStore::entriesChanged, this, &LogSheet::refresh);
    connect(&m_state, &WindowState::appLanguageChanged, this, &LogSheet::retranslate);
    retranslate();
}

QString LogSheet::timeText(const QDateTime &date, const QLocale &locale)
{
    return locale.toString(date.toLocalTime().time(), timeFormatWithoutZone(locale));
}

bool LogSheet::showsDetail(const LogEntry &entry)
{
    return !entry.detail.isEmpty() && entry.detail != entry.title;
}

void LogSheet::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // Seen: from the toolbar and from the error alert's "View Log" alike.
    m_store.setUnreadCount(0);
}

QWidget *LogSheet::makeRow(const LogEntry &entry)
{
    auto *row = new QWidget(m_list);
    row->setObjectName(QStringLiteral("logRow"));
    row->setProperty("entryId", entry.id);
    auto *column = new QVBoxLayout(row);
    column->setContentsMargins(12, 4, 12, 4);
    column->setSpacing(6);

    auto *head = new QHBoxLayout;
    head->setSpacing(6);
    auto *levelDot = new QLabel(row);
    levelDot->setObjectName(QStringLiteral("levelDot"));
    levelDot->setPixmap(dot(panelstyle::color(levelTone(entry.level), palette())));
    head->addWidget(levelDot, 0, Qt::AlignVCenter);
    auto *time = new QLabel(timeText(entry.date, panelstyle::interfaceLocale(m_state.appLanguage())), row);
    time->setObjectName(QStringLiteral("time"));
    time->setFont(panelstyle::font(11, QFont::Normal, true));
    panelstyle::setTone(time, Tone::secondary);
    head->addWidget(time, 0, Qt::AlignVCenter);
    auto *title = new ElidedLabel(Qt::ElideRight, 2, row);
    title->setObjectName(QStringLiteral("title"));
    title->setFont(panelstyle::font(12, QFont::Medium));
    title->setText(entry.title);
    head->addWidget(title, 1, Qt::AlignVCenter);
    column->addLayout(head);

    if (showsDetail(entry))
        column->addWidget(detailBlock(entry, row));
    return row;
}

void LogSheet::refresh()
{
    const QList<LogEntry> &entries = m_store.entries();
    m_clear->setEnabled(!entries.isEmpty());
    m_body->setCurrentIndex(entries.isEmpty() ? 0 : 1);
    m_count->setText(tr("%n entries", nullptr, int(entries.size())));

    while (QLayoutItem *item = m_listLayout->takeAt(0))
        delete item;
    QHash<QUuid, QWidget *> rows;
    for (const LogEntry &entry : entries) {
        QWidget *row = m_rows.take(entry.id);
        if (!row)
            row = makeRow(entry);
        rows.insert(entry.id, row);
        m_listLayout->addWidget(row);
    }
    for (QWidget *gone : std::as_const(m_rows))
        delete gone;
    m_rows = rows;
    m_listLayout->addStretch(1);
}

void LogSheet::retranslate()
{
    setWindowTitle(tr("Log"));
    m_title->setText(tr("Log"));
    m_clear->setText(tr("Clear"));
    m_emptyText->setText(tr("No log entries"));
    m_listArea->setAccessibleName(tr("Log Entries"));
    m_close->setText(tr("Close"));
    const QColor secondary = panelstyle::color(Tone::secondary, palette());
    m_titleIcon->setPixmap(symbolPixmap(QStringLiteral("doc.text"), palette().color(QPalette::WindowText), 16));
    m_emptyIcon->setPixmap(symbolPixmap(QStringLiteral("doc.text"), secondary, 32, 0.7));
    // The time column follows the language: rows are made again.
    qDeleteAll(m_rows);
    m_rows.clear();
    refresh();
}

void LogSheet::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (!m_close)  // still being built
        return;
    panelstyle::followChange(this, event, [this] { retranslate(); });
}

} // namespace routereel
