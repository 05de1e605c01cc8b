#include "platform/exception.h"
#include "platform/gbk.h"

#include <gtest/gtest.h>

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
