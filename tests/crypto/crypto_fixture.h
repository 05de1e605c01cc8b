#pragma once

#include "crypto/private_format.h"
#include "crypto/private_header.h"
#include "crypto/secret.h"

#include <QByteArray>
#include <QString>

// What the private-format tests share: the least Argon2id parameters (the parameters are part of
// the interface, so tests stay fast), a fixed key and secrets, and a payload built from arbitrary
// deflate bytes for the cases the sealing code never writes.
namespace crypto_fixture {

inline constexpr private_format::KdfParams kFast = private_format::kMinimumKdf;

// "秘密 diary 1", with a character outside ASCII so the UTF-8 rule is exercised.
inline QString password() { return QStringLiteral("秘密 diary 1"); }
// A code holding 0 and 1, so the confusable letters can be typed for them.
inline QString recoveryCode() { return QStringLiteral("01AB-CD23-EFGH-4567-JKMN-89PQ"); }
inline QByteArray canonicalCode() { return QByteArrayLiteral("01ABCD23EFGH4567JKMN89PQ"); }

// The key 0x00, 0x01, … 0x1F.
DiaryKey fixedKey();

// A payload in the entry layout around the given deflate bytes, sealed for name with key: what a
// faulty or hostile writer holding the key could produce.
QByteArray sealRaw(const DiaryKey &key, QByteArrayView name, QByteArrayView deflated);

// raw Deflate of data at the given level.
QByteArray deflateRaw(QByteArrayView data, int level);
// raw Deflate of count zero bytes, made in pieces so that it needs little memory.
QByteArray deflateZeros(qint64 count);

} // namespace crypto_fixture
