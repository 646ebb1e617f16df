#pragma once

#include <QCoreApplication>
#include <QString>

namespace routereel {

// Why a project document could not be read or written, with the path of keys
// and array indices to the faulty value ("segments[2].gpxEnd"; empty for the
// top level).
struct ProjectCodingError {
    Q_DECLARE_TR_FUNCTIONS(ProjectCodingError)

public:
    enum class Kind {
        notJSON,        // the text is no JSON at all
        typeMismatch,   // a value of the wrong JSON form
        keyNotFound,    // a required key is missing
        valueNotFound,  // a required key holds null
        invalidUUID,    // text that is no UUID where one stands
        invalidValue,   // writing: a number that is not finite
    };

    // What the value at `path` should have been, for typeMismatch.
    enum class Expected { object, array, number, integer, boolean, string, size };

    Kind kind = Kind::notJSON;
    QString path;
    Expected expected = Expected::object;
    QString parserMessage;  // notJSON: the JSON parser's own words
    qint64 offset = 0;      // notJSON: byte offset of the fault

    QString message() const;
};

} // namespace routereel
