#pragma once

#include "platform/exception.h"

#include <QString>

// A user name that cannot be used: the text says why, in the program's language.
class EInvalidUserName : public Exception { using Exception::Exception; };

// The longest user name, in bytes of the file system's encoding (UTF-8). A file name may have
// 255 bytes; a diary is written as ".<name>.XXXXXX.tmp" first and renamed, which adds 12.
constexpr qsizetype kMaxUserNameBytes = 255 - 12;

// A user name is the file name of that user's diary in the working folder. Throws
// EInvalidUserName for a name that would leave that folder, name something other than a plain
// file there, break the user list or be taken for another file of the program:
//   - "/" anywhere, ".", "..": a path outside the folder, or the folder itself;
//   - NUL, CR or LF: the user list holds one name per line and ends at a zero byte;
//   - a character GBK cannot represent: the user list and the archives store GBK;
//   - more than kMaxUserNameBytes bytes in UTF-8: the file system refuses the name;
//   - "Diary.dat": the user list, which would overwrite that diary;
//   - "." at the start and ".tmp" at the end: the shape of an interrupted write's leftover,
//     which the next write of a file removes.
// An empty name passes: the dialog answers it with its own message.
void validateUserName(const QString &name);
