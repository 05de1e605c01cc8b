#include "crypto/secret.h"

#include "crypto/crypto_errors.h"
#include "crypto/private_format.h"

#include <QByteArray>

#include <new>
#include <utility>

#include <sodium.h>

void ensureSodium()
{
    // sodium_init is itself safe to call from several threads and more than once; the static
    // only saves the call. A failure is kept so every later call reports it too.
    static const int result = sodium_init();
    if (result < 0)
        throw ECryptoUnavailable(crypto_text::kSodiumInit);
}

SecretBytes::SecretBytes(qsizetype size)
{
    Q_ASSERT(size >= 0);
    if (size == 0)
        return;
    ensureSodium();
    m_data = static_cast<uchar *>(sodium_malloc(size_t(size)));
    if (!m_data)
        throw std::bad_alloc();
    m_size = size;
    sodium_memzero(m_data, size_t(size));
}

SecretBytes SecretBytes::copyOf(QByteArrayView bytes)
{
    SecretBytes s(bytes.size());
    if (!bytes.isEmpty())
        memcpy(s.m_data, bytes.data(), size_t(bytes.size()));
    return s;
}

SecretBytes SecretBytes::utf8(const QString &text)
{
    QByteArray plain = text.toUtf8();
    SecretBytes s;
    // The copy can fail for want of memory; the plain bytes are wiped on every path.
    struct Wipe {
        QByteArray &b;
        ~Wipe() { if (!b.isEmpty()) sodium_memzero(b.data(), size_t(b.size())); }
    } wipe{plain};
    s = copyOf(plain);
    return s;
}

SecretBytes::~SecretBytes()
{
    if (m_data)
        sodium_free(m_data);   // wipes before it frees
}

SecretBytes::SecretBytes(SecretBytes &&other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0))
{
}

SecretBytes &SecretBytes::operator=(SecretBytes &&other) noexcept
{
    if (this != &other) {
        if (m_data)
            sodium_free(m_data);
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

DiaryKey DiaryKey::generate()
{
    DiaryKey key = zeroed();
    randombytes_buf(key.data(), size_t(private_format::kKeySize));
    return key;
}

DiaryKey DiaryKey::fromBytes(QByteArrayView bytes)
{
    Q_ASSERT(bytes.size() == private_format::kKeySize);
    DiaryKey key;
    key.m_bytes = SecretBytes::copyOf(bytes);
    return key;
}

DiaryKey DiaryKey::zeroed()
{
    DiaryKey key;
    key.m_bytes = SecretBytes(private_format::kKeySize);
    return key;
}

bool DiaryKey::sameAs(const DiaryKey &other) const
{
    if (isNull() || other.isNull())
        return isNull() && other.isNull();
    return sodium_memcmp(data(), other.data(), size_t(private_format::kKeySize)) == 0;
}
