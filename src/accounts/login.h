#pragma once

#include "archive/diary_password.h"

#include <QString>

class TArchiveReader;
class TArchiveWriter;
class TPassCipher;

// The user accounts behind the login page and the user settings dialog, without any window.
//
// A user is a name; the user's diary is the archive file of exactly that name in the working
// folder, and the user's password lives only as its token (TPassCipher) in that archive's
// comment. A user exists when a file of that name exists; the user list "Diary.dat" is only what
// the login page offers.
//
// Each operation works on the container object it is given: it sets that object's ZipName to the
// user's name and leaves it there. Callers that must keep their own container objects on the
// logged-in user's diary give a scratch object, so an operation on another name, failed or not,
// never disturbs them (nor leaves a comment set but unwritten behind on them).
//
// Errors come from the parts below: the container's (a file that is not a readable archive, a
// write that fails), EInvalidUserName (user_name.h), EEncodingError, ECipherError. A comparison
// that fails is no error: it returns false.
namespace accounts {

// The one password under which every entry of every diary is encrypted, whoever the user.
inline const QString kArchivePassword = QString::fromLatin1(kDiaryArchivePassword);

// The salt of the program's ciphers: a token made when a user is created is reproduced at login
// only under the same salt.
inline const QString kPasswordSalt = QStringLiteral("53");

// True when a file (or anything else) named like the user exists in the working folder.
bool userExists(const QString &name);

// Throws EInvalidUserName when the name cannot serve as a diary file (validateUserName), and
// EEncodingError with a message for the user when the password holds characters GBK cannot
// represent: its token would be the token of another password.
void requireValidAccount(const QString &name, const QString &password);

// True when the archive `name` holds the token of the password as its comment. Opens the archive
// through `archive` (ZipName set to the name); a file that is not a readable archive throws the
// container's error. A password GBK cannot represent is never right (no stored token can stem
// from it) and gives false. Comparison is byte for byte.
bool passwordMatches(TArchiveReader &archive, TPassCipher &cipher, const QString &name,
                     const QString &password);

// Creates the user's diary: the archive `name`, holding no entries and the token of the password
// as its comment, written through `archive` under kArchivePassword. The name must not exist yet
// (callers test userExists first). Throws as requireValidAccount before anything is written, and
// the container's errors; a failed write leaves no file behind.
void createUserArchive(TArchiveWriter &archive, TPassCipher &cipher, const QString &name,
                       const QString &password);

// Changes the user's password: when the old password matches the archive's comment, rewrites the
// archive with the token of the new one as its comment and every entry's bytes as they were, and
// returns true. Returns false, the archive untouched, when the old password does not match.
// Throws as requireValidAccount (for the name and the new password) before anything is read.
// Old format only: a private diary's comment is no token, so the old password never matches it
// (changeDiaryPassword in private_login.h handles both formats).
bool changePassword(TArchiveWriter &archive, TPassCipher &cipher, const QString &name,
                    const QString &oldPassword, const QString &newPassword);

} // namespace accounts
