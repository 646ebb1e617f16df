#include "igcparser.h"

#include "iso8601.h"
#include "strictnumber.h"

#include <cmath>

namespace routereel {
namespace {

constexpr qsizetype minimumFixLength = 35;

std::optional<qint64> integerAt(QStringView line, qsizetype pos, qsizetype count)
{
    return parseStrictInteger(line.mid(pos, count));
}

std::optional<double> numberAt(QStringView line, qsizetype pos, qsizetype count)
{
    return parseStrictDouble(line.mid(pos, count));
}

// Seconds of the day of a B record, or nothing when its clock fields are unusable.
std::optional<int> secondsOfDay(QStringView line)
{
    const auto h = integerAt(line, 1, 2), m = integerAt(line, 3, 2), s = integerAt(line, 5, 2);
    if (!h || !m || !s || *h > 23 || *h < 0 || *m < 0 || *m > 59 || *s < 0 || *s > 59)
        return std::nullopt;
    return int(*h * 3600 + *m * 60 + *s);
}

} // namespace

QList<TrackPoint> IGCParser::parse(QStringView text)
{
    QList<TrackPoint> points;
    std::optional<Instant> baseDate;
    int previousSeconds = -1; // none yet

    qsizetype pos = 0;
    const qsizetype n = text.size();
    while (pos < n) {
        qsizetype end = pos;
        while (end < n && text[end] != u'\n' && text[end] != u'\r')
            ++end;
        const QStringView line = text.mid(pos, end - pos);
        pos = end;
        if (pos < n && text[pos] == u'\r') {
            ++pos;
            if (pos < n && text[pos] == u'\n')
                ++pos;
        } else if (pos < n) {
            ++pos; // '\n'
        }
        if (line.isEmpty())
            continue;

        if (line.startsWith(u"HFDTE")) {
            const qsizetype from = line.startsWith(u"HFDTEDATE:") ? 10 : 5;
            const QStringView ddmmyy = line.mid(from, 6);
            if (ddmmyy.size() == 6) {
                if (const auto date = parseDate(ddmmyy)) {
                    baseDate = date;
                    previousSeconds = -1;
                }
            }
        } else if (line.startsWith(u'B') && line.size() >= minimumFixLength && baseDate) {
            const auto secs = secondsOfDay(line);
            if (!secs)
                continue;
            if (previousSeconds >= 0 && previousSeconds - *secs > midnightRolloverThreshold)
                *baseDate += 86'400;
            if (auto point = parseFix(line, *baseDate))
                points.append(*point);
            previousSeconds = *secs;
        }
    }
    return points;
}

std::optional<Instant> IGCParser::parseDate(QStringView ddmmyy)
{
    if (ddmmyy.size() != 6)
        return std::nullopt;
    const auto day = integerAt(ddmmyy, 0, 2), month = integerAt(ddmmyy, 2, 2),
               yy = integerAt(ddmmyy, 4, 2);
    if (!day || !month || !yy)
        return std::nullopt;
    const int year = int(*yy <= 69 ? 2000 + *yy : 1900 + *yy);
    // Days and months outside the calendar name no day: refused rather than carried over.
    if (*month < 1 || *month > 12 || *day < 1 || *day > Iso8601::daysInMonth(year, int(*month)))
        return std::nullopt;
    return double(Iso8601::daysFromCivil(year, int(*month), int(*day)) * 86'400);
}

std::optional<TrackPoint> IGCParser::parseFix(QStringView line, Instant date)
{
    if (line.size() < minimumFixLength)
        return std::nullopt;
    const auto secs = secondsOfDay(line);
    const auto latDeg = numberAt(line, 7, 2), latMin = numberAt(line, 9, 5);
    const auto lngDeg = numberAt(line, 15, 3), lngMin = numberAt(line, 18, 5);
    if (!secs || !latDeg || !latMin || !lngDeg || !lngMin)
        return std::nullopt;
    const QChar ns = line[14], ew = line[23];
    if (!(*latMin >= 0 && *latMin < 60'000) || !(*lngMin >= 0 && *lngMin < 60'000)
        || (ns != u'N' && ns != u'S') || (ew != u'E' && ew != u'W') || line[24] != u'A')
        return std::nullopt;

    const double lat = (*latDeg + *latMin / 1000.0 / 60.0) * (ns == u'S' ? -1 : 1);
    const double lng = (*lngDeg + *lngMin / 1000.0 / 60.0) * (ew == u'W' ? -1 : 1);
    if (!std::isfinite(lat) || !std::isfinite(lng) || lat < -90 || lat > 90 || lng < -180 || lng > 180)
        return std::nullopt;

    TrackPoint p;
    p.lat = lat;
    p.lng = lng;
    // "1e999" reads as a number but names no altitude.
    if (const auto ele = parseStrictDouble(line.mid(30, 5)); ele && std::isfinite(*ele))
        p.ele = ele;
    p.time = date + *secs;
    p.startsSegment = false;
    return p;
}

} // namespace routereel
