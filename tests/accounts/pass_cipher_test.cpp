#include "accounts/messages.h"
#include "accounts/pass_cipher.h"
#include "platform/gbk.h"
#include "platform/notice.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cctype>

using namespace testing_support;

namespace {

// Perl's crypt over the very bytes given: they travel as hex so that no encoding touches them.
QByteArray perlCrypt(const QByteArray &password, const QByteArray &salt)
{
    const RunResult r = run(perlProgram(),
                            {QStringLiteral("-e"), QStringLiteral("print crypt(pack('H*', $ARGV[0]), $ARGV[1])"),
                             QString::fromLatin1(password.toHex()), QString::fromLatin1(salt)});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    return r.out;
}

QByteArray tokenOf(const QString &input, const QString &salt = QStringLiteral("53"))
{
    TPassCipher cipher;
    cipher.SetSalt(salt);
    cipher.SetInput(input);
    return cipher.Output();
}

struct Notices {
    QList<QStringList> shown;
    Notices()
    {
        notice::setHandler([this](notice::Kind kind, const QString &caption, const QString &text) {
            shown.append({kind == notice::Kind::Plain ? QStringLiteral("plain") : QStringLiteral("icon"),
                          caption, text});
        });
    }
    ~Notices() { notice::setHandler({}); }
};

} // namespace

TEST(PassCipher, TokensEqualPerlsCryptOfTheGbkBytes)
{
    const QStringList passwords = {
        QString(),                          // empty
        QStringLiteral("abc"),              // short
        QStringLiteral("password"),         // exactly eight
        QStringLiteral("password1234"),     // longer than eight
        QStringLiteral("张三的日记本"),     // Chinese: twelve GBK bytes, all with the high bit
        QStringLiteral("a€éü"),             // 0x80 and other single and double bytes
    };
    for (const QString &password : passwords) {
        const QByteArray token = tokenOf(password);
        EXPECT_EQ(token.size(), 13);
        EXPECT_EQ(token, perlCrypt(gbk::encode(password), "53")) << qPrintable(password);
    }
    // Bytes that are no GBK text at all reach the hash unchanged.
    const QByteArray raw("\xff\xfe\x80\x81\x01\x7f\xa0\xc3\xbf", 9);
    EXPECT_EQ(passwordToken(raw, "53"), perlCrypt(raw, "53"));
}

TEST(PassCipher, OnlyTheLowSevenBitsOfTheFirstEightBytesDecide)
{
    const QByteArray token = tokenOf(QStringLiteral("abcdefgh"));
    EXPECT_EQ(tokenOf(QStringLiteral("abcdefghXYZ")), token);
    EXPECT_NE(tokenOf(QStringLiteral("abcdefgX")), token);
    EXPECT_EQ(passwordToken(QByteArray("\xe1\xe2\xe3\xe4\xe5\xe6\xe7\xe8"), "53"), token);

    // Short passwords count as padded with zero bytes, and so does the empty one.
    EXPECT_EQ(tokenOf(QString::fromLatin1("abc\0\0\0\0\0", 8)), tokenOf(QStringLiteral("abc")));
    EXPECT_EQ(passwordToken(QByteArray(8, '\0'), "53"), tokenOf(QString()));

    // A zero byte inside the password ends nothing: the bytes after it still count.
    const QString withZero = QString::fromLatin1("a\0b", 3);
    EXPECT_EQ(tokenOf(withZero), perlCrypt("a\x80" "b", "53"));
    EXPECT_NE(tokenOf(withZero), tokenOf(QStringLiteral("a")));
}

TEST(PassCipher, TokenStartsWithTheSaltAsSetAlsoOutsideTheAlphabet)
{
    const QByteArray password = gbk::encode(QStringLiteral("密码abc"));
    // Each salt beside the alphabet characters of the same six-bit values.
    const QList<std::pair<QString, QByteArray>> salts = {
        {QStringLiteral("53"), "53"},   {QStringLiteral("./"), "./"},   {QStringLiteral("zZ"), "zZ"},
        {QStringLiteral("!!"), "nn"},   {QStringLiteral("~~"), "11"},   {QStringLiteral(":["), "3U"},
        {QStringLiteral("@`"), "9Z"},   {QStringLiteral("中"), "PJ"},
    };
    for (const auto &[salt, mapped] : salts) {
        const QByteArray token = tokenOf(gbk::decode(password), salt);
        const QByteArray saltBytes = gbk::encode(salt);
        EXPECT_EQ(token.left(2), saltBytes) << qPrintable(salt);
        EXPECT_EQ(token.mid(2), perlCrypt(password, mapped).mid(2)) << qPrintable(salt);
    }
}

TEST(PassCipher, AWrongSaltLengthIsAnnouncedAndKeepsTheOldSalt)
{
    Notices notices;
    TPassCipher cipher;
    cipher.SetSalt(QStringLiteral("53"));
    cipher.SetSalt(QStringLiteral("x"));
    cipher.SetSalt(QStringLiteral("xyz"));
    EXPECT_EQ(cipher.Salt(), QStringLiteral("53"));
    const QStringList box = {QStringLiteral("plain"), QStringLiteral("PassCipher"),
                             QStringLiteral("Salt length must be 0 or 2!")};
    EXPECT_EQ(notices.shown, QList<QStringList>({box, box}));
    EXPECT_EQ(cipher.Output(), perlCrypt("", "53"));

    // An empty salt selects the built-in one: an upper-case, then a lower-case letter.
    cipher.SetSalt(QString());
    EXPECT_EQ(notices.shown.size(), 2);
    const QByteArray token = cipher.Output();
    ASSERT_EQ(token.size(), 13);
    EXPECT_TRUE(std::isupper(uchar(token[0])) && std::islower(uchar(token[1])));
    EXPECT_EQ(token, perlCrypt("", token.left(2)));
}

TEST(PassCipher, APasswordGbkCannotHoldIsRefusedWithoutShowingIt)
{
    const QString password = QStringLiteral("secret\U0001F600");
    try {
        tokenOf(password);
        FAIL() << "no error";
    } catch (const EEncodingError &e) {
        EXPECT_FALSE(e.message().contains(QStringLiteral("secret")));
        EXPECT_EQ(e.message(), accounts_text::kPasswordNotGbk);
    }
}

TEST(PassCipher, TheToolPrintsTheToken)
{
    const QString tool = binDir() + QStringLiteral("/quillbook-tool");
    RunResult r = run(tool, {QStringLiteral("token"), QStringLiteral("张三")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, perlCrypt(gbk::encode(QStringLiteral("张三")), "53") + '\n');

    r = run(tool, {QStringLiteral("token"), QStringLiteral("pw"), QStringLiteral("--salt"), QStringLiteral("!!")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "!!" + perlCrypt("pw", "nn").mid(2) + '\n');

    r = run(tool, {QStringLiteral("token"), QStringLiteral("pw"), QStringLiteral("--salt"), QStringLiteral("abc")});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(r.err.contains("Salt length must be 0 or 2!"));
}
