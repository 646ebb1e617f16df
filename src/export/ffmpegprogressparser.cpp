#include "ffmpegprogressparser.h"

#include <cmath>

namespace routereel {

QList<double> FFmpegProgressParser::feed(const QByteArray &chunk)
{
    QList<double> fractions;
    m_buffer.append(chunk);
    qsizetype start = 0;
    for (qsizetype newline = m_buffer.indexOf('\n'); newline >= 0; newline = m_buffer.indexOf('\n', start)) {
        const double fraction = fractionOfLine(m_buffer.mid(start, newline - start), m_duration);
        if (fraction >= 0)
            fractions.append(fraction);
        start = newline + 1;
    }
    m_buffer.remove(0, start);
    // ffmpeg's lines are short; anything this long without a newline is not progress.
    if (m_buffer.size() > 65536)
        m_buffer.clear();
    return fractions;
}

double FFmpegProgressParser::fractionOfLine(const QByteArray &line, double durationSeconds)
{
    static const QByteArray key("out_time_us=");
    if (!line.startsWith(key) || !(durationSeconds > 0))
        return -1;
    bool ok = false;
    const double value = line.mid(key.size()).trimmed().toDouble(&ok);
    if (!ok || std::isnan(value))
        return -1;
    const double p = value / (1'000'000.0 * durationSeconds);
    if (p <= 0)
        return 0;
    return p > 1 ? 1 : p;
}

} // namespace routereel
