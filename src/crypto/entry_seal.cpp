#include "crypto/entry_seal.h"

#include "crypto/crypto_errors.h"
#include "crypto/private_format.h"

#include <new>

#include <sodium.h>
#include <zlib.h>

using namespace private_format;

namespace entry_seal {

namespace {

constexpr int kRawWindowBits = -15;
constexpr int kMemoryLevel = 8;
constexpr qsizetype kInflatePiece = 64 * 1024;

// Wipes a buffer of plain (deflated or inflated) text when it goes out of scope.
struct Wipe {
    QByteArray &bytes;
    ~Wipe()
    {
        if (!bytes.isEmpty())
            sodium_memzero(bytes.data(), size_t(bytes.size()));
    }
};

QByteArray associatedData(QByteArrayView name)
{
    QByteArray ad;
    ad.reserve(kEntryContext.size() + name.size());
    ad += kEntryContext;
    ad += name;
    return ad;
}

// record deflated in one call; the record's size is bounded, so everything fits zlib's uInt.
QByteArray deflateRecord(QByteArrayView record)
{
    z_stream z{};
    if (deflateInit2(&z, kDeflateLevel, Z_DEFLATED, kRawWindowBits, kMemoryLevel,
                     Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::bad_alloc();
    QByteArray out(qsizetype(deflateBound(&z, uLong(record.size()))), Qt::Uninitialized);
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(record.data()));
    z.avail_in = uInt(record.size());
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = uInt(out.size());
    const int rc = deflate(&z, Z_FINISH);
    const qsizetype produced = qsizetype(z.total_out);
    deflateEnd(&z);
    if (rc != Z_STREAM_END)   // with deflateBound's room only a lack of memory stops it
        throw std::bad_alloc();
    out.truncate(produced);
    return out;
}

// The record in a raw Deflate stream that must end exactly where the data does.
OpenStatus inflateRecord(QByteArrayView deflated, QByteArray &record)
{
    z_stream z{};
    if (inflateInit2(&z, kRawWindowBits) != Z_OK)
        throw std::bad_alloc();
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(deflated.data()));
    z.avail_in = uInt(deflated.size());
    QByteArray piece(kInflatePiece, Qt::Uninitialized);
    Wipe wipePiece{piece};
    OpenStatus status = OpenStatus::BadDeflate;
    for (;;) {
        z.next_out = reinterpret_cast<Bytef *>(piece.data());
        z.avail_out = uInt(piece.size());
        const int rc = inflate(&z, Z_NO_FLUSH);
        const qsizetype produced = piece.size() - qsizetype(z.avail_out);
        if (record.size() + produced > kMaxRecordSize) {
            status = OpenStatus::TooLarge;
            break;
        }
        record.append(piece.constData(), produced);
        if (rc == Z_STREAM_END) {
            status = z.avail_in == 0 ? OpenStatus::Opened : OpenStatus::BadDeflate;
            break;
        }
        if (rc == Z_MEM_ERROR) {
            inflateEnd(&z);
            throw std::bad_alloc();
        }
        // Z_BUF_ERROR with all input given means the stream stops short of its end.
        if (rc != Z_OK)
            break;
    }
    inflateEnd(&z);
    return status;
}

} // namespace

QByteArray seal(const DiaryKey &key, QByteArrayView name, QByteArrayView record)
{
    Q_ASSERT(!key.isNull());
    ensureSodium();
    if (record.size() > kMaxRecordSize)
        throw ERecordTooLarge(crypto_text::kRecordTooLarge.arg(record.size()).arg(kMaxRecordSize));
    QByteArray deflated = deflateRecord(record);
    Wipe wipeDeflated{deflated};
    const QByteArray ad = associatedData(name);

    QByteArray payload(1 + kNonceSize + deflated.size() + kTagSize, Qt::Uninitialized);
    auto *p = reinterpret_cast<unsigned char *>(payload.data());
    p[0] = kEntryFormat;
    randombytes_buf(p + 1, size_t(kNonceSize));
    unsigned long long written = 0;
    crypto_aead_xchacha20poly1305_ietf_encrypt(
        p + 1 + kNonceSize, &written, reinterpret_cast<const unsigned char *>(deflated.constData()),
        qulonglong(deflated.size()), reinterpret_cast<const unsigned char *>(ad.constData()),
        qulonglong(ad.size()), nullptr, p + 1, key.data());
    Q_ASSERT(qsizetype(written) == deflated.size() + kTagSize);
    return payload;
}

OpenResult open(const DiaryKey &key, QByteArrayView name, QByteArrayView payload)
{
    Q_ASSERT(!key.isNull());
    ensureSodium();
    OpenResult result;
    if (payload.size() < kPayloadOverhead) {
        result.status = OpenStatus::Malformed;
        return result;
    }
    const auto *p = reinterpret_cast<const unsigned char *>(payload.data());
    if (p[0] != kEntryFormat) {
        result.status = OpenStatus::UnknownFormat;
        return result;
    }
    const QByteArray ad = associatedData(name);
    const qsizetype sealedSize = payload.size() - 1 - kNonceSize;
    QByteArray deflated(sealedSize - kTagSize, Qt::Uninitialized);
    Wipe wipeDeflated{deflated};
    unsigned long long written = 0;
    if (crypto_aead_xchacha20poly1305_ietf_decrypt(
            reinterpret_cast<unsigned char *>(deflated.data()), &written, nullptr,
            p + 1 + kNonceSize, qulonglong(sealedSize),
            reinterpret_cast<const unsigned char *>(ad.constData()), qulonglong(ad.size()), p + 1,
            key.data()) != 0) {
        result.status = OpenStatus::NotAuthentic;
        return result;
    }
    Q_ASSERT(qsizetype(written) == deflated.size());
    result.status = inflateRecord(deflated, result.record);
    if (result.status != OpenStatus::Opened) {
        { Wipe wipeRecord{result.record}; }
        result.record.clear();
    }
    return result;
}

QString describe(OpenStatus status)
{
    switch (status) {
    case OpenStatus::Opened:
        return {};
    case OpenStatus::Malformed:
        return crypto_text::kEntryMalformed;
    case OpenStatus::UnknownFormat:
        return crypto_text::kEntryUnknownFormat;
    case OpenStatus::NotAuthentic:
        return crypto_text::kEntryNotAuthentic;
    case OpenStatus::BadDeflate:
        return crypto_text::kEntryBadDeflate;
    case OpenStatus::TooLarge:
        return crypto_text::kEntryTooLarge;
    }
    return {};
}

} // namespace entry_seal
