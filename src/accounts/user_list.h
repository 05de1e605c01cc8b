#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The user list "Diary.dat" in the working folder: the names the login page offers, one per
// line, GBK, in the order the users were created. Duplicates are kept; nothing checks the list
// against the diaries that exist.
inline const QString kUserListFileName = QStringLiteral("Diary.dat");

// The names in the bytes of a user list. A line ends at CR, LF or CR LF; a last line without a
// break counts; a break at the very end adds no empty name, while an empty line before it gives
// an empty name; a zero byte ends the list. Bytes that are not valid GBK become U+FFFD.
QStringList parseUserList(const QByteArray &bytes);

// True when the name reads back from the list as written: it holds no CR, LF or NUL.
bool fitsOnOneLine(const QString &name);

// The bytes of a user list: every name in GBK followed by CR LF. Throws EEncodingError for a
// name GBK cannot represent and EInvalidUserName for one holding CR, LF or NUL, which would not
// read back as the same name.
QByteArray formatUserList(const QStringList &names);

// Reads the whole list. Throws EInOutError when the file cannot be opened or read (a missing
// file included: callers that treat a missing list as empty test files::exists first).
QStringList readUserList(const QString &path = kUserListFileName);

// Replaces the whole list with the given names, through a temporary file and one rename, so the
// list on disk is always either the old one or the new one; a new list is created 0600.
// Throws what formatUserList throws (before anything is written) and EInOutError.
// Holds the exclusive lock of the list's folder (files::FolderLock) while it writes; throws
// EFileInUse when another program holds it longer than the lock waits.
void writeUserList(const QStringList &names, const QString &path = kUserListFileName);

// Appends one name to the list as it is on disk: reads it anew and writes it back under one
// exclusive lock, so that two programs adding users at once keep each other's names. Returns the
// list written. Throws what writeUserList and readUserList throw; nothing is written when the
// name cannot be stored.
QStringList addToUserList(const QString &name, const QString &path = kUserListFileName);
