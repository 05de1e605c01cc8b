#include "archive/zip_crypto.h"
#include "archive/zip_layout.h"

#include <ctime>
#include <zlib.h>

namespace zip {

namespace {

const z_crc_t *crcTable()
{
    static const z_crc_t *table = get_crc_table();
    return table;
}

} // namespace

ZipKeys::ZipKeys(QByteArrayView password)
    : m_key0(0x12345678), m_key1(0x23456789), m_key2(0x34567890)
{
    for (char c : password)
        update(uchar(c));
}

namespace {

// The cipher's step with the keys held in locals, so the byte loops stay in registers.
struct KeyState
{
    const z_crc_t *table;
    quint32 k0, k1, k2;

    uchar keyByte() const
    {
        const quint32 t = (k2 | 2) & 0xFFFF;
        return uchar((t * (t ^ 1)) >> 8);
    }

    void update(uchar plain)
    {
        k0 = quint32(table[(k0 ^ plain) & 0xFF]) ^ (k0 >> 8);
        k1 = (k1 + (k0 & 0xFF)) * 134775813u + 1;
        k2 = quint32(table[(k2 ^ (k1 >> 24)) & 0xFF]) ^ (k2 >> 8);
    }
};

} // namespace

void ZipKeys::update(uchar plain)
{
    KeyState s{crcTable(), m_key0, m_key1, m_key2};
    s.update(plain);
    m_key0 = s.k0;
    m_key1 = s.k1;
    m_key2 = s.k2;
}

uchar ZipKeys::keyByte() const
{
    return KeyState{nullptr, m_key0, m_key1, m_key2}.keyByte();
}

void ZipKeys::encrypt(char *data, qsizetype size)
{
    KeyState s{crcTable(), m_key0, m_key1, m_key2};
    for (qsizetype i = 0; i < size; ++i) {
        const uchar plain = uchar(data[i]);
        data[i] = char(s.keyByte() ^ plain);
        s.update(plain);
    }
    m_key0 = s.k0;
    m_key1 = s.k1;
    m_key2 = s.k2;
}

void ZipKeys::decrypt(char *data, qsizetype size)
{
    KeyState s{crcTable(), m_key0, m_key1, m_key2};
    for (qsizetype i = 0; i < size; ++i) {
        const uchar plain = uchar(s.keyByte() ^ uchar(data[i]));
        data[i] = char(plain);
        s.update(plain);
    }
    m_key0 = s.k0;
    m_key1 = s.k1;
    m_key2 = s.k2;
}

quint32 HeaderRandom::draw(quint32 bound)
{
    m_seed = m_seed * 134775813u + 1;
    return quint32((quint64(m_seed) * bound) >> 32);
}

quint32 counterSeed()
{
    struct timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return quint32(quint64(ts.tv_sec) * 1000000000u + quint64(ts.tv_nsec));
}

QByteArray makeEncryptionHeader(ZipKeys &keys, quint32 seed, quint32 crc)
{
    QByteArray header(kEncryptionHeaderSize, Qt::Uninitialized);
    HeaderRandom random(seed);
    for (int i = 0; i < kEncryptionHeaderSize - 2; ++i)
        header[i] = char(random.draw(32767) >> 7);
    header[kEncryptionHeaderSize - 2] = char((crc >> 16) & 0xFF);
    header[kEncryptionHeaderSize - 1] = char(crc >> 24);
    keys.encrypt(header.data(), header.size());
    return header;
}

bool checkEncryptionHeader(ZipKeys &keys, char *header, uchar expected)
{
    keys.decrypt(header, kEncryptionHeaderSize);
    return uchar(header[kEncryptionHeaderSize - 1]) == expected;
}

} // namespace zip
