#include "strictjsonreader.h"

#include <cmath>

namespace routereel {

using Kind = ProjectCodingError::Kind;
using Expected = ProjectCodingError::Expected;

StrictJsonReader::StrictJsonReader(const QJsonValue &value)
    : StrictJsonReader(value, QString(), std::make_shared<std::optional<ProjectCodingError>>())
{
}

StrictJsonReader::StrictJsonReader(const QJsonValue &value, QString path, SharedFault fault)
    : m_path(std::move(path)), m_fault(std::move(fault))
{
    if (failed())
        return;
    if (!value.isObject()) {
        fail(Kind::typeMismatch, m_path, Expected::object);
        return;
    }
    m_object = value.toObject();
}

QString StrictJsonReader::childPath(const QString &key) const
{
    return m_path.isEmpty() ? key : m_path + QLatin1Char('.') + key;
}

void StrictJsonReader::fail(Kind kind, const QString &path, Expected expected)
{
    if (failed())
        return;
    ProjectCodingError error;
    error.kind = kind;
    error.path = path;
    error.expected = expected;
    *m_fault = error;
}

std::optional<QJsonValue> StrictJsonReader::lookup(const QString &key, bool required)
{
    if (failed())
        return std::nullopt;
    const auto it = m_object.constFind(key);
    if (it == m_object.constEnd()) {
        if (required)
            fail(Kind::keyNotFound, childPath(key));
        return std::nullopt;
    }
    const QJsonValue value = it.value();
    if (value.isNull()) {
        if (required)
            fail(Kind::valueNotFound, childPath(key));
        return std::nullopt;
    }
    return value;
}

std::optional<double> StrictJsonReader::asNumber(const std::optional<QJsonValue> &value, const QString &key)
{
    if (!value)
        return std::nullopt;
    if (!value->isDouble()) {
        mismatch(key, Expected::number);
        return std::nullopt;
    }
    return value->toDouble();
}

double StrictJsonReader::number(const QString &key)
{
    return asNumber(lookup(key, true), key).value_or(0);
}

std::optional<double> StrictJsonReader::optionalNumber(const QString &key)
{
    return asNumber(lookup(key, false), key);
}

qint64 StrictJsonReader::integer(const QString &key)
{
    const auto value = lookup(key, true);
    if (!value)
        return 0;
    // toInteger gives its default unless the number is whole and fits in 64 bits;
    // two different defaults tell a real value from a refusal.
    const qint64 a = value->toInteger(0);
    const qint64 b = value->toInteger(1);
    if (!value->isDouble() || a != b) {
        mismatch(key, Expected::integer);
        return 0;
    }
    return a;
}

bool StrictJsonReader::boolean(const QString &key)
{
    return optionalBooleanOf(key, true).value_or(false);
}

std::optional<bool> StrictJsonReader::optionalBoolean(const QString &key)
{
    return optionalBooleanOf(key, false);
}

QString StrictJsonReader::string(const QString &key)
{
    return optionalStringOf(key, true).value_or(QString());
}

std::optional<QString> StrictJsonReader::optionalString(const QString &key)
{
    return optionalStringOf(key, false);
}

bool StrictJsonReader::isUuidText(const QString &text)
{
    if (text.size() != 36)
        return false;
    for (qsizetype i = 0; i < 36; ++i) {
        const QChar c = text.at(i);
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (c != QLatin1Char('-'))
                return false;
        } else if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
                     || (c >= QLatin1Char('A') && c <= QLatin1Char('F')))) {
            return false;
        }
    }
    return true;
}

QUuid StrictJsonReader::uuid(const QString &key)
{
    const auto text = optionalStringOf(key, true);
    if (!text)
        return {};
    if (!isUuidText(*text)) {
        fail(Kind::invalidUUID, childPath(key));
        return {};
    }
    return QUuid::fromString(*text);
}

std::optional<QSizeF> StrictJsonReader::optionalSize(const QString &key)
{
    const auto value = lookup(key, false);
    if (!value)
        return std::nullopt;
    const QJsonArray array = value->toArray();
    if (!value->isArray() || array.size() < 2 || !array.at(0).isDouble() || !array.at(1).isDouble()) {
        mismatch(key, Expected::size);
        return std::nullopt;
    }
    return QSizeF(array.at(0).toDouble(), array.at(1).toDouble());
}

std::optional<bool> StrictJsonReader::optionalBooleanOf(const QString &key, bool required)
{
    const auto value = lookup(key, required);
    if (!value)
        return std::nullopt;
    if (!value->isBool()) {
        mismatch(key, Expected::boolean);
        return std::nullopt;
    }
    return value->toBool();
}

std::optional<QString> StrictJsonReader::optionalStringOf(const QString &key, bool required)
{
    const auto value = lookup(key, required);
    if (!value)
        return std::nullopt;
    if (!value->isString()) {
        mismatch(key, Expected::string);
        return std::nullopt;
    }
    return value->toString();
}

} // namespace routereel
