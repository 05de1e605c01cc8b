#include "crypto_fixture.h"

#include "crypto/crypto_errors.h"
#include "crypto/entry_seal.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>

using namespace crypto_fixture;
using entry_seal::OpenStatus;

namespace {

// "2003年10月5日" in GBK, as the container names entries.
const QByteArray kName = QByteArrayLiteral("2003\xC4\xEA" "10\xD4\xC2" "5\xC8\xD5");
const QByteArray kOtherName = QByteArrayLiteral("2003\xC4\xEA" "10\xD4\xC2" "6\xC8\xD5");

QByteArray randomBytes(qsizetype n, quint32 seed)
{
    QByteArray b(n, Qt::Uninitialized);
    QRandomGenerator g(seed);
    for (char &c : b)
        c = char(g.bounded(256));
    return b;
}

const QByteArray kRecord = QByteArrayLiteral(
    "{\\rtf1\\ansi\\ansicpg936\\deff0{\\fonttbl{\\f0\\fnil\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}}"
    "\\f0\\fs18 Tuesday: the hidden words of the diary\\par }");

} // namespace

TEST(EntrySeal, RoundTripsRecordsOfEveryKind)
{
    struct Case {
        const char *what;
        QByteArray name;
        QByteArray record;
    };
    const Case cases[] = {
        {"an RTF record", kName, kRecord},
        {"an empty record", kName, QByteArray()},
        {"an empty name", QByteArray(), kRecord},
        {"a megabyte that does not compress", kName, randomBytes(1 << 20, 7)},
        {"a megabyte that compresses well", kName, QByteArray(1 << 20, 'a')},
        {"zero bytes in the record", kName, QByteArray(300, '\0') + kRecord},
    };
    const DiaryKey key = fixedKey();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const QByteArray payload = entry_seal::seal(key, c.name, c.record);
        ASSERT_GE(payload.size(), private_format::kPayloadOverhead);
        EXPECT_EQ(quint8(payload[0]), private_format::kEntryFormat);
        EXPECT_EQ(payload.size(), private_format::kPayloadOverhead
                                      + deflateRaw(c.record, private_format::kDeflateLevel).size());
        const entry_seal::OpenResult opened = entry_seal::open(key, c.name, payload);
        EXPECT_EQ(opened.status, OpenStatus::Opened);
        EXPECT_EQ(opened.record, c.record);
        // A fresh nonce every time: the same record never seals to the same bytes.
        EXPECT_NE(entry_seal::seal(key, c.name, c.record), payload);
    }
}

TEST(EntrySeal, NoWordOfTheRecordIsVisible)
{
    const QByteArray record = QByteArray("hidden words ").repeated(200);
    const QByteArray payload = entry_seal::seal(fixedKey(), kName, record);
    EXPECT_FALSE(payload.contains("hidden"));
    EXPECT_FALSE(payload.contains("words"));
}

TEST(EntrySeal, EveryFlippedBitAnywhereFailsToOpen)
{
    const DiaryKey key = fixedKey();
    const QByteArray payload = entry_seal::seal(key, kName, kRecord);
    for (qsizetype i = 0; i < payload.size(); ++i) {
        for (const int bit : {0, 7}) {
            QByteArray damaged = payload;
            damaged[i] = char(damaged[i] ^ (1 << bit));
            const entry_seal::OpenResult r = entry_seal::open(key, kName, damaged);
            EXPECT_EQ(r.status, i == 0 ? OpenStatus::UnknownFormat : OpenStatus::NotAuthentic) << i;
            EXPECT_TRUE(r.record.isEmpty());
        }
    }
}

TEST(EntrySeal, ForeignOrTruncatedPayloadsFailCleanly)
{
    const DiaryKey key = fixedKey();
    const QByteArray payload = entry_seal::seal(key, kName, kRecord);
    struct Case {
        const char *what;
        QByteArray name;
        QByteArray payload;
        const DiaryKey &key;
        OpenStatus status;
    };
    const DiaryKey otherKey = DiaryKey::generate();
    const Case cases[] = {
        {"under another date", kOtherName, payload, key, OpenStatus::NotAuthentic},
        {"under the name with a trailing byte", kName + ' ', payload, key, OpenStatus::NotAuthentic},
        {"under an empty name", QByteArray(), payload, key, OpenStatus::NotAuthentic},
        {"with another diary's key", kName, payload, otherKey, OpenStatus::NotAuthentic},
        {"with a byte appended", kName, payload + 'x', key, OpenStatus::NotAuthentic},
        {"empty", kName, QByteArray(), key, OpenStatus::Malformed},
        {"only the format byte and nonce", kName, payload.first(25), key, OpenStatus::Malformed},
        {"one byte short of a tag", kName, payload.first(40), key, OpenStatus::Malformed},
        {"an empty ciphertext", kName, payload.first(41), key, OpenStatus::NotAuthentic},
        {"a later format", kName, QByteArray(1, '\x02') + payload.sliced(1), key, OpenStatus::UnknownFormat},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const entry_seal::OpenResult r = entry_seal::open(c.key, c.name, c.payload);
        EXPECT_EQ(r.status, c.status);
        EXPECT_TRUE(r.record.isEmpty());
        EXPECT_FALSE(entry_seal::describe(r.status).isEmpty());
    }
    for (qsizetype n = 0; n < payload.size(); ++n)
        EXPECT_NE(entry_seal::open(key, kName, payload.first(n)).status, OpenStatus::Opened) << n;
}

// Authentic payloads that a faulty or hostile writer holding the key could make.
TEST(EntrySeal, AuthenticButBadDeflateStreamsAreRefused)
{
    const DiaryKey key = fixedKey();
    const QByteArray good = deflateRaw(kRecord, 9);
    struct Case {
        const char *what;
        QByteArray deflated;
        OpenStatus status;
    };
    const Case cases[] = {
        {"not deflate at all", QByteArray("\xff\xff\xff\xff", 4), OpenStatus::BadDeflate},
        {"a stream cut short", good.chopped(3), OpenStatus::BadDeflate},
        {"bytes after the stream's end", good + "tail", OpenStatus::BadDeflate},
        {"nothing", QByteArray(), OpenStatus::BadDeflate},
        {"the stream itself", good, OpenStatus::Opened},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const entry_seal::OpenResult r = entry_seal::open(key, kName, sealRaw(key, kName, c.deflated));
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.record, c.status == OpenStatus::Opened ? kRecord : QByteArray());
    }
}

TEST(EntrySeal, InflatingStopsAtTheLimit)
{
    const DiaryKey key = fixedKey();
    const QByteArray deflated = deflateZeros(private_format::kMaxRecordSize + 1);
    const entry_seal::OpenResult r = entry_seal::open(key, kName, sealRaw(key, kName, deflated));
    EXPECT_EQ(r.status, OpenStatus::TooLarge);
    EXPECT_TRUE(r.record.isEmpty());
}

TEST(EntrySeal, RefusesToSealARecordOverTheLimit)
{
    const QByteArray huge(private_format::kMaxRecordSize + 1, 'a');
    EXPECT_THROW(entry_seal::seal(fixedKey(), kName, huge), ERecordTooLarge);
}
