#pragma once

#include "platform/exception.h"

#include <QString>

// An index outside a list: "List index out of bounds (-1)".
class EListError : public Exception { using Exception::Exception; };

// A skin store item name that another item already has.
class EDuplicateName : public Exception { using Exception::Exception; };

// A skin package that cannot be decoded (a value missing or malformed).
class ESkinPackageError : public Exception { using Exception::Exception; };

namespace skin::text {

inline QString listIndexOutOfBounds(int index)
{
    return QStringLiteral("List index out of bounds (%1)").arg(index);
}

inline QString nameAlreadyUsed(const QString &name)
{
    return QStringLiteral("The name ") + name + QStringLiteral(" is already used.");
}

// Shown, and the current skin kept, when a package has another format version.
inline QString olderSkinFile()
{
    return QStringLiteral("This is Older Skin File\rPlease update to new version !");
}

inline QString missingValue(const QString &name)
{
    return QStringLiteral("The skin package has no value \"%1\"").arg(name);
}

inline QString missingTemplate()
{
    return QStringLiteral("The skins' style sheet is missing from the program");
}

inline QString missingPackage(const QString &path)
{
    return QStringLiteral("The skin package %1 is missing from the program").arg(path);
}

inline QString badColour(const QString &name, const QString &value)
{
    return QStringLiteral("The skin package's colour %1 is not a colour: \"%2\"").arg(name, value);
}

} // namespace skin::text
