#include "tracks/iso8601.h"

#include <QDateTime>
#include <gtest/gtest.h>

using namespace routereel;
using Iso8601::Fraction;

namespace {

Instant reference(const char *isoUtc)
{
    return double(QDateTime::fromString(QString::fromLatin1(isoUtc), Qt::ISODate).toSecsSinceEpoch());
}

} // namespace

TEST(Iso8601, InternetDateTime)
{
    struct Case {
        const char *text;
        std::optional<Instant> withFraction;
        std::optional<Instant> withoutFraction;
    };
    const Instant t = reference("2023-05-01T08:15:30Z");
    const Case cases[] = {
        {"2023-05-01T08:15:30.250Z", t + 0.25, {}},
        {"2023-05-01T08:15:30.1234567891234Z", t + 0.123456789, {}},
        {"2023-05-01T08:15:30Z", {}, t},
        {"2023-05-01T10:15:30+02:00", {}, t},
        {"2023-05-01T05:45:30-02:30", {}, t},
        {"2023-05-01T08:15:30.5+00:00", t + 0.5, {}},
        {"2023-05-01T08:15:30", {}, {}},         // no zone: no instant
        {"2023-05-01T08:15:30.250", {}, {}},
        {"2023-05-01T08:15:30+0200", {}, {}},
        {"2023-05-01T08:15:30+02", {}, {}},
        {"2023-05-01 08:15:30Z", {}, {}},
        {"2023-05-01t08:15:30Z", {}, {}},
        {"2023-5-01T08:15:30Z", {}, {}},
        {"2023-05-01T08:15:30.Z", {}, {}},
        {"2023-05-01T08:15:30Zjunk", {}, {}},
        {" 2023-05-01T08:15:30Z", {}, {}},
        {"2023-13-01T08:15:30Z", {}, {}},
        {"2023-02-29T08:15:30Z", {}, {}},
        {"2024-02-29T00:00:00Z", {}, reference("2024-02-29T00:00:00Z")},
        {"2023-04-31T08:15:30Z", {}, {}},
        {"2023-05-01T24:00:00Z", {}, {}},
        {"2023-05-01T08:60:00Z", {}, {}},
        {"2023-05-01T08:15:60Z", {}, {}},
        {"2023-05-01T08:15:30+24:00", {}, {}},
        {"1969-12-31T23:59:59Z", {}, -1.0},
        {"", {}, {}},
    };
    for (const Case &c : cases) {
        const QString text = QString::fromLatin1(c.text);
        const auto full = Iso8601::parse(text, Fraction::required);
        const auto basic = Iso8601::parse(text, Fraction::forbidden);
        ASSERT_EQ(full.has_value(), c.withFraction.has_value()) << c.text;
        ASSERT_EQ(basic.has_value(), c.withoutFraction.has_value()) << c.text;
        if (full) {
            EXPECT_NEAR(*full, *c.withFraction, 1e-6) << c.text;
        }
        if (basic) {
            EXPECT_EQ(*basic, *c.withoutFraction) << c.text;
        }
        EXPECT_EQ(Iso8601::parseAny(text).has_value(), full || basic) << c.text;
    }
}

TEST(Iso8601, FormatsUtcWithMilliseconds)
{
    EXPECT_EQ(Iso8601::formatWithMilliseconds(reference("2023-05-01T08:15:30Z") + 0.25),
              QStringLiteral("2023-05-01T08:15:30.250Z"));
    EXPECT_EQ(Iso8601::formatWithMilliseconds(978'307'200), QStringLiteral("2001-01-01T00:00:00.000Z"));
    EXPECT_EQ(Iso8601::formatWithMilliseconds(-0.5), QStringLiteral("1969-12-31T23:59:59.500Z"));
    EXPECT_EQ(Iso8601::formatWithMilliseconds(reference("2024-02-29T23:59:59Z") + 0.9996),
              QStringLiteral("2024-03-01T00:00:00.000Z"));
    for (const char *text : {"2000-02-29T12:34:56.789Z", "1999-12-31T23:59:59.999Z", "2100-03-01T00:00:00.001Z"})
        EXPECT_EQ(Iso8601::formatWithMilliseconds(*Iso8601::parseAny(QString::fromLatin1(text))),
                  QString::fromLatin1(text));
}
