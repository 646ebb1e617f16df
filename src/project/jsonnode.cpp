#include "jsonnode.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

namespace routereel {

JsonNode JsonNode::boolean(bool value)
{
    JsonNode node(Type::boolean);
    node.m_bool = value;
    return node;
}

JsonNode JsonNode::number(double value)
{
    JsonNode node(Type::number);
    node.m_number = value;
    return node;
}

JsonNode JsonNode::integer(qint64 value)
{
    JsonNode node(Type::integer);
    node.m_integer = value;
    return node;
}

JsonNode JsonNode::string(const QString &value)
{
    JsonNode node(Type::string);
    node.m_string = value;
    return node;
}

JsonNode JsonNode::array()
{
    return JsonNode(Type::array);
}

JsonNode JsonNode::object()
{
    return JsonNode(Type::object);
}

JsonNode &JsonNode::insert(const QString &key, JsonNode value)
{
    Q_ASSERT(m_type == Type::object);
    m_members.emplace_back(key, std::move(value));
    return *this;
}

JsonNode &JsonNode::append(JsonNode value)
{
    Q_ASSERT(m_type == Type::array);
    m_elements.push_back(std::move(value));
    return *this;
}

QByteArray jsonQuoted(const QString &text)
{
    QByteArray out;
    out.reserve(text.size() + 2);
    out += '"';
    qsizetype runStart = 0;
    auto flush = [&](qsizetype end) {
        if (end > runStart)
            out += QStringView(text).mid(runStart, end - runStart).toUtf8();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text.at(i).unicode();
        const char *escape = nullptr;
        char hex[7] = {};
        switch (u) {
        case '"': escape = "\\\""; break;
        case '\\': escape = "\\\\"; break;
        case '/': escape = "\\/"; break;
        case '\b': escape = "\\b"; break;
        case '\f': escape = "\\f"; break;
        case '\n': escape = "\\n"; break;
        case '\r': escape = "\\r"; break;
        case '\t': escape = "\\t"; break;
        default:
            // Control characters, and surrogates without their partner, which
            // UTF-8 cannot carry (the JSON reader gives them back from \u escapes).
            const bool high = QChar::isHighSurrogate(u);
            const bool low = QChar::isLowSurrogate(u);
            const bool paired = (high && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
                || (low && i > 0 && text.at(i - 1).isHighSurrogate());
            if (u < 0x20 || ((high || low) && !paired)) {
                hex[0] = '\\';
                hex[1] = 'u';
                hex[2] = "0123456789abcdef"[(u >> 12) & 0xf];
                hex[3] = "0123456789abcdef"[(u >> 8) & 0xf];
                hex[4] = "0123456789abcdef"[(u >> 4) & 0xf];
                hex[5] = "0123456789abcdef"[u & 0xf];
                escape = hex;
            }
        }
        if (escape) {
            flush(i);
            out += escape;
            runStart = i + 1;
        }
    }
    flush(text.size());
    out += '"';
    return out;
}

namespace {

void newline(QByteArray &out, JsonNode::Format format, int depth)
{
    if (format == JsonNode::Format::indented) {
        out += '\n';
        out += QByteArray(depth * 2, ' ');
    }
}

QByteArray numberText(double value)
{
    // Shortest text that reads back as the same double; C locale.
    return QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
}

} // namespace

bool JsonNode::write(QByteArray &out, Format format, KeyOrder order, int depth,
                     const QString &path, QString *nonFinitePath) const
{
    switch (m_type) {
    case Type::boolean:
        out += m_bool ? "true" : "false";
        return true;
    case Type::number:
        if (!std::isfinite(m_number)) {
            if (nonFinitePath)
                *nonFinitePath = path;
            return false;
        }
        out += numberText(m_number);
        return true;
    case Type::integer:
        out += QByteArray::number(m_integer);
        return true;
    case Type::string:
        out += jsonQuoted(m_string);
        return true;
    case Type::array: {
        if (m_elements.empty()) {
            out += "[]";
            return true;
        }
        out += '[';
        for (size_t i = 0; i < m_elements.size(); ++i) {
            if (i > 0)
                out += ',';
            newline(out, format, depth + 1);
            const QString elementPath = path + QLatin1Char('[') + QString::number(i) + QLatin1Char(']');
            if (!m_elements[i].write(out, format, order, depth + 1, elementPath, nonFinitePath))
                return false;
        }
        newline(out, format, depth);
        out += ']';
        return true;
    }
    case Type::object: {
        if (m_members.empty()) {
            out += "{}";
            return true;
        }
        std::vector<const std::pair<QString, JsonNode> *> members;
        members.reserve(m_members.size());
        for (const auto &member : m_members)
            members.push_back(&member);
        if (order == KeyOrder::sorted) {
            // Code-point order, the order a byte-wise sort of the UTF-8 keys gives.
            std::stable_sort(members.begin(), members.end(), [](const auto *a, const auto *b) {
                return a->first.toUcs4() < b->first.toUcs4();
            });
        }
        out += '{';
        bool first = true;
        for (const auto *member : members) {
            if (!first)
                out += ',';
            first = false;
            newline(out, format, depth + 1);
            out += jsonQuoted(member->first);
            out += format == Format::indented ? " : " : ":";
            const QString memberPath = path.isEmpty() ? member->first : path + QLatin1Char('.') + member->first;
            if (!member->second.write(out, format, order, depth + 1, memberPath, nonFinitePath))
                return false;
        }
        newline(out, format, depth);
        out += '}';
        return true;
    }
    }
    return false;
}

std::optional<QByteArray> JsonNode::serialize(Format format, KeyOrder order, QString *nonFinitePath) const
{
    QByteArray out;
    if (!write(out, format, order, 0, QString(), nonFinitePath))
        return std::nullopt;
    return out;
}

} // namespace routereel
