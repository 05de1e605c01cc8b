#include "platform/exception.h"
#include "platform/gbk.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>
#include <QStringDecoder>

TEST(Gbk, EncodesAsWindowsCodePage936)
{
    EXPECT_EQ(gbk::encode(QStringLiteral("张三")), QByteArray("\xD5\xC5\xC8\xFD"));
    EXPECT_EQ(gbk::encode(QStringLiteral("年月日")), QByteArray("\xC4\xEA\xD4\xC2\xC8\xD5"));
    // The ideographic space of the weather and mood items.
    EXPECT_EQ(gbk::encode(QStringLiteral("\u3000")), QByteArray("\xA1\xA1"));
    // Code page 936 has the euro sign at 0x80; plain GB2312 tables do not.
    EXPECT_EQ(gbk::decode(QByteArray("\x80")), QStringLiteral("\u20AC"));
    // A GBK extension pair (not in GB2312) decodes as a whole.
    EXPECT_EQ(gbk::decode(QByteArray("\x81\x40")), QStringLiteral("\u4E02"));
}

TEST(Gbk, KnowsWhatItCannotStore)
{
    EXPECT_TRUE(gbk::canEncode(QStringLiteral("日记 diary")));
    EXPECT_FALSE(gbk::canEncode(QStringLiteral("smile \U0001F600")));
    EXPECT_FALSE(gbk::canEncode(QStringLiteral("한국어")));
    EXPECT_THROW(gbk::encodeOrThrow(QStringLiteral("\U0001F600"), QStringLiteral("user name")),
                 EEncodingError);
}

// The converter alone, as every GBK text was decoded before the table: the reference.
QString converterDecode(const QByteArray &bytes)
{
    QStringDecoder decoder("GBK");
    return decoder.decode(bytes);
}

void expectSameAsConverter(const QByteArray &bytes)
{
    const QString expected = converterDecode(bytes);
    EXPECT_EQ(gbk::decode(bytes), expected) << bytes.toHex().constData();
    static gbk::Decoder decoder;   // one decoder for every piece, as the RTF reader keeps it
    EXPECT_EQ(decoder.decode(bytes), expected) << bytes.toHex().constData();
}

TEST(Gbk, DecodesEveryByteAndPairAsTheConverterDoes)
{
    for (int b = 0; b < 256; ++b)
        expectSameAsConverter(QByteArray(1, char(b)));
    // Every lead byte with every byte after it, valid or not, alone and between ASCII and
    // Chinese text (a pair the table leaves to the converter, then text again).
    for (int lead = 0x80; lead <= 0xFF; ++lead) {
        for (int trail = 0; trail < 256; ++trail) {
            const QByteArray pair{QByteArray(1, char(lead)) + char(trail)};
            expectSameAsConverter(pair);
            expectSameAsConverter("ab" + pair + "\xD5\xC5" "cd\x81");
            expectSameAsConverter("\xC4\xEA" + pair + "\xD4\xC2 long ascii run of text");
        }
    }
}

TEST(Gbk, DecodesRandomBytesAsTheConverterDoes)
{
    QRandomGenerator random(935);
    for (int n = 0; n < 20000; ++n) {
        QByteArray bytes(random.bounded(1, 40), Qt::Uninitialized);
        // Mostly high bytes, where the pairs are, with ASCII runs between them.
        for (char &c : bytes)
            c = char(random.bounded(4) == 0 ? random.bounded(0x20, 0x80) : random.bounded(0x80, 0x100));
        expectSameAsConverter(bytes);
    }
}

TEST(StrToInt, AcceptsWhatTheConversionRoutineAccepts)
{
    EXPECT_EQ(StrToInt(QStringLiteral("6")), 6);
    EXPECT_EQ(StrToInt(QStringLiteral("-1")), -1);
    EXPECT_EQ(StrToInt(QStringLiteral(" 5")), 5);
    EXPECT_EQ(StrToInt(QStringLiteral("$1F")), 31);
}

TEST(StrToInt, RejectsEverythingElseWithTheConversionText)
{
    for (const char *bad : {"", "abc", "5 ", "1.5", "99999999999", "-"}) {
        try {
            StrToInt(QString::fromLatin1(bad));
            ADD_FAILURE() << "accepted " << bad;
        } catch (const EConvertError &e) {
            EXPECT_EQ(e.message(),
                      QStringLiteral("'%1' is not a valid integer value").arg(QString::fromLatin1(bad)));
        }
    }
}
