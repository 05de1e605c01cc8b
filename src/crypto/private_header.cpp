#include "crypto/private_header.h"

#include "crypto/crypto_errors.h"
#include "crypto/recovery_code.h"

#include <QList>

#include <sodium.h>

using namespace private_format;

namespace {

constexpr QByteArrayView kAlgorithm = "argon2id";
constexpr QByteArrayView kArgonVersion = "v=19";   // Argon2 version 0x13
constexpr QByteArrayView kLanes = "p=1";           // libsodium computes Argon2id with one lane
// A version number of more digits than this is not a version but damage.
constexpr qsizetype kMaxVersionDigits = 9;

static_assert(crypto_pwhash_SALTBYTES == kSaltSize);
static_assert(crypto_aead_xchacha20poly1305_ietf_NPUBBYTES == kNonceSize);
static_assert(crypto_aead_xchacha20poly1305_ietf_ABYTES == kTagSize);
static_assert(crypto_aead_xchacha20poly1305_ietf_KEYBYTES == kKeySize);
static_assert(kMinimumKdf.passes >= crypto_pwhash_OPSLIMIT_MIN);
static_assert(qulonglong(kMinimumKdf.memoryKiB) * 1024 >= crypto_pwhash_MEMLIMIT_MIN);
static_assert(kMaximumKdf.passes == crypto_pwhash_OPSLIMIT_SENSITIVE);
static_assert(qulonglong(kMaximumKdf.memoryKiB) * 1024 == crypto_pwhash_MEMLIMIT_SENSITIVE);
static_assert(kDefaultKdf.passes == crypto_pwhash_OPSLIMIT_MODERATE);
static_assert(qulonglong(kDefaultKdf.memoryKiB) * 1024 == crypto_pwhash_MEMLIMIT_MODERATE);

[[noreturn]] void damaged(const QString &reason)
{
    throw EPrivateHeaderDamaged(crypto_text::kHeaderDamaged.arg(reason));
}

QByteArray toBase64(QByteArrayView bytes)
{
    const size_t size = sodium_base64_encoded_len(size_t(bytes.size()), sodium_base64_VARIANT_ORIGINAL);
    QByteArray out(qsizetype(size), Qt::Uninitialized);
    sodium_bin2base64(out.data(), size, reinterpret_cast<const unsigned char *>(bytes.data()),
                      size_t(bytes.size()), sodium_base64_VARIANT_ORIGINAL);
    out.chop(1);   // the terminating zero
    return out;
}

// Exactly size bytes in canonical base64 (padded, unused bits zero), or empty.
std::optional<QByteArray> fromBase64(QByteArrayView text, qsizetype size)
{
    QByteArray out(size, Qt::Uninitialized);
    size_t written = 0;
    if (sodium_base642bin(reinterpret_cast<unsigned char *>(out.data()), size_t(size), text.data(),
                          size_t(text.size()), nullptr, &written, nullptr,
                          sodium_base64_VARIANT_ORIGINAL) != 0
        || qsizetype(written) != size || toBase64(out) != text)
        return std::nullopt;
    return out;
}

// A decimal number without sign or leading zeros that fits 32 bits.
std::optional<quint32> decimal(QByteArrayView text)
{
    if (text.isEmpty() || text.size() > 10 || (text.size() > 1 && text.front() == '0'))
        return std::nullopt;
    quint64 v = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        v = v * 10 + quint64(c - '0');
    }
    if (v > 0xFFFFFFFFu)
        return std::nullopt;
    return quint32(v);
}

// The start of a field, for a message.
QString shown(QByteArrayView field)
{
    return QString::fromLatin1(field.first(qMin<qsizetype>(field.size(), 16)));
}

bool inRange(KdfParams p)
{
    return p.memoryKiB >= kMinimumKdf.memoryKiB && p.memoryKiB <= kMaximumKdf.memoryKiB
        && p.passes >= kMinimumKdf.passes && p.passes <= kMaximumKdf.passes;
}

// The part of a line the wrap authenticates: everything before " nonce=".
QByteArray paramsText(QByteArrayView label, KdfParams p, QByteArrayView salt)
{
    QByteArray t;
    t += label;
    t += ' ';
    t += kAlgorithm;
    t += ' ';
    t += kArgonVersion;
    t += " m=" + QByteArray::number(p.memoryKiB) + " t=" + QByteArray::number(p.passes) + ' ';
    t += kLanes;
    t += " salt=" + toBase64(salt);
    return t;
}

QByteArray associatedData(QByteArrayView label, KdfParams p, QByteArrayView salt)
{
    return kMagicLine.toByteArray() + paramsText(label, p, salt);
}

// The key Argon2id derives from secret; throws EKeyDerivation when libsodium refuses, which
// with parameters in range means it could not get the memory.
DiaryKey derive(QByteArrayView secret, QByteArrayView salt, KdfParams p)
{
    Q_ASSERT(inRange(p) && salt.size() == kSaltSize);
    DiaryKey derived = DiaryKey::zeroed();
    // libsodium wants a pointer even for an empty password.
    const char *bytes = secret.isEmpty() ? "" : secret.data();
    if (crypto_pwhash(derived.data(), kKeySize, bytes, qulonglong(secret.size()),
                      reinterpret_cast<const unsigned char *>(salt.data()), p.passes,
                      size_t(p.memoryKiB) * 1024, crypto_pwhash_ALG_ARGON2ID13) != 0)
        throw EKeyDerivation(crypto_text::kDerivationMemory);
    return derived;
}

QByteArray randomBytes(qsizetype n)
{
    QByteArray b(n, Qt::Uninitialized);
    randombytes_buf(b.data(), size_t(n));
    return b;
}

} // namespace

bool PrivateHeader::isPrivate(QByteArrayView comment)
{
    return comment.startsWith(kMagic);
}

PrivateHeader::Wrap PrivateHeader::wrap(const DiaryKey &key, QByteArrayView label,
                                        QByteArrayView secret, KdfParams params)
{
    Q_ASSERT(!key.isNull());
    Q_ASSERT(inRange(params));
    ensureSodium();
    Wrap w;
    w.params = params;
    w.salt = randomBytes(kSaltSize);
    w.nonce = randomBytes(kNonceSize);
    const DiaryKey wrapping = derive(secret, w.salt, params);
    const QByteArray ad = associatedData(label, params, w.salt);
    w.wrappedKey.resize(kWrappedKeySize);
    unsigned long long written = 0;
    crypto_aead_xchacha20poly1305_ietf_encrypt(
        reinterpret_cast<unsigned char *>(w.wrappedKey.data()), &written, key.data(), kKeySize,
        reinterpret_cast<const unsigned char *>(ad.data()), qulonglong(ad.size()), nullptr,
        reinterpret_cast<const unsigned char *>(w.nonce.data()), wrapping.data());
    Q_ASSERT(qsizetype(written) == kWrappedKeySize);
    return w;
}

std::optional<DiaryKey> PrivateHeader::unwrap(const Wrap &w, QByteArrayView label,
                                              QByteArrayView secret)
{
    const DiaryKey wrapping = derive(secret, w.salt, w.params);
    const QByteArray ad = associatedData(label, w.params, w.salt);
    DiaryKey key = DiaryKey::zeroed();
    unsigned long long written = 0;
    if (crypto_aead_xchacha20poly1305_ietf_decrypt(
            key.data(), &written, nullptr,
            reinterpret_cast<const unsigned char *>(w.wrappedKey.data()), kWrappedKeySize,
            reinterpret_cast<const unsigned char *>(ad.data()), qulonglong(ad.size()),
            reinterpret_cast<const unsigned char *>(w.nonce.data()), wrapping.data()) != 0
        || qsizetype(written) != kKeySize)
        return std::nullopt;
    return key;
}

PrivateHeader PrivateHeader::create(const DiaryKey &key, const QString &password,
                                    const QString &recoveryCode, KdfParams params)
{
    const std::optional<SecretBytes> code = recovery_code::normalise(recoveryCode);
    if (!code)
        throw ERecoveryCodeInvalid(crypto_text::kRecoveryCodeInvalid);
    PrivateHeader h;
    h.m_password = wrap(key, kPasswordLabel, SecretBytes::utf8(password).view(), params);
    h.m_recovery = wrap(key, kRecoveryLabel, code->view(), params);
    return h;
}

PrivateHeader PrivateHeader::withPassword(const DiaryKey &key, const QString &newPassword,
                                          KdfParams params) const
{
    PrivateHeader h = *this;
    h.m_password = wrap(key, kPasswordLabel, SecretBytes::utf8(newPassword).view(), params);
    return h;
}

std::optional<DiaryKey> PrivateHeader::unlock(const QString &password) const
{
    return unwrap(m_password, kPasswordLabel, SecretBytes::utf8(password).view());
}

std::optional<DiaryKey> PrivateHeader::unlockWithRecoveryCode(const QString &recoveryCode) const
{
    const std::optional<SecretBytes> code = recovery_code::normalise(recoveryCode);
    if (!code)
        return std::nullopt;
    return unwrap(m_recovery, kRecoveryLabel, code->view());
}

QByteArray PrivateHeader::text() const
{
    QByteArray t = kMagicLine.toByteArray();
    const auto line = [&t](QByteArrayView label, const Wrap &w) {
        t += paramsText(label, w.params, w.salt);
        t += " nonce=" + toBase64(w.nonce) + " key=" + toBase64(w.wrappedKey) + '\n';
    };
    line(kPasswordLabel, m_password);
    line(kRecoveryLabel, m_recovery);
    return t;
}

PrivateHeader PrivateHeader::parse(QByteArrayView text)
{
    ensureSodium();
    // The version first, so that a later format, whatever else it changed, is reported as such.
    if (!text.startsWith(kMagic))
        damaged(crypto_text::kHeaderNoMagic);
    const QByteArrayView afterMagic = text.sliced(kMagic.size());
    qsizetype digits = 0;
    while (digits < afterMagic.size() && digits <= kMaxVersionDigits && afterMagic[digits] >= '0'
           && afterMagic[digits] <= '9')
        ++digits;
    if (digits == 0 || digits > kMaxVersionDigits || digits == afterMagic.size()
        || afterMagic[digits] != '\n' || afterMagic[0] == '0')   // versions count from 1
        damaged(crypto_text::kHeaderBadLine.arg(1));
    const QByteArrayView version = afterMagic.first(digits);
    if (version != QByteArrayView("1"))
        throw EPrivateVersion(crypto_text::kUnsupportedVersion.arg(QString::fromLatin1(version)));

    if (text.size() > kMaxHeaderSize)
        damaged(crypto_text::kHeaderTooLong);
    for (const char c : text)
        if ((c < 0x20 || c > 0x7E) && c != '\n')
            damaged(crypto_text::kHeaderNotText);
    if (!text.endsWith('\n'))
        damaged(crypto_text::kHeaderNotText);

    PrivateHeader h;
    qsizetype at = kMagicLine.size();
    const auto readLine = [&](int number, QByteArrayView label, Wrap &w) {
        if (at >= text.size())
            damaged(crypto_text::kHeaderBadLine.arg(number));
        const qsizetype end = text.indexOf('\n', at);
        const QByteArrayView line = text.sliced(at, end - at);
        at = end + 1;

        QList<QByteArrayView> fields;
        qsizetype from = 0;
        for (qsizetype i = 0; i <= line.size(); ++i) {
            if (i == line.size() || line[i] == ' ') {
                fields.append(line.sliced(from, i - from));
                from = i + 1;
            }
        }
        if (fields.size() != 9 || fields[0] != label || fields[1] != kAlgorithm)
            damaged(crypto_text::kHeaderBadLine.arg(number));
        const auto value = [&](int index, QByteArrayView name) {
            const QByteArrayView f = fields[index];
            if (!f.startsWith(name) || f.size() <= name.size() || f[name.size()] != '=')
                damaged(crypto_text::kHeaderBadField.arg(number).arg(shown(f)));
            return f.sliced(name.size() + 1);
        };
        const auto fixed = [&](int index, QByteArrayView expected) {
            if (fields[index] != expected)
                damaged(crypto_text::kHeaderBadField.arg(number).arg(shown(fields[index])));
        };
        const auto number32 = [&](int index, QByteArrayView name) {
            const std::optional<quint32> v = decimal(value(index, name));
            if (!v)
                damaged(crypto_text::kHeaderBadField.arg(number).arg(QString::fromLatin1(name)));
            return *v;
        };
        const auto bytes = [&](int index, QByteArrayView name, qsizetype size) {
            const std::optional<QByteArray> b = fromBase64(value(index, name), size);
            if (!b)
                damaged(crypto_text::kHeaderBadField.arg(number).arg(QString::fromLatin1(name)));
            return *b;
        };
        fixed(2, kArgonVersion);
        w.params.memoryKiB = number32(3, "m");
        w.params.passes = number32(4, "t");
        fixed(5, kLanes);
        if (w.params.memoryKiB < kMinimumKdf.memoryKiB || w.params.memoryKiB > kMaximumKdf.memoryKiB)
            damaged(crypto_text::kHeaderParamRange.arg(number).arg(QStringLiteral("m")));
        if (w.params.passes < kMinimumKdf.passes || w.params.passes > kMaximumKdf.passes)
            damaged(crypto_text::kHeaderParamRange.arg(number).arg(QStringLiteral("t")));
        w.salt = bytes(6, "salt", kSaltSize);
        w.nonce = bytes(7, "nonce", kNonceSize);
        w.wrappedKey = bytes(8, "key", kWrappedKeySize);
    };
    readLine(2, kPasswordLabel, h.m_password);
    readLine(3, kRecoveryLabel, h.m_recovery);
    if (at != text.size())
        damaged(crypto_text::kHeaderTrailing);
    return h;
}
