#include "accounts/login.h"
#include "accounts/pass_cipher.h"
#include "accounts/private_login.h"
#include "archive/archive_writer.h"
#include "crypto/recovery_code.h"
#include "diary/diary_book.h"
#include "diary/messages.h"
#include "platform/exception.h"
#include "platform/gbk.h"
#include "support/test_support.h"
#include "versions/kept_versions.h"

#include <QBuffer>
#include <QDir>
#include <QTemporaryDir>

#include "templates/templates.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

const QString kZhangSan = QStringLiteral("张三");
const QByteArray kEntry = gbk::encode(QStringLiteral("2003年11月29日"));
const QByteArray kRecord = "{\\rtf1 0\\par 1\\par a private day}";

// Private diaries as the login page and the user settings dialog use them, without a window, in
// a working folder of their own; the key derivation runs at its cheapest so the tests stay fast.
class PrivateAccounts : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_root.isValid());
        m_previous = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(m_root.path()));
        m_cipher.SetSalt(accounts::kPasswordSalt);
        accounts::setPrivateKdf(private_format::kMinimumKdf);
    }
    void TearDown() override
    {
        accounts::setPrivateKdf(private_format::kDefaultKdf);
        QDir::setCurrent(m_previous);
    }

    accounts::LoginResult logIn(const QString &password)
    {
        TArchiveReader archive;
        return accounts::logIn(archive, m_cipher, kZhangSan, password);
    }

    // The record of kEntry, read with the key a login gives.
    QByteArray readWith(const QString &password)
    {
        accounts::LoginResult login = logIn(password);
        EXPECT_TRUE(login.matched && login.key);
        if (!login.key)
            return {};
        TArchiveReader reader;
        reader.SetZipName(kZhangSan);
        diary::EntryProblem problem = diary::EntryProblem::Missing;
        const QByteArray record = diary::readEntry(reader, kEntry, &problem, &*login.key);
        EXPECT_EQ(problem, diary::EntryProblem::None);
        return record;
    }

    QString createPrivate(const QString &password)
    {
        TArchiveWriter archive;
        const QString code = accounts::createPrivateUserArchive(archive, kZhangSan, password);
        accounts::LoginResult login = logIn(password);
        EXPECT_TRUE(login.key.has_value());
        TArchiveWriter writer;
        writer.SetZipName(kZhangSan);
        EXPECT_EQ(diary::storeEntry(writer, kEntry, kRecord, &*login.key), diary::EntryProblem::None);
        return code;
    }

    static QByteArray commentOf(const QString &name)
    {
        TArchiveReader reader;
        reader.SetZipName(name);
        reader.OpenArchive();
        return reader.ArchiveCommentBytes();
    }

    // The archive without its comment (and the comment's length field before it).
    static QByteArray withoutComment(const QString &name)
    {
        const QByteArray bytes = readFile(name);
        return bytes.left(bytes.size() - commentOf(name).size() - 2);
    }

    QTemporaryDir m_root;
    QString m_previous;
    TPassCipher m_cipher;
};

} // namespace

TEST_F(PrivateAccounts, APrivateUserLogsInWithTheRightPasswordOnly)
{
    const QString code = createPrivate(QStringLiteral("密码 one"));
    EXPECT_TRUE(recovery_code::isWellFormed(code));
    TArchiveReader reader;
    EXPECT_TRUE(accounts::isPrivateUser(reader, kZhangSan));
    EXPECT_EQ(readWith(QStringLiteral("密码 one")), kRecord);
    // Nothing of the entry is in the file in clear.
    EXPECT_FALSE(readFile(kZhangSan).contains("private day"));

    const QByteArray before = readFile(kZhangSan);
    for (const QString &wrong : {QStringLiteral("密码 One"), QString(), QStringLiteral("密码 one "), code}) {
        const accounts::LoginResult login = logIn(wrong);
        EXPECT_FALSE(login.matched) << wrong.toStdString();
        EXPECT_FALSE(login.key.has_value());
    }
    EXPECT_EQ(readFile(kZhangSan), before);
}

TEST_F(PrivateAccounts, ChangingThePasswordChangesOnlyTheComment)
{
    createPrivate(QStringLiteral("old"));
    const QByteArray body = withoutComment(kZhangSan);
    const QByteArray comment = commentOf(kZhangSan);

    TArchiveWriter archive;
    EXPECT_FALSE(accounts::changeDiaryPassword(archive, m_cipher, kZhangSan, QStringLiteral("wrong"),
                                          QStringLiteral("new")));
    EXPECT_EQ(commentOf(kZhangSan), comment);

    ASSERT_TRUE(accounts::changeDiaryPassword(archive, m_cipher, kZhangSan, QStringLiteral("old"),
                                         QStringLiteral("new")));
    EXPECT_EQ(withoutComment(kZhangSan), body);
    EXPECT_NE(commentOf(kZhangSan), comment);
    // The recovery line is the same bytes: the code written down still works.
    EXPECT_EQ(commentOf(kZhangSan).split('\n')[2], comment.split('\n')[2]);
    EXPECT_FALSE(logIn(QStringLiteral("old")).matched);
    EXPECT_EQ(readWith(QStringLiteral("new")), kRecord);
}

TEST_F(PrivateAccounts, TheRecoveryCodeSetsANewPasswordAndTheOldOneStopsWorking)
{
    const QString code = createPrivate(QStringLiteral("forgotten"));
    const QByteArray before = readFile(kZhangSan);
    TArchiveWriter archive;

    QString mistyped = code;
    mistyped[0] = mistyped[0] == u'7' ? u'8' : u'7';
    for (const QString &wrong : {mistyped, QStringLiteral("not a code"), QString()})
        EXPECT_FALSE(accounts::recoverPassword(archive, kZhangSan, wrong, QStringLiteral("new")));
    EXPECT_EQ(readFile(kZhangSan), before);

    // Typed back in lower case with spaces for dashes, as people do.
    const QString typed = code.toLower().replace(u'-', u' ');
    ASSERT_TRUE(accounts::recoverPassword(archive, kZhangSan, typed, QStringLiteral("new")));
    EXPECT_FALSE(logIn(QStringLiteral("forgotten")).matched);
    EXPECT_EQ(readWith(QStringLiteral("new")), kRecord);
    EXPECT_EQ(withoutComment(kZhangSan), before.left(before.size() - commentOf(kZhangSan).size() - 2));
}

TEST_F(PrivateAccounts, RecoveryAndUnprotectingRefuseAnOldFormatDiary)
{
    TArchiveWriter archive;
    accounts::createUserArchive(archive, m_cipher, kZhangSan, QStringLiteral("old"));
    const QByteArray before = readFile(kZhangSan);
    EXPECT_THROW(accounts::recoverPassword(archive, kZhangSan, QStringLiteral("0000-0000-0000-0000-0000-0000"),
                                           QStringLiteral("new")),
                 EDiaryFormat);
    EXPECT_THROW(accounts::unprotectUser(archive, m_cipher, kZhangSan, QStringLiteral("old")), EDiaryFormat);
    EXPECT_EQ(readFile(kZhangSan), before);
}

// An old diary made private and back, with a whole older copy left beside it by a replacement
// that was interrupted: the copy goes when the diary becomes private, and the report says so.
TEST_F(PrivateAccounts, ConvertingBothWaysKeepsTheEntriesAndRemovesOlderCopies)
{
    TArchiveWriter archive;
    accounts::createUserArchive(archive, m_cipher, kZhangSan, QStringLiteral("pw"));
    {
        TArchiveWriter writer;
        writer.SetZipName(kZhangSan);
        writer.SetKeepVersions(true);
        ASSERT_EQ(diary::storeEntry(writer, kEntry, kRecord), diary::EntryProblem::None);
    }
    // The save kept the diary as it was, in the old format, as a version.
    ASSERT_EQ(versions::list(kZhangSan).size(), 1);
    const QString leftover = QStringLiteral(".张三.a1B2c3.tmp");
    const QString unrelated = QStringLiteral(".李四.a1B2c3.tmp");
    writeFile(leftover, readFile(kZhangSan));
    writeFile(unrelated, "another diary's");
    const QByteArray before = readFile(kZhangSan);
    templates::Templates set;
    set.everyDay = QByteArrayLiteral("{\\rtf1 template words}");
    templates::write(kZhangSan, set, nullptr);

    EXPECT_FALSE(accounts::protectUser(archive, m_cipher, kZhangSan, QStringLiteral("PW")));
    EXPECT_EQ(readFile(kZhangSan), before);
    EXPECT_TRUE(QFile::exists(leftover));

    const std::optional<accounts::ConversionReport> made =
        accounts::protectUser(archive, m_cipher, kZhangSan, QStringLiteral("pw"));
    ASSERT_TRUE(made);
    EXPECT_EQ(made->removedCopies, 2) << "the leftover and the old-format version";
    EXPECT_TRUE(versions::list(kZhangSan).isEmpty());
    EXPECT_TRUE(made->carried.isEmpty());
    EXPECT_TRUE(recovery_code::isWellFormed(made->recoveryCode));
    EXPECT_FALSE(QFile::exists(leftover));
    EXPECT_TRUE(QFile::exists(unrelated));
    EXPECT_FALSE(readFile(kZhangSan).contains("private day"));
    EXPECT_EQ(readWith(QStringLiteral("pw")), kRecord);
    // The templates are sealed with the diary key now.
    EXPECT_THROW(templates::read(kZhangSan, nullptr), templates::ETemplateError);
    EXPECT_THROW(accounts::protectUser(archive, m_cipher, kZhangSan, QStringLiteral("pw")), EDiaryFormat);

    const QByteArray sealed = readFile(kZhangSan);
    EXPECT_FALSE(accounts::unprotectUser(archive, m_cipher, kZhangSan, QStringLiteral("PW")));
    EXPECT_EQ(readFile(kZhangSan), sealed);
    const std::optional<accounts::ConversionReport> back =
        accounts::unprotectUser(archive, m_cipher, kZhangSan, QStringLiteral("pw"));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->removedCopies, 0);
    EXPECT_EQ(templates::read(kZhangSan, nullptr), set);
    const accounts::LoginResult login = logIn(QStringLiteral("pw"));
    EXPECT_TRUE(login.matched);
    EXPECT_FALSE(login.key.has_value());
    const RunResult unzipped = run(unzipProgram(), {QStringLiteral("-p"), QStringLiteral("-P"),
                                                    accounts::kArchivePassword, kZhangSan});
    EXPECT_EQ(unzipped.out, kRecord);
}
