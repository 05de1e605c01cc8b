#include "crypto_fixture.h"

#include <sodium.h>
#include <zlib.h>

namespace crypto_fixture {

DiaryKey fixedKey()
{
    QByteArray bytes(private_format::kKeySize, Qt::Uninitialized);
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i);
    return DiaryKey::fromBytes(bytes);
}

QByteArray sealRaw(const DiaryKey &key, QByteArrayView name, QByteArrayView deflated)
{
    const QByteArray ad = private_format::kEntryContext.toByteArray() + name.toByteArray();
    QByteArray payload(1 + private_format::kNonceSize + deflated.size() + private_format::kTagSize,
                       Qt::Uninitialized);
    auto *p = reinterpret_cast<unsigned char *>(payload.data());
    p[0] = private_format::kEntryFormat;
    randombytes_buf(p + 1, private_format::kNonceSize);
    unsigned long long written = 0;
    crypto_aead_xchacha20poly1305_ietf_encrypt(
        p + 1 + private_format::kNonceSize, &written,
        reinterpret_cast<const unsigned char *>(deflated.data()), deflated.size(),
        reinterpret_cast<const unsigned char *>(ad.data()), ad.size(), nullptr, p + 1, key.data());
    return payload;
}

QByteArray deflateRaw(QByteArrayView data, int level)
{
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(qsizetype(deflateBound(&z, uLong(data.size()))), Qt::Uninitialized);
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
    z.avail_in = uInt(data.size());
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.truncate(qsizetype(z.total_out));
    deflateEnd(&z);
    return out;
}

QByteArray deflateZeros(qint64 count)
{
    const QByteArray zeros(1 << 20, '\0');
    z_stream z{};
    deflateInit2(&z, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    QByteArray out;
    QByteArray piece(1 << 16, Qt::Uninitialized);
    int rc = Z_OK;
    while (rc != Z_STREAM_END) {
        if (z.avail_in == 0 && count > 0) {
            const qint64 n = qMin<qint64>(count, zeros.size());
            z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(zeros.data()));
            z.avail_in = uInt(n);
            count -= n;
        }
        z.next_out = reinterpret_cast<Bytef *>(piece.data());
        z.avail_out = uInt(piece.size());
        rc = deflate(&z, count == 0 ? Z_FINISH : Z_NO_FLUSH);
        out.append(piece.constData(), piece.size() - qsizetype(z.avail_out));
    }
    deflateEnd(&z);
    return out;
}

} // namespace crypto_fixture
