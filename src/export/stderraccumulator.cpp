#include "stderraccumulator.h"

#include <QStringList>

#include <algorithm>

namespace routereel {

StderrAccumulator::StderrAccumulator(QStringList watchedPrefixes) : m_watchedPrefixes(std::move(watchedPrefixes))
{
}

void StderrAccumulator::append(const QString &text)
{
    std::lock_guard guard(m_lock);
    appendLocked(text);
}

namespace {

// Length of the complete UTF-8 characters at the start of `data`: an unfinished
// multi-byte sequence at its end is left out.
qsizetype completeLength(const QByteArray &data)
{
    const qsizetype size = data.size();
    for (qsizetype i = size - 1; i >= 0 && i >= size - 4; --i) {
        const auto byte = static_cast<unsigned char>(data.at(i));
        if ((byte & 0xC0) == 0x80)
            continue;  // continuation byte: keep looking for the lead byte
        const qsizetype length = byte < 0x80 ? 1 : (byte & 0xE0) == 0xC0 ? 2 : (byte & 0xF0) == 0xE0 ? 3
                               : (byte & 0xF8) == 0xF0 ? 4 : 1;
        return i + length > size ? i : size;
    }
    return size;
}

} // namespace

void StderrAccumulator::appendBytes(const QByteArray &bytes)
{
    std::lock_guard guard(m_lock);
    const QByteArray data = m_pending + bytes;
    const qsizetype complete = completeLength(data);
    m_pending = data.mid(complete);
    appendLocked(QString::fromUtf8(data.first(complete)));
}

void StderrAccumulator::finish()
{
    std::lock_guard guard(m_lock);
    if (!m_pending.isEmpty())
        appendLocked(QString::fromUtf8(m_pending));
    m_pending.clear();
    endLineLocked();
}

void StderrAccumulator::appendLocked(const QString &text)
{
    watchLocked(text);
    m_buffer.append(text);
    if (m_buffer.size() > capacity) {
        qsizetype cut = m_buffer.size() - capacity;
        // Never keep half of a surrogate pair.
        if (m_buffer.at(cut).isLowSurrogate())
            ++cut;
        m_buffer.remove(0, cut);
    }
}

void StderrAccumulator::watchLocked(const QString &text)
{
    if (m_watchedPrefixes.isEmpty() || m_watchedLine)
        return;
    for (qsizetype from = 0;;) {
        qsizetype end = from;
        while (end < text.size() && text.at(end) != QLatin1Char('\n') && text.at(end) != QLatin1Char('\r'))
            ++end;
        // A line longer than the buffer is kept as its start.
        m_line += QStringView(text).mid(from, std::min(end - from, capacity - m_line.size()));
        if (end == text.size())
            return;
        endLineLocked();
        from = end + 1;
    }
}

void StderrAccumulator::endLineLocked()
{
    for (const QString &prefix : std::as_const(m_watchedPrefixes)) {
        if (!m_watchedLine && !m_line.isEmpty() && m_line.startsWith(prefix))
            m_watchedLine = m_line;
    }
    m_line.clear();
}

std::optional<QString> StderrAccumulator::firstWatchedLine() const
{
    std::lock_guard guard(m_lock);
    return m_watchedLine;
}

QString StderrAccumulator::buffer() const
{
    std::lock_guard guard(m_lock);
    return m_buffer;
}

QString StderrAccumulator::tail() const
{
    std::lock_guard guard(m_lock);
    const QStringList pieces = m_buffer.split(QLatin1Char('\n'));
    return pieces.mid(std::max<qsizetype>(0, pieces.size() - 10)).join(QLatin1Char('\n'));
}

} // namespace routereel
