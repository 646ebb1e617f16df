#pragma once

#include "projectcodingerror.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QSizeF>
#include <QString>
#include <QUuid>

#include <memory>
#include <optional>

namespace routereel {

// Reads one JSON object field by field with strict types. The first fault met
// is kept and every later read returns a default without looking, so reading
// the fields in table order reports the first fault in that order. Readers of
// nested objects share the fault with the reader that made them.
class StrictJsonReader {
public:
    // Reader of a top-level value; a value that is no object is a type mismatch.
    explicit StrictJsonReader(const QJsonValue &value);

    bool failed() const { return m_fault->has_value(); }
    std::optional<ProjectCodingError> fault() const { return *m_fault; }

    double number(const QString &key);
    std::optional<double> optionalNumber(const QString &key);
    qint64 integer(const QString &key);
    bool boolean(const QString &key);
    std::optional<bool> optionalBoolean(const QString &key);
    QString string(const QString &key);
    std::optional<QString> optionalString(const QString &key);
    // 36 characters, 8-4-4-4-12 hexadecimal groups, either case.
    QUuid uuid(const QString &key);
    // [width, height]; further elements are ignored.
    std::optional<QSizeF> optionalSize(const QString &key);

    template <typename Read>
    auto object(const QString &key, Read read) -> decltype(read(std::declval<StrictJsonReader &>()))
    {
        auto value = lookup(key, true);
        if (!value)
            return {};
        StrictJsonReader nested(*value, childPath(key), m_fault);
        if (nested.failed())
            return {};
        return read(nested);
    }

    template <typename Read>
    auto optionalObject(const QString &key, Read read)
        -> std::optional<decltype(read(std::declval<StrictJsonReader &>()))>
    {
        auto value = lookup(key, false);
        if (!value)
            return std::nullopt;
        StrictJsonReader nested(*value, childPath(key), m_fault);
        if (nested.failed())
            return std::nullopt;
        auto result = read(nested);
        if (failed())
            return std::nullopt;
        return result;
    }

    // A list of objects, each read by `read`.
    template <typename Read>
    auto objectList(const QString &key, Read read) -> QList<decltype(read(std::declval<StrictJsonReader &>()))>
    {
        return readList(lookup(key, true), key, read).value_or(
            QList<decltype(read(std::declval<StrictJsonReader &>()))>());
    }

    template <typename Read>
    auto optionalObjectList(const QString &key, Read read)
        -> std::optional<QList<decltype(read(std::declval<StrictJsonReader &>()))>>
    {
        return readList(lookup(key, false), key, read);
    }

    static bool isUuidText(const QString &text);

private:
    using SharedFault = std::shared_ptr<std::optional<ProjectCodingError>>;
    StrictJsonReader(const QJsonValue &value, QString path, SharedFault fault);

    std::optional<QJsonValue> lookup(const QString &key, bool required);
    QString childPath(const QString &key) const;
    void fail(ProjectCodingError::Kind kind, const QString &path,
              ProjectCodingError::Expected expected = ProjectCodingError::Expected::object);
    void mismatch(const QString &key, ProjectCodingError::Expected expected)
    {
        fail(ProjectCodingError::Kind::typeMismatch, childPath(key), expected);
    }
    std::optional<double> asNumber(const std::optional<QJsonValue> &value, const QString &key);
    std::optional<bool> optionalBooleanOf(const QString &key, bool required);
    std::optional<QString> optionalStringOf(const QString &key, bool required);

    template <typename Read>
    auto readList(const std::optional<QJsonValue> &value, const QString &key, Read read)
        -> std::optional<QList<decltype(read(std::declval<StrictJsonReader &>()))>>
    {
        if (!value)
            return std::nullopt;
        if (!value->isArray()) {
            mismatch(key, ProjectCodingError::Expected::array);
            return std::nullopt;
        }
        QList<decltype(read(std::declval<StrictJsonReader &>()))> out;
        const QJsonArray array = value->toArray();
        const QString path = childPath(key);
        for (qsizetype i = 0; i < array.size(); ++i) {
            StrictJsonReader element(array.at(i), path + QLatin1Char('[') + QString::number(i) + QLatin1Char(']'),
                                     m_fault);
            if (element.failed())
                return std::nullopt;
            auto item = read(element);
            if (failed())
                return std::nullopt;
            out.append(std::move(item));
        }
        return out;
    }

    QJsonObject m_object;
    QString m_path;
    SharedFault m_fault;
};

} // namespace routereel
