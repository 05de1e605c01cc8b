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

namespace {

constexpr int kLanes = 4;

// One piece in a lane of decryptTogether.
struct Lane
{
    KeyState state;
    char *at;
    qsizetype left;
    int piece;
};

// run bytes of each of the first N lanes, the lanes' steps interleaved byte by byte.
template <int N>
void decryptLanes(Lane *lanes, qsizetype run)
{
    KeyState s[N];
    char *at[N];
    for (int l = 0; l < N; ++l) {
        s[l] = lanes[l].state;
        at[l] = lanes[l].at;
    }
    for (qsizetype i = 0; i < run; ++i) {
        for (int l = 0; l < N; ++l) {
            const uchar plain = uchar(s[l].keyByte() ^ uchar(at[l][i]));
            at[l][i] = char(plain);
            s[l].update(plain);
        }
    }
    for (int l = 0; l < N; ++l) {
        lanes[l].state = s[l];
        lanes[l].at += run;
        lanes[l].left -= run;
    }
}

} // namespace

void ZipKeys::decryptTogether(ZipKeys *const *keys, char *const *data, const qsizetype *sizes,
                              int count)
{
    const z_crc_t *table = crcTable();
    Lane lanes[kLanes];
    int used = 0;
    int next = 0;
    for (;;) {
        // Pieces join as lanes free up, so that four run side by side while four are left.
        for (; used < kLanes && next < count; ++next) {
            if (sizes[next] > 0) {
                const ZipKeys &k = *keys[next];
                lanes[used++] = {{table, k.m_key0, k.m_key1, k.m_key2}, data[next], sizes[next], next};
            }
        }
        if (used == 0)
            return;
        qsizetype run = lanes[0].left;
        for (int l = 1; l < used; ++l)
            run = qMin(run, lanes[l].left);
        switch (used) {
        case 4: decryptLanes<4>(lanes, run); break;
        case 3: decryptLanes<3>(lanes, run); break;
        case 2: decryptLanes<2>(lanes, run); break;
        default: decryptLanes<1>(lanes, run); break;
        }
        for (int l = 0; l < used;) {
            if (lanes[l].left > 0) {
                ++l;
                continue;
            }
            ZipKeys &k = *keys[lanes[l].piece];
            k.m_key0 = lanes[l].state.k0;
            k.m_key1 = lanes[l].state.k1;
            k.m_key2 = lanes[l].state.k2;
            lanes[l] = lanes[--used];
        }
    }
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
