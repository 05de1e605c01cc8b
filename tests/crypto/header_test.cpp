#include "crypto_fixture.h"

#include "crypto/crypto_errors.h"
#include "crypto/private_header.h"
#include "crypto/recovery_code.h"

#include <gtest/gtest.h>

#include <QList>

using namespace crypto_fixture;
using private_format::KdfParams;

namespace {

class PrivateHeaderTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_header = new PrivateHeader(PrivateHeader::create(fixedKey(), password(), recoveryCode(), kFast));
        s_text = s_header->text();
    }
    static void TearDownTestSuite() { delete s_header; }

    static PrivateHeader *s_header;
    static QByteArray s_text;
};

PrivateHeader *PrivateHeaderTest::s_header = nullptr;
QByteArray PrivateHeaderTest::s_text;

QList<QByteArray> lines(const QByteArray &text)
{
    QList<QByteArray> l = text.split('\n');
    l.removeLast();   // after the final line feed
    return l;
}

// The header with one field of one line (1 password, 2 recovery) replaced.
QByteArray withField(const QByteArray &text, int line, const QByteArray &name, const QByteArray &value)
{
    QList<QByteArray> l = lines(text);
    QList<QByteArray> fields = l[line].split(' ');
    for (QByteArray &f : fields)
        if (f.startsWith(name + '='))
            f = name + '=' + value;
    l[line] = fields.join(' ');
    return l.join('\n') + '\n';
}

QByteArray field(const QByteArray &text, int line, const QByteArray &name)
{
    for (const QByteArray &f : lines(text)[line].split(' '))
        if (f.startsWith(name + '='))
            return f.mid(name.size() + 1);
    return {};
}

} // namespace

TEST_F(PrivateHeaderTest, RoundTripsThroughItsTextAndUnlocksWithPasswordOrCode)
{
    const PrivateHeader parsed = PrivateHeader::parse(s_text);
    EXPECT_EQ(parsed.text(), s_text);
    EXPECT_EQ(parsed.passwordParams(), kFast);
    EXPECT_EQ(parsed.recoveryParams(), kFast);
    EXPECT_TRUE(PrivateHeader::isPrivate(s_text));

    const std::optional<DiaryKey> byPassword = parsed.unlock(password());
    ASSERT_TRUE(byPassword);
    EXPECT_TRUE(byPassword->sameAs(fixedKey()));
    const std::optional<DiaryKey> byCode = parsed.unlockWithRecoveryCode(recoveryCode());
    ASSERT_TRUE(byCode);
    EXPECT_TRUE(byCode->sameAs(fixedKey()));
}

TEST_F(PrivateHeaderTest, TextIsPrintableAsciiLinesFitForAnArchiveComment)
{
    // Many headers, so every salt, nonce and wrapped key shows its base64 in many forms.
    for (int i = 0; i < 40; ++i) {
        const QByteArray text =
            PrivateHeader::create(DiaryKey::generate(), password(), recovery_code::generate(), kFast).text();
        SCOPED_TRACE(text.toStdString());
        EXPECT_LE(text.size(), private_format::kMaxHeaderSize);
        EXPECT_FALSE(text.contains(QByteArrayView("PK\x05\x06", 4)));
        for (const char c : text)
            ASSERT_TRUE((c >= 0x20 && c <= 0x7E) || c == '\n') << int(c);
        EXPECT_EQ(lines(text).size(), 3);
    }
}

TEST_F(PrivateHeaderTest, EverySaltNonceAndKeyIsFresh)
{
    const QByteArray again = PrivateHeader::create(fixedKey(), password(), recoveryCode(), kFast).text();
    for (int line : {1, 2})
        for (const QByteArray name : {"salt", "nonce", "key"})
            EXPECT_NE(field(again, line, name), field(s_text, line, name)) << line << name.constData();
    EXPECT_NE(field(s_text, 1, "salt"), field(s_text, 2, "salt"));
}

TEST_F(PrivateHeaderTest, WrongSecretsGiveNoKey)
{
    const PrivateHeader h = PrivateHeader::parse(s_text);
    for (const QString &wrong : {QString(), QStringLiteral("秘密 diary 2"), QStringLiteral("秘密 diary 1 "),
                                 QStringLiteral("秘密 DIARY 1"), QStringLiteral("秘密 diary "),
                                 recoveryCode(), QString::fromLatin1(canonicalCode())})
        EXPECT_FALSE(h.unlock(wrong)) << wrong.toStdString();
    for (const QString &wrong : {password(), QStringLiteral("01AB-CD23-EFGH-4567-JKMN-89PR"),
                                 QStringLiteral("01AB-CD23-EFGH-4567-JKMN-89P"), QString()})
        EXPECT_FALSE(h.unlockWithRecoveryCode(wrong)) << wrong.toStdString();
}

TEST_F(PrivateHeaderTest, RecoveryCodeUnlocksHoweverItIsTyped)
{
    const PrivateHeader h = PrivateHeader::parse(s_text);
    for (const QString &typed : {QStringLiteral("01ab-cd23-efgh-4567-jkmn-89pq"),
                                 QStringLiteral("01ABCD23EFGH4567JKMN89PQ"),
                                 QStringLiteral(" 01AB CD23\tEFGH 4567 JKMN 89PQ "),
                                 QStringLiteral("OlAB-CD23-EFGH-4567-JKMN-89PQ"),
                                 QStringLiteral("oIab-cd23-efgh-4567-jkmn-89pq"),
                                 QStringLiteral("０１ＡＢ－ＣＤ２３\u3000EFGH-4567-JKMN-89PQ")}) {
        const std::optional<DiaryKey> key = h.unlockWithRecoveryCode(typed);
        ASSERT_TRUE(key) << typed.toStdString();
        EXPECT_TRUE(key->sameAs(fixedKey()));
    }
}

TEST_F(PrivateHeaderTest, NewPasswordRewrapsTheSameKeyAndKeepsTheRecoveryLine)
{
    const PrivateHeader h = PrivateHeader::parse(s_text);
    const QString newPassword = QStringLiteral("新的密码");
    const QByteArray rewrapped = h.withPassword(fixedKey(), newPassword, kFast).text();

    EXPECT_EQ(lines(rewrapped)[0], lines(s_text)[0]);
    EXPECT_EQ(lines(rewrapped)[2], lines(s_text)[2]);
    EXPECT_NE(lines(rewrapped)[1], lines(s_text)[1]);

    const PrivateHeader parsed = PrivateHeader::parse(rewrapped);
    EXPECT_FALSE(parsed.unlock(password()));
    const std::optional<DiaryKey> byNew = parsed.unlock(newPassword);
    ASSERT_TRUE(byNew);
    EXPECT_TRUE(byNew->sameAs(fixedKey()));
    const std::optional<DiaryKey> byCode = parsed.unlockWithRecoveryCode(recoveryCode());
    ASSERT_TRUE(byCode);
    EXPECT_TRUE(byCode->sameAs(fixedKey()));
}

TEST_F(PrivateHeaderTest, NewPasswordMayRaiseTheParameters)
{
    const KdfParams stronger{16, 2};
    const PrivateHeader parsed =
        PrivateHeader::parse(PrivateHeader::parse(s_text).withPassword(fixedKey(), password(), stronger).text());
    EXPECT_EQ(parsed.passwordParams(), stronger);
    EXPECT_EQ(parsed.recoveryParams(), kFast);
    EXPECT_TRUE(parsed.unlock(password()));
}

// Changes that keep the header well formed: it parses, and the wrap no longer opens, because the
// parameters, salt and label are authenticated with the wrapped key.
TEST_F(PrivateHeaderTest, AuthenticatedFieldsChangedMakeTheUnwrapFail)
{
    struct Case {
        const char *what;
        QByteArray text;
    };
    QByteArray salt = QByteArray::fromBase64(field(s_text, 1, "salt"));
    salt[3] = char(salt[3] ^ 0x40);
    QByteArray nonce = QByteArray::fromBase64(field(s_text, 1, "nonce"));
    nonce[0] = char(nonce[0] ^ 1);
    QByteArray key = QByteArray::fromBase64(field(s_text, 1, "key"));
    key[47] = char(key[47] ^ 0x80);
    const Case cases[] = {
        {"memory raised", withField(s_text, 1, "m", "9")},
        {"passes raised", withField(s_text, 1, "t", "2")},
        {"salt changed", withField(s_text, 1, "salt", salt.toBase64())},
        {"nonce changed", withField(s_text, 1, "nonce", nonce.toBase64())},
        {"wrapped key changed", withField(s_text, 1, "key", key.toBase64())},
        {"recovery wrap copied into the password line",
         withField(withField(withField(s_text, 1, "salt", field(s_text, 2, "salt")), 1, "nonce",
                             field(s_text, 2, "nonce")),
                   1, "key", field(s_text, 2, "key"))},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const PrivateHeader h = PrivateHeader::parse(c.text);
        EXPECT_FALSE(h.unlock(password()));
    }
}

// The label is bound too: a secret that is both a password and a canonical recovery code opens
// the recovery wrap only through the recovery line.
TEST(PrivateHeaderLabel, AWrapMovedToTheOtherLineFails)
{
    const QString both = QString::fromLatin1(canonicalCode());
    const QByteArray text = PrivateHeader::create(fixedKey(), both, both, kFast).text();
    QList<QByteArray> l = lines(text);
    const QByteArray passwordBody = l[1].mid(l[1].indexOf(' '));
    const QByteArray recoveryBody = l[2].mid(l[2].indexOf(' '));
    const PrivateHeader swapped = PrivateHeader::parse(
        l[0] + '\n' + "password" + recoveryBody + '\n' + "recovery" + passwordBody + '\n');
    EXPECT_FALSE(swapped.unlock(both));
    EXPECT_FALSE(swapped.unlockWithRecoveryCode(both));
    EXPECT_TRUE(PrivateHeader::parse(text).unlock(both));
}

TEST_F(PrivateHeaderTest, DamagedHeadersAreRefusedWithTheirReason)
{
    struct Case {
        const char *what;
        QByteArray text;
        QString reason;
    };
    QByteArray longer = s_text;
    longer.append(QByteArray(private_format::kMaxHeaderSize, 'x'));
    QByteArray saltBadPadding = field(s_text, 1, "salt");
    {
        // The last character before "==" carries two bits of the salt and four unused ones,
        // zero in the canonical form; the next character of the alphabet sets one of them.
        const QByteArray alphabet("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/");
        saltBadPadding[21] = alphabet[alphabet.indexOf(saltBadPadding[21]) + 1];
    }
    const QString line2 = crypto_text::kHeaderBadLine.arg(2);
    const auto badField = [](int line, const char *f) {
        return crypto_text::kHeaderBadField.arg(line).arg(QLatin1String(f));
    };
    const auto range = [](int line, const char *p) {
        return crypto_text::kHeaderParamRange.arg(line).arg(QLatin1String(p));
    };
    QByteArray crlf = s_text;
    crlf.replace("\n", "\r\n");
    QByteArray withZero = s_text;
    withZero[30] = '\0';
    QByteArray highByte = s_text;
    highByte[30] = char(0xB0);
    const Case cases[] = {
        {"empty", QByteArray(), crypto_text::kHeaderNoMagic},
        {"an old password token", "ab01FAX.bQRSU", crypto_text::kHeaderNoMagic},
        {"magic in lower case", s_text.toLower(), crypto_text::kHeaderNoMagic},
        {"version with a leading zero", QByteArray(s_text).replace("PRIVATE 1\n", "PRIVATE 01\n"),
         crypto_text::kHeaderBadLine.arg(1)},
        {"version zero", QByteArray(s_text).replace("PRIVATE 1\n", "PRIVATE 0\n"),
         crypto_text::kHeaderBadLine.arg(1)},
        {"version followed by a space", QByteArray(s_text).replace("PRIVATE 1\n", "PRIVATE 1 \n"),
         crypto_text::kHeaderBadLine.arg(1)},
        {"no version", QByteArray(s_text).replace("PRIVATE 1\n", "PRIVATE \n"),
         crypto_text::kHeaderBadLine.arg(1)},
        {"carriage returns", crlf, crypto_text::kHeaderBadLine.arg(1)},
        {"a zero byte", withZero, crypto_text::kHeaderNotText},
        {"a byte above ASCII", highByte, crypto_text::kHeaderNotText},
        {"no final line feed", s_text.chopped(1), crypto_text::kHeaderNotText},
        {"a fourth line", s_text + "extra\n", crypto_text::kHeaderTrailing},
        {"an empty fourth line", s_text + "\n", crypto_text::kHeaderTrailing},
        {"the recovery line missing", lines(s_text)[0] + '\n' + lines(s_text)[1] + '\n',
         crypto_text::kHeaderBadLine.arg(3)},
        {"lines swapped", lines(s_text)[0] + '\n' + lines(s_text)[2] + '\n' + lines(s_text)[1] + '\n', line2},
        {"two spaces", QByteArray(s_text).replace(" t=", "  t="), line2},
        {"longer than any header", longer, crypto_text::kHeaderTooLong},
        {"another algorithm", QByteArray(s_text).replace("password argon2id", "password argon2i"), line2},
        {"another Argon2 version", QByteArray(s_text).replace("password argon2id v=19", "password argon2id v=16"),
         badField(2, "v=16")},
        {"two lanes", withField(s_text, 1, "p", "2"), badField(2, "p=2")},
        {"memory below the least", withField(s_text, 1, "m", "7"), range(2, "m")},
        {"memory above the most", withField(s_text, 1, "m", "1048577"), range(2, "m")},
        {"memory beyond 32 bits", withField(s_text, 1, "m", "4294967296"), badField(2, "m")},
        {"memory with a leading zero", withField(s_text, 1, "m", "08"), badField(2, "m")},
        {"memory negative", withField(s_text, 1, "m", "-8"), badField(2, "m")},
        {"memory empty", withField(s_text, 1, "m", ""), badField(2, "m")},
        {"passes zero", withField(s_text, 2, "t", "0"), range(3, "t")},
        {"passes above the most", withField(s_text, 2, "t", "5"), range(3, "t")},
        {"passes huge", withField(s_text, 2, "t", "4294967295"), range(3, "t")},
        {"salt one byte short", withField(s_text, 1, "salt", QByteArray(15, 'a').toBase64()), badField(2, "salt")},
        {"salt not canonical", withField(s_text, 1, "salt", saltBadPadding), badField(2, "salt")},
        {"salt without padding", withField(s_text, 1, "salt", field(s_text, 1, "salt").chopped(2)), badField(2, "salt")},
        {"salt in URL-safe base64", withField(s_text, 1, "salt", "-_-_-_-_-_-_-_-_-_-_-w=="), badField(2, "salt")},
        {"nonce one byte long", withField(s_text, 2, "nonce", QByteArray(25, 'a').toBase64()), badField(3, "nonce")},
        {"wrapped key short", withField(s_text, 2, "key", QByteArray(32, 'a').toBase64()), badField(3, "key")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        try {
            PrivateHeader::parse(c.text);
            ADD_FAILURE() << "parsed";
        } catch (const EPrivateHeaderDamaged &e) {
            EXPECT_EQ(e.message(), crypto_text::kHeaderDamaged.arg(c.reason));
        }
    }
}

TEST_F(PrivateHeaderTest, EveryTruncationIsDamage)
{
    for (qsizetype n = 0; n < s_text.size(); ++n)
        EXPECT_THROW(PrivateHeader::parse(s_text.first(n)), EPrivateHeaderDamaged) << n;
}

TEST_F(PrivateHeaderTest, LaterVersionsAreReportedAsSuch)
{
    for (const QByteArray version : {"2", "10", "999999999"}) {
        QByteArray text = s_text;
        text.replace("PRIVATE 1\n", "PRIVATE " + version + '\n');
        // A later version may change everything after its magic line.
        for (const QByteArray &t : {text, "QUILLBOOK-PRIVATE " + version + "\n\x01\x02 anything"}) {
            try {
                PrivateHeader::parse(t);
                ADD_FAILURE() << "parsed";
            } catch (const EPrivateVersion &e) {
                EXPECT_EQ(e.message(), crypto_text::kUnsupportedVersion.arg(QString::fromLatin1(version)));
            }
        }
    }
    // Ten digits are no version number but damage.
    EXPECT_THROW(PrivateHeader::parse("QUILLBOOK-PRIVATE 1234567890\n"), EPrivateHeaderDamaged);
}

TEST_F(PrivateHeaderTest, TheBoundsThemselvesAreAccepted)
{
    const QByteArray most = withField(withField(s_text, 1, "m", "1048576"), 1, "t", "4");
    EXPECT_EQ(PrivateHeader::parse(most).passwordParams(), private_format::kMaximumKdf);
    EXPECT_EQ(PrivateHeader::parse(most).text(), most);
}

TEST(PrivateHeaderCreate, RefusesAMalformedRecoveryCode)
{
    EXPECT_THROW(PrivateHeader::create(fixedKey(), password(), QStringLiteral("01AB-CD23"), kFast),
                 ERecoveryCodeInvalid);
}

TEST(PrivateHeaderCreate, AnEmptyPasswordIsAPasswordLikeAnyOther)
{
    const PrivateHeader h = PrivateHeader::parse(
        PrivateHeader::create(fixedKey(), QString(), recoveryCode(), kFast).text());
    const std::optional<DiaryKey> key = h.unlock(QString());
    ASSERT_TRUE(key);
    EXPECT_TRUE(key->sameAs(fixedKey()));
    EXPECT_FALSE(h.unlock(QStringLiteral(" ")));
}
