#pragma once

#include "platform/exception.h"

#include <QString>

// The errors of the private format. Each class carries only its message; the texts are below.
// Below these, functions return values: a wrong password or recovery code is an ordinary result
// (an empty optional), and an entry that does not open gives a status, because a reader lists
// such entries instead of stopping.

// libsodium could not be initialised (no usable random source).
class ECryptoUnavailable : public Exception { using Exception::Exception; };
// A private header that cannot be parsed: damaged, truncated, or with parameters out of range.
class EPrivateHeaderDamaged : public Exception { using Exception::Exception; };
// A private header of a later format version than this program reads.
class EPrivateVersion : public Exception { using Exception::Exception; };
// The key derivation could not get its memory.
class EKeyDerivation : public Exception { using Exception::Exception; };
// A recovery code that is not 24 characters of the code alphabet.
class ERecoveryCodeInvalid : public Exception { using Exception::Exception; };
// A record larger than one private entry may hold (private_format::kMaxRecordSize).
class ERecordTooLarge : public Exception { using Exception::Exception; };

namespace crypto_text {

inline const QString kSodiumInit = QStringLiteral("The cryptography library could not be initialised");
// %1 what is wrong, one of the kHeader… reasons below.
inline const QString kHeaderDamaged = QStringLiteral("日记的加密信息已损坏，无法打开（%1）!");
inline const QString kHeaderTooLong = QStringLiteral("too long");
inline const QString kHeaderNotText = QStringLiteral("not a line of text");
inline const QString kHeaderNoMagic = QStringLiteral("no private header");
inline const QString kHeaderBadLine = QStringLiteral("malformed line %1");
inline const QString kHeaderBadField = QStringLiteral("line %1: malformed field \"%2\"");
inline const QString kHeaderParamRange = QStringLiteral("line %1: parameter \"%2\" out of range");
inline const QString kHeaderTrailing = QStringLiteral("bytes after the last line");
// %1 the version number found.
inline const QString kUnsupportedVersion =
    QStringLiteral("这本日记使用了更新的加密格式（版本%1），请用新版的羽书手札打开!");
inline const QString kDerivationMemory = QStringLiteral("内存不足，无法验证密码!");
inline const QString kRecoveryCodeInvalid =
    QStringLiteral("恢复码应为24个字母或数字（不含 I、L、O、U），请检查后重新输入!");
// %1 the record's size, %2 the limit.
inline const QString kRecordTooLarge =
    QStringLiteral("The entry is too large: %1 bytes, more than the %2 bytes a private entry may hold");

// Why an entry did not open (entry_seal.h, describe()).
inline const QString kEntryMalformed = QStringLiteral("加密条目的数据不完整");
inline const QString kEntryUnknownFormat = QStringLiteral("加密条目使用了未知的格式");
inline const QString kEntryNotAuthentic = QStringLiteral("加密条目已损坏，或不属于这本日记的这一天");
inline const QString kEntryBadDeflate = QStringLiteral("加密条目解密后无法解压");
inline const QString kEntryTooLarge = QStringLiteral("加密条目解压后超过了一个条目的最大长度");

} // namespace crypto_text
