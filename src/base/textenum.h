#pragma once

#include <QList>
#include <QString>

#include <array>
#include <optional>
#include <utility>

namespace routereel {

// Enumerations that are stored by their visible text (settings, project files).
// Each one specialises TextEnum with its cases, in the order choices are offered:
//
//   template <> struct TextEnum<MapShape> {
//       static constexpr std::array cases{std::pair{MapShape::circle, "Circle"}, ...};
//   };
template <typename E>
struct TextEnum;

template <typename E>
QString enumText(E value)
{
    for (const auto &[v, text] : TextEnum<E>::cases) {
        if (v == value)
            return QString::fromUtf8(text);
    }
    return {};
}

// Exact, case-sensitive whole-text match; anything else gives no value.
template <typename E>
std::optional<E> enumFromText(const QString &text)
{
    for (const auto &[v, t] : TextEnum<E>::cases) {
        if (text == QString::fromUtf8(t))
            return v;
    }
    return std::nullopt;
}

template <typename E>
QList<E> enumCases()
{
    QList<E> out;
    for (const auto &[v, text] : TextEnum<E>::cases)
        out.append(v);
    return out;
}

} // namespace routereel
