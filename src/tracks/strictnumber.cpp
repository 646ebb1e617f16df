#include "strictnumber.h"

#include <QByteArray>

#include <clocale>
#include <cstdlib>
#include <limits>
#include <locale.h>

namespace routereel {
namespace {

locale_t cLocale()
{
    static const locale_t loc = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return loc;
}

bool isCSpace(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
}

} // namespace

std::optional<double> parseStrictDouble(QStringView text)
{
    const qsizetype n = text.size();
    if (n == 0 || isCSpace(text[0].unicode()))
        return std::nullopt;

    // strtod needs a NUL-terminated narrow string; anything outside ASCII cannot be part of a number.
    char small[64];
    QByteArray large;
    char *buf = small;
    if (n >= qsizetype(sizeof small)) {
        large.resize(n + 1);
        buf = large.data();
    }
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c == 0 || c > 0x7f)
            return std::nullopt;
        buf[i] = char(c);
    }
    buf[n] = '\0';

    char *end = nullptr;
    const double value = strtod_l(buf, &end, cLocale());
    if (end != buf + n)
        return std::nullopt;
    return value;
}

std::optional<qint64> parseStrictInteger(QStringView text)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (i == text.size())
        return std::nullopt;

    // Accumulate as a negative number so that the minimum value fits.
    constexpr qint64 min = std::numeric_limits<qint64>::min();
    qint64 value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        const int digit = c - u'0';
        if (value < (min + digit) / 10)
            return std::nullopt;
        value = value * 10 - digit;
    }
    if (!negative) {
        if (value == min)
            return std::nullopt;
        value = -value;
    }
    return value;
}

} // namespace routereel
