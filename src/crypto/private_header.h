#pragma once

#include "crypto/private_format.h"
#include "crypto/secret.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// The private header: the archive comment of a private diary, holding the diary key twice,
// wrapped under the password and under the recovery code (layout in private_format.h and
// docs/private-format.md). A value type: parsing checks everything once, and every header built
// here is valid and prints back to the same text.
//
// Passwords are used as their UTF-8 bytes, exactly as typed (no normalisation); recovery codes
// as their normalised 24 characters (recovery_code.h).
//
// Every function may also throw ECryptoUnavailable and std::bad_alloc (secret.h).
class PrivateHeader
{
public:
    // True when comment starts with the private magic, so it is a private header (perhaps one
    // that parse() refuses) rather than the old format's password token.
    static bool isPrivate(QByteArrayView comment);

    // A header holding key under password and recovery code, both derived with params (which
    // must lie between kMinimumKdf and kMaximumKdf), with fresh salts and nonces. Derives twice,
    // so it takes twice as long as a login. Throws ERecoveryCodeInvalid for a code that does not
    // normalise, EKeyDerivation when the derivation cannot get its memory.
    static PrivateHeader create(const DiaryKey &key, const QString &password,
                                const QString &recoveryCode,
                                private_format::KdfParams params = private_format::kDefaultKdf);

    // Reads a header, checking every field: the magic and version, each line's shape, the
    // parameters against kMinimumKdf and kMaximumKdf, the lengths of salt, nonce and wrapped key.
    // Throws EPrivateVersion for a later version, EPrivateHeaderDamaged for anything else.
    static PrivateHeader parse(QByteArrayView text);

    // The header as it goes into the archive comment: printable ASCII and line feeds only (no
    // zero byte, no end-record signature), at most kMaxHeaderSize bytes.
    QByteArray text() const;

    private_format::KdfParams passwordParams() const { return m_password.params; }
    private_format::KdfParams recoveryParams() const { return m_recovery.params; }

    // The diary key, or empty when password is not this diary's. Takes one derivation. A damaged
    // wrap cannot be told from a wrong password: both fail the same authentication. Throws
    // EKeyDerivation when the derivation cannot get its memory.
    std::optional<DiaryKey> unlock(const QString &password) const;
    // The same with the recovery code; empty as well for a code that does not normalise.
    std::optional<DiaryKey> unlockWithRecoveryCode(const QString &recoveryCode) const;

    // This header with the password line replaced: key (which must be the key this header holds,
    // from unlock or unlockWithRecoveryCode) wrapped under newPassword with a fresh salt and
    // nonce. The recovery line stays byte for byte. Throws EKeyDerivation.
    PrivateHeader withPassword(const DiaryKey &key, const QString &newPassword,
                               private_format::KdfParams params = private_format::kDefaultKdf) const;

private:
    PrivateHeader() = default;   // only create() and parse() make headers, always valid ones

    struct Wrap {
        private_format::KdfParams params;
        QByteArray salt;        // kSaltSize
        QByteArray nonce;       // kNonceSize
        QByteArray wrappedKey;  // kWrappedKeySize
    };

    static Wrap wrap(const DiaryKey &key, QByteArrayView label, QByteArrayView secret,
                     private_format::KdfParams params);
    static std::optional<DiaryKey> unwrap(const Wrap &w, QByteArrayView label, QByteArrayView secret);

    Wrap m_password;
    Wrap m_recovery;
};
