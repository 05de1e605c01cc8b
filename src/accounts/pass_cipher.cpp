#include "accounts/pass_cipher.h"
#include "accounts/messages.h"
#include "platform/gbk.h"
#include "platform/notice.h"

#include <crypt.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace {

// Traditional crypt uses the first eight password bytes as the DES key.
constexpr qsizetype kKeyBytes = 8;
constexpr qsizetype kSaltBytes = 2;
constexpr qsizetype kTokenBytes = 13;

const char kAlphabet[] = "./0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

// The six salt bits a byte stands for. For the alphabet this inverts kAlphabet; any other byte
// is mapped by the same three ranges and keeps its low six bits.
int saltValue(unsigned char c)
{
    const int v = c <= '9' ? c - 46 : c <= 'Z' ? c - 53 : c - 59;
    return v & 0x3F;
}

// crypt's work area, which holds the key bits: wiped when it goes, so no copy of the password
// stays behind in freed memory.
struct CryptWork {
    crypt_data data{};
    ~CryptWork() { explicit_bzero(&data, sizeof data); }
};

} // namespace

TPassCipher::TPassCipher(QObject *owner) : QObject(owner) {}

void TPassCipher::SetSalt(const QString &salt)
{
    const qsizetype size = gbk::encodeOrThrow(salt, QStringLiteral("salt")).size();
    if (size != 0 && size != kSaltBytes) {
        notice::show(notice::Kind::Plain, accounts_text::kCipherCaption, accounts_text::kSaltLength);
        return;
    }
    m_salt = salt;
}

QByteArray TPassCipher::Output() const
{
    // The error text leaves the password out: it is shown on screen.
    if (!gbk::canEncode(m_input))
        throw EEncodingError(accounts_text::kPasswordNotGbk);
    const QByteArray salt = m_salt.isEmpty() ? QByteArray(kDefaultSalt) : gbk::encode(m_salt);
    return passwordToken(gbk::encode(m_input), salt);
}

QByteArray passwordToken(const QByteArray &password, const QByteArray &salt)
{
    if (salt.size() != kSaltBytes)
        throw ECipherError(accounts_text::kCipherFailed.arg(QStringLiteral("the salt is not two bytes")));

    // Only the low seven bits of a key byte count, so a zero byte inside the password equals
    // 0x80; crypt would take the zero as the end of the password and drop the bytes after it.
    QByteArray key = password.left(kKeyBytes);
    key.replace('\0', '\x80');

    // The crypt library accepts only alphabet characters as salt; hash with the alphabet
    // characters of the same value and put the salt as given in front afterwards.
    const char setting[] = {kAlphabet[saltValue(uchar(salt[0]))], kAlphabet[saltValue(uchar(salt[1]))],
                            '\0'};

    auto work = std::make_unique<CryptWork>();
    errno = 0;
    const char *hash = crypt_rn(key.constData(), setting, &work->data, int(sizeof(crypt_data)));
    if (!hash || hash[0] == '*' || std::strlen(hash) != size_t(kTokenBytes)) {
        const QString reason = errno ? QString::fromLocal8Bit(std::strerror(errno))
                                     : QStringLiteral("unexpected result of crypt");
        throw ECipherError(accounts_text::kCipherFailed.arg(reason));
    }
    return salt + QByteArray(hash + kSaltBytes, kTokenBytes - kSaltBytes);
}
