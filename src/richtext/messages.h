#pragma once

#include "platform/exception.h"

#include <QString>

namespace richtext {

// The text of the one error of this folder, exactly as the program shows it.
inline const QString kFailedToLoadStream = QStringLiteral("Failed to Load Stream");

// What a summary shows for an entry whose body is only pictures.
inline const QString kPictureSummary = QStringLiteral("[图片]");

// Bytes that are neither readable as RTF nor, where a record allows it, as plain text.
class ELoadStreamError : public Exception { using Exception::Exception; };

} // namespace richtext
