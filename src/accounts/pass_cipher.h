#pragma once

#include "platform/exception.h"

#include <QByteArray>
#include <QObject>
#include <QString>

// The password hash could not be computed (the crypt library refused or failed).
class ECipherError : public Exception { using Exception::Exception; };

// Turns a clear-text password into a password token: the traditional DES-based crypt(3) hash,
// 13 single-byte characters, the two salt bytes followed by eleven characters of
// "./0-9A-Za-z". The token is what a diary archive stores as its comment and what a login
// compares; the password itself is never kept.
//
//     TPassCipher cipher(this);
//     cipher.SetSalt(QStringLiteral("53"));
//     cipher.SetInput(password);
//     const QByteArray token = cipher.Output();
//
// Text is held as Unicode and hashed as its GBK bytes. Only the first eight bytes of the
// password count, and of each only its low seven bits; shorter passwords are padded with zero
// bytes. Output is computed afresh on every read and never changes Input or Salt.
class TPassCipher : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString Input READ Input WRITE SetInput)
    Q_PROPERTY(QString Salt READ Salt WRITE SetSalt)
    Q_PROPERTY(QByteArray Output READ Output STORED false)

public:
    // Used when Salt is empty; it then also opens the token.
    static constexpr char kDefaultSalt[] = "Qb";

    explicit TPassCipher(QObject *owner = nullptr);

    const QString &Input() const { return m_input; }
    // Any text, stored as given.
    void SetInput(const QString &input) { m_input = input; }

    const QString &Salt() const { return m_salt; }
    // Stores a salt of zero or two GBK bytes (an empty salt selects kDefaultSalt). Any other
    // length shows the notice "Salt length must be 0 or 2!" (caption "PassCipher", no icon)
    // and keeps the previous salt; nothing is thrown for it. Every byte value is accepted:
    // bytes outside the token alphabet count by their low six bits. Throws EEncodingError for
    // a salt that GBK cannot represent.
    void SetSalt(const QString &salt);

    // The 13-byte token of Input under Salt. Throws EEncodingError when GBK cannot represent
    // Input (the message does not repeat the password), ECipherError when the crypt library
    // fails.
    QByteArray Output() const;

private:
    QString m_input;
    QString m_salt;
};

// The token of the given password bytes under a two-byte salt (any byte values). The same
// hash as TPassCipher::Output, for callers that already hold bytes. Throws ECipherError.
QByteArray passwordToken(const QByteArray &password, const QByteArray &salt);
