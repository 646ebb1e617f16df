#include "projectcodingerror.h"

#include <QCoreApplication>

namespace routereel {

namespace {

QString expectedText(ProjectCodingError::Expected expected)
{
    switch (expected) {
    case ProjectCodingError::Expected::object: return ProjectCodingError::tr("an object");
    case ProjectCodingError::Expected::array: return ProjectCodingError::tr("a list");
    case ProjectCodingError::Expected::number: return ProjectCodingError::tr("a number");
    case ProjectCodingError::Expected::integer: return ProjectCodingError::tr("a whole number");
    case ProjectCodingError::Expected::boolean: return ProjectCodingError::tr("true or false");
    case ProjectCodingError::Expected::string: return ProjectCodingError::tr("text");
    case ProjectCodingError::Expected::size: return ProjectCodingError::tr("a list of two numbers (width, height)");
    }
    return {};
}

} // namespace

QString ProjectCodingError::message() const
{
    switch (kind) {
    case Kind::notJSON:
        return tr("The file is not a routereel project: it is not valid JSON (%1 at byte %2).")
            .arg(parserMessage)
            .arg(offset);
    case Kind::typeMismatch:
        if (path.isEmpty())
            return tr("The file is not a routereel project: its content must be a JSON object.");
        return tr("The project file cannot be read: \"%1\" must be %2.").arg(path, expectedText(expected));
    case Kind::keyNotFound:
        return tr("The project file cannot be read: the required value \"%1\" is missing.").arg(path);
    case Kind::valueNotFound:
        return tr("The project file cannot be read: the required value \"%1\" is null.").arg(path);
    case Kind::invalidUUID:
        return tr("The project file cannot be read: \"%1\" is not a valid identifier (UUID).").arg(path);
    case Kind::invalidValue:
        return tr("The project cannot be saved: the value \"%1\" is not a finite number.").arg(path);
    }
    return {};
}

} // namespace routereel
