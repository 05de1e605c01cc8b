#pragma once

#include "crypto/private_format.h"
#include "crypto/secret.h"

#include <QList>
#include <QPair>
#include <QString>

#include <optional>

class TArchiveReader;
class TArchiveWriter;
class TPassCipher;

// The accounts of private diaries, without any window, beside those of login.h (whose rules on
// names, container objects and errors hold here too). Kept apart from login.h because they need
// the diary book and so Qt Gui, which the shell tool's account commands do without.
//
// A private diary's comment is a private header instead of a token: the password unwraps the
// diary key, and every entry is sealed with that key. Each derivation from a password or a
// recovery code takes the time and memory of privateKdf() (about half a second and 256 MiB with
// the default), so these calls are slow by design; each says how many derivations it makes.
// Besides the errors above they throw what the crypto and diary rooms throw (EKeyDerivation,
// EPrivateHeaderDamaged, EPrivateVersion, EDiaryFormat).

namespace accounts {

// The Argon2id parameters for headers made from now on: private_format::kDefaultKdf unless a
// test has chosen cheaper ones. Headers read keep the parameters they were written with.
private_format::KdfParams privateKdf();
void setPrivateKdf(private_format::KdfParams params);

// The outcome of a login: matched is false for a wrong password. A matched old-format diary has
// no key; a matched private diary has the key its header unwrapped.
struct LoginResult {
    bool matched = false;
    std::optional<DiaryKey> key;
};

// Checks the password against the archive `name`, whichever format it is in (one derivation
// for a private diary). A password GBK cannot represent never matches an old-format diary.
LoginResult logIn(TArchiveReader &archive, TPassCipher &cipher, const QString &name,
                  const QString &password);

// True when the archive `name` exists and its comment is a private header.
bool isPrivateUser(TArchiveReader &archive, const QString &name);

// Creates the user's diary in the private format: a new random key, a new recovery code, the
// header holding the key under both (two derivations), the archive written with no entries.
// Throws as createUserArchive. Returns the recovery code in its grouped display form; it exists
// nowhere else afterwards.
QString createPrivateUserArchive(TArchiveWriter &archive, const QString &name, const QString &password);

// What a conversion did. carried: entries that could not be read, carried over byte for byte,
// by name (as shown) with the reason in words. removedCopies: temporary files that an
// interrupted replacement of this diary had left beside it (whole older copies of it, perhaps
// unprotected) and the earlier versions of the diary (versions/kept_versions.h), all in the old
// format, that the conversion removed.
struct ConversionReport {
    QString recoveryCode;   // protectUser only
    QList<QPair<QString, QString>> carried;
    int removedCopies = 0;
};

// Makes an old-format diary private under its own password, in one atomic rewrite, and removes
// the leftovers of interrupted replacements of it. nullopt, nothing written, when the password
// does not match the diary's token. Two derivations. EDiaryFormat when it is private already.
std::optional<ConversionReport> protectUser(TArchiveWriter &archive, TPassCipher &cipher,
                                            const QString &name, const QString &password);

// Turns a private diary back into the old format under the same password (its token made with
// cipher), in one atomic rewrite. nullopt, nothing written, when the password does not unwrap
// the key. One derivation. EDiaryFormat when the diary is not private; EEncodingError when the
// password holds characters GBK cannot represent (the old format's token could not hold it).
std::optional<ConversionReport> unprotectUser(TArchiveWriter &archive, TPassCipher &cipher,
                                              const QString &name, const QString &password);

// Sets a new password for a private diary whose password was forgotten: the recovery code
// unwraps the key, which is wrapped anew under newPassword; the recovery code stays valid and
// the old password stops working. Only the comment changes. False, nothing written, for a code
// that is not this diary's (or not a code at all). Two derivations. EDiaryFormat when the diary
// is not private; throws as requireValidAccount for the name and the new password.
bool recoverPassword(TArchiveWriter &archive, const QString &name, const QString &recoveryCode,
                     const QString &newPassword);

// Changes the password of either format: accounts::changePassword for the old one; for a private
// diary the key is unwrapped with the old password (one derivation) and wrapped anew under the
// new one (another), and only the comment changes. False, nothing written, for a wrong old
// password. Throws as requireValidAccount for the name and the new password.
bool changeDiaryPassword(TArchiveWriter &archive, TPassCipher &cipher, const QString &name,
                         const QString &oldPassword, const QString &newPassword);

} // namespace accounts
