#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

namespace routereel {

// A JSON value under construction, with object members kept in insertion
// order. There is no null: an absent optional value is simply not added.
// QJsonDocument cannot give us sorted keys together with escaped slashes,
// nor refuse non-finite numbers, hence this small writer.
class JsonNode {
public:
    enum class Type { boolean, number, integer, string, array, object };
    enum class Format { compact, indented };
    enum class KeyOrder { asInserted, sorted };

    static JsonNode boolean(bool value);
    static JsonNode number(double value);
    static JsonNode integer(qint64 value);
    static JsonNode string(const QString &value);
    static JsonNode array();
    static JsonNode object();

    Type type() const { return m_type; }

    // Objects: appends a member. Arrays: appends an element.
    JsonNode &insert(const QString &key, JsonNode value);
    JsonNode &append(JsonNode value);

    // Refuses non-finite numbers: returns nothing and, when asked, the key path
    // of the first one met (for example "segments[2].gpxEnd").
    std::optional<QByteArray> serialize(Format format, KeyOrder order,
                                        QString *nonFinitePath = nullptr) const;

private:
    explicit JsonNode(Type type) : m_type(type) {}
    bool write(QByteArray &out, Format format, KeyOrder order, int depth, const QString &path,
               QString *nonFinitePath) const;

    Type m_type;
    bool m_bool = false;
    double m_number = 0;
    qint64 m_integer = 0;
    QString m_string;
    std::vector<std::pair<QString, JsonNode>> m_members;
    std::vector<JsonNode> m_elements;
};

// JSON string literal with every "/" escaped as "\/" and control characters
// as escapes; everything else is written as UTF-8.
QByteArray jsonQuoted(const QString &text);

} // namespace routereel
