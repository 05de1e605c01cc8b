#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

#include <functional>

// The traditional ZIP entry encryption: three 32-bit keys driven by the password and by every
// plain byte, a key-stream byte made from the third key, and a 12-byte header in front of the
// entry's data whose last byte lets a reader check the password.
namespace zip {

class ZipKeys
{
public:
    // key0 = 0x12345678, key1 = 0x23456789, key2 = 0x34567890, then every password byte.
    explicit ZipKeys(QByteArrayView password);

    // key0 = crc32 step(key0, p); key1 = (key1 + (key0 & 0xFF)) * 134775813 + 1;
    // key2 = crc32 step(key2, key1 >> 24).
    void update(uchar plain);
    // t = (key2 | 2) & 0xFFFF; ((t * (t ^ 1)) >> 8) & 0xFF, without changing the keys.
    uchar keyByte() const;

    // In place, each byte with the key state its predecessors left.
    void encrypt(char *data, qsizetype size);
    void decrypt(char *data, qsizetype size);
    // decrypt() on each of count pieces, each with its own keys (keys[i] for data[i], sizes[i]
    // bytes): the same bytes and keys as one piece after another. A byte's key update waits for
    // the previous byte's, so one piece leaves the processor idle most of the time; four pieces
    // side by side fill that wait.
    static void decryptTogether(ZipKeys *const *keys, char *const *data, const qsizetype *sizes,
                                int count);

    quint32 key0() const { return m_key0; }
    quint32 key1() const { return m_key1; }
    quint32 key2() const { return m_key2; }

private:
    quint32 m_key0;
    quint32 m_key1;
    quint32 m_key2;
};

// The run-time library's generator for the header's ten random bytes: each draw with bound N sets
// seed = seed * 134775813 + 1 and returns the high 32 bits of seed * N.
class HeaderRandom
{
public:
    explicit HeaderRandom(quint32 seed) : m_seed(seed) {}
    quint32 draw(quint32 bound);

private:
    quint32 m_seed;
};

// Where a writer takes the generator's seed before each encrypted entry. The default reads the
// low 32 bits of the monotonic clock in nanoseconds; tests give fixed seeds to compare bytes.
using SeedSource = std::function<quint32()>;
quint32 counterSeed();

// The 12 encrypted header bytes for an entry whose CRC-32 is crc: ten bytes (r >> 7 for draws r
// from 0 to 32766), then bits 16-23 and 24-31 of the CRC. Leaves the keys ready for the data.
QByteArray makeEncryptionHeader(ZipKeys &keys, quint32 seed, quint32 crc);

// Decrypts the 12 header bytes in place and compares the last with the expected check byte (the
// top byte of the CRC, or of the MS-DOS time for an entry with a data descriptor). The keys are
// then ready for the data.
bool checkEncryptionHeader(ZipKeys &keys, char *header, uchar expected);

} // namespace zip
