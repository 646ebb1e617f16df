#include "iso8601.h"

#include <cmath>

namespace routereel::Iso8601 {
namespace {

// Reads exactly `count` ASCII digits at `pos`.
bool digits(QStringView s, qsizetype pos, int count, int &out)
{
    if (pos + count > s.size())
        return false;
    int v = 0;
    for (int i = 0; i < count; ++i) {
        const char16_t c = s[pos + i].unicode();
        if (c < u'0' || c > u'9')
            return false;
        v = v * 10 + (c - u'0');
    }
    out = v;
    return true;
}

bool at(QStringView s, qsizetype pos, char16_t c)
{
    return pos < s.size() && s[pos].unicode() == c;
}

} // namespace

int daysInMonth(int year, int month)
{
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0))
        return 29;
    return days[month - 1];
}

qint64 daysFromCivil(int year, int month, int day)
{
    // Howard Hinnant's days_from_civil.
    const qint64 y = qint64(year) - (month <= 2 ? 1 : 0);
    const qint64 era = (y >= 0 ? y : y - 399) / 400;
    const qint64 yoe = y - era * 400;
    const qint64 mp = (month + 9) % 12;
    const qint64 doy = (153 * mp + 2) / 5 + day - 1;
    const qint64 doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

std::optional<Instant> parse(QStringView s, Fraction fraction)
{
    int year, month, day, hour, minute, second;
    if (!digits(s, 0, 4, year) || !at(s, 4, u'-') || !digits(s, 5, 2, month) || !at(s, 7, u'-')
        || !digits(s, 8, 2, day) || !at(s, 10, u'T') || !digits(s, 11, 2, hour) || !at(s, 13, u':')
        || !digits(s, 14, 2, minute) || !at(s, 16, u':') || !digits(s, 17, 2, second))
        return std::nullopt;
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23
        || minute > 59 || second > 59)
        return std::nullopt;

    qsizetype pos = 19;
    double fractionalPart = 0;
    if (at(s, pos, u'.')) {
        if (fraction == Fraction::forbidden)
            return std::nullopt;
        ++pos;
        // Nanoseconds are the finest a double near today's instants can hold; later digits are read
        // but do not count.
        const qsizetype first = pos;
        qint64 numerator = 0, denominator = 1;
        for (; pos < s.size() && s[pos].unicode() >= u'0' && s[pos].unicode() <= u'9'; ++pos) {
            if (pos - first < 9) {
                numerator = numerator * 10 + (s[pos].unicode() - u'0');
                denominator *= 10;
            }
        }
        if (pos == first)
            return std::nullopt;
        fractionalPart = double(numerator) / double(denominator);
    } else if (fraction == Fraction::required) {
        return std::nullopt;
    }

    int offsetSeconds = 0;
    if (at(s, pos, u'Z')) {
        ++pos;
    } else if (at(s, pos, u'+') || at(s, pos, u'-')) {
        const int sign = s[pos] == u'-' ? -1 : 1;
        int oh, om;
        if (!digits(s, pos + 1, 2, oh) || !at(s, pos + 3, u':') || !digits(s, pos + 4, 2, om)
            || oh > 23 || om > 59)
            return std::nullopt;
        offsetSeconds = sign * (oh * 3600 + om * 60);
        pos += 6;
    } else {
        return std::nullopt;
    }
    if (pos != s.size())
        return std::nullopt;

    const qint64 whole = daysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second
        - offsetSeconds;
    return double(whole) + fractionalPart;
}

std::optional<Instant> parseAny(QStringView text)
{
    if (auto t = parse(text, Fraction::required))
        return t;
    return parse(text, Fraction::forbidden);
}

QString formatWithMilliseconds(Instant instant)
{
    if (!std::isfinite(instant) || std::abs(instant) > 1e14)
        return {};
    const qint64 totalMs = qint64(std::llround(instant * 1000.0));
    qint64 days = totalMs / 86'400'000;
    qint64 msOfDay = totalMs % 86'400'000;
    if (msOfDay < 0) {
        msOfDay += 86'400'000;
        --days;
    }
    // Hinnant's civil_from_days.
    const qint64 z = days + 719468;
    const qint64 era = (z >= 0 ? z : z - 146096) / 146097;
    const qint64 doe = z - era * 146097;
    const qint64 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const qint64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const qint64 mp = (5 * doy + 2) / 153;
    const qint64 d = doy - (153 * mp + 2) / 5 + 1;
    const qint64 m = mp < 10 ? mp + 3 : mp - 9;
    const qint64 y = yoe + era * 400 + (m <= 2 ? 1 : 0);

    return QString::asprintf("%04lld-%02lld-%02lldT%02lld:%02lld:%02lld.%03lldZ", y, m, d,
                             msOfDay / 3'600'000, msOfDay / 60'000 % 60, msOfDay / 1000 % 60,
                             msOfDay % 1000);
}

} // namespace routereel::Iso8601
