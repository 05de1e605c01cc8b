#pragma once

#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

// Secrets in libsodium's guarded memory: sodium_malloc places them between guard pages, locks
// them out of swap where the system allows, and every secret is wiped with sodium_memzero and
// freed on destruction. Secrets move but never copy, so each one lives in exactly one place.
//
// Every function here may throw ECryptoUnavailable (libsodium could not be initialised) and
// std::bad_alloc (no guarded memory).

// Initialises libsodium once for the whole program; later calls return at once. Throws
// ECryptoUnavailable when it fails. Every function of this folder calls it first.
void ensureSodium();

// A guarded byte buffer of fixed size: a password's bytes, a normalised recovery code.
class SecretBytes
{
public:
    SecretBytes() = default;
    // size zero bytes.
    explicit SecretBytes(qsizetype size);
    // A guarded copy of bytes. The caller wipes its own copy.
    static SecretBytes copyOf(QByteArrayView bytes);
    // The UTF-8 bytes of text; the temporary array the conversion needs is wiped.
    static SecretBytes utf8(const QString &text);

    ~SecretBytes();
    SecretBytes(SecretBytes &&other) noexcept;
    SecretBytes &operator=(SecretBytes &&other) noexcept;
    SecretBytes(const SecretBytes &) = delete;
    SecretBytes &operator=(const SecretBytes &) = delete;

    qsizetype size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }
    uchar *data() { return m_data; }
    const uchar *data() const { return m_data; }
    QByteArrayView view() const { return QByteArrayView(m_data, m_size); }

private:
    uchar *m_data = nullptr;
    qsizetype m_size = 0;
};

// The 256-bit key of one private diary (or one derived from a password): exactly
// private_format::kKeySize bytes of guarded memory. A default-constructed key is null and must
// not be used for sealing or opening.
class DiaryKey
{
public:
    DiaryKey() = default;
    // A fresh key from libsodium's random source.
    static DiaryKey generate();
    // A key made of the given bytes, which must be kKeySize long (tests, fuzzing).
    static DiaryKey fromBytes(QByteArrayView bytes);
    // A zeroed key for a derivation or an unwrap to fill.
    static DiaryKey zeroed();

    bool isNull() const { return m_bytes.isEmpty(); }
    uchar *data() { return m_bytes.data(); }
    const uchar *data() const { return m_bytes.data(); }
    // Constant-time comparison (tests, checks).
    bool sameAs(const DiaryKey &other) const;

private:
    SecretBytes m_bytes;
};
