#pragma once

#include <QByteArray>
#include <QList>

namespace routereel {

// Turns the "key=value" lines that ffmpeg prints with "-progress pipe:1" into
// fractions of the export's duration. Chunks may end anywhere: a partial line
// waits for the rest.
class FFmpegProgressParser {
public:
    explicit FFmpegProgressParser(double durationSeconds) : m_duration(durationSeconds) {}

    // The fractions (0 ... 1) of every complete "out_time_us=" line in the data so far.
    QList<double> feed(const QByteArray &chunk);

    // The fraction of one line, or a negative value when the line carries none.
    static double fractionOfLine(const QByteArray &line, double durationSeconds);

private:
    double m_duration;
    QByteArray m_buffer;
};

} // namespace routereel
