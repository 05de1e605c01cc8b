#include "accounts/login.h"
#include "accounts/messages.h"
#include "accounts/pass_cipher.h"
#include "accounts/user_name.h"
#include "archive/archive_writer.h"
#include "platform/exception.h"
#include "platform/gbk.h"
#include "support/test_support.h"

#include <QBuffer>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

const QString kZhangSan = QStringLiteral("张三");
const QString kEntryName = QStringLiteral("2003年11月29日");

// Each test works in a working folder of its own, as the program does: a user's diary is the file
// of that name in the working folder. The folder sits one level down, so a name that escaped it
// would show up in the level above.
class Accounts : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_root.isValid());
        ASSERT_TRUE(QDir(m_root.path()).mkdir(QStringLiteral("work")));
        m_previous = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(m_root.filePath(QStringLiteral("work"))));
        m_cipher.SetSalt(accounts::kPasswordSalt);
    }
    void TearDown() override { QDir::setCurrent(m_previous); }

    QStringList everything() const
    {
        QStringList all;
        for (const QString &folder : {m_root.path(), QDir::currentPath()}) {
            for (const QString &name : testing_support::entriesIn(folder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
                all.append(folder + QLatin1Char('/') + name);
        }
        return all;
    }

    void create(const QString &name, const QString &password)
    {
        TArchiveWriter archive;
        accounts::createUserArchive(archive, m_cipher, name, password);
    }

    bool matches(const QString &name, const QString &password)
    {
        TArchiveReader archive;
        return accounts::passwordMatches(archive, m_cipher, name, password);
    }

    bool change(const QString &name, const QString &oldPassword, const QString &newPassword)
    {
        TArchiveWriter archive;
        return accounts::changePassword(archive, m_cipher, name, oldPassword, newPassword);
    }

    static void addEntry(const QString &archive, const QString &name, QByteArray data)
    {
        TArchiveWriter writer;
        writer.SetZipName(archive);
        writer.SetPassword(accounts::kArchivePassword);
        QBuffer stream(&data);
        stream.open(QIODevice::ReadOnly);
        writer.AddFromStream(name, stream);
    }

    static QString errorOf(const std::function<void()> &body)
    {
        try {
            body();
        } catch (const Exception &e) {
            return e.message();
        }
        return {};
    }

    QTemporaryDir m_root;
    QString m_previous;
    TPassCipher m_cipher;
};

// Python's zipfile, a reader of its own: the number of entries and the comment as hex.
QByteArray pythonListing(const QString &archive)
{
    const RunResult r = run(python3Program(),
                            {QStringLiteral("-c"),
                             QStringLiteral("import sys, zipfile\n"
                                            "z = zipfile.ZipFile(sys.argv[1])\n"
                                            "print(len(z.infolist()), z.comment.hex())"),
                             archive});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    return r.out.trimmed();
}

} // namespace

TEST_F(Accounts, CreatingAUserMakesAnArchiveWithNoEntriesAndTheTokenAsComment)
{
    ASSERT_FALSE(accounts::userExists(kZhangSan));
    EXPECT_FALSE(accounts::userExists(QString()));
    create(kZhangSan, QStringLiteral("secret"));

    ASSERT_TRUE(accounts::userExists(kZhangSan));
    ASSERT_TRUE(QFile::exists(QStringLiteral("张三"))) << "named by the user name, UTF-8 on disk";
    const QByteArray token = passwordToken("secret", "53");
    ASSERT_EQ(token.size(), 13);
    EXPECT_TRUE(token.startsWith("53"));
    EXPECT_EQ(pythonListing(kZhangSan), "0 " + token.toHex());
    // Nothing but the diary: the user list is the dialog's business.
    EXPECT_EQ(testing_support::entriesIn(QDir::currentPath(), QDir::Files | QDir::Hidden), QStringList{kZhangSan});

    EXPECT_TRUE(matches(kZhangSan, QStringLiteral("secret")));
    EXPECT_FALSE(matches(kZhangSan, QStringLiteral("Secret")));
    EXPECT_FALSE(matches(kZhangSan, QString()));
}

TEST_F(Accounts, OnlyTheFirstEightBytesOfAPasswordCount)
{
    create(kZhangSan, QStringLiteral("longpassword"));
    EXPECT_TRUE(matches(kZhangSan, QStringLiteral("longpass")));
    EXPECT_TRUE(matches(kZhangSan, QStringLiteral("longpassXYZ")));
    EXPECT_FALSE(matches(kZhangSan, QStringLiteral("longpas")));
}

TEST_F(Accounts, AnArchiveWithoutATokenCanNeverBeLoggedInto)
{
    // Info-ZIP's archive without comment, and a plain text file: both open, neither holds a token.
    writeFile(QStringLiteral("note.txt"), "hello\n");
    const RunResult zipped = run(zipProgram(), {QStringLiteral("-q"), QStringLiteral("plain.zip"),
                                                QStringLiteral("note.txt")});
    ASSERT_EQ(zipped.exitCode, 0) << zipped.err.constData();
    for (const QString &name : {QStringLiteral("plain.zip"), QStringLiteral("note.txt")}) {
        EXPECT_FALSE(matches(name, QString())) << qPrintable(name);
        EXPECT_FALSE(matches(name, QStringLiteral("hello"))) << qPrintable(name);
    }
}

TEST_F(Accounts, APasswordGbkCannotHoldNeverMatches)
{
    create(kZhangSan, QStringLiteral("secret"));
    // "?" is what such a character would become if it were encoded carelessly.
    create(QStringLiteral("李四"), QStringLiteral("?"));
    EXPECT_FALSE(matches(QStringLiteral("李四"), QStringLiteral("\U0001F600")));
    EXPECT_FALSE(matches(kZhangSan, QStringLiteral("secret\u0E01")));
}

TEST_F(Accounts, ChangingThePasswordRewritesOnlyTheComment)
{
    create(kZhangSan, QStringLiteral("old"));
    addEntry(kZhangSan, kEntryName, "{\\rtf1 0\\par 1\\par first entry}");
    addEntry(kZhangSan, QStringLiteral("2003年11月30日"), QByteArray(5000, 'x'));
    const QByteArray before = readFile(kZhangSan);
    const QByteArray oldToken = passwordToken("old", "53");
    ASSERT_TRUE(before.endsWith(oldToken));

    ASSERT_TRUE(change(kZhangSan, QStringLiteral("old"), QStringLiteral("新密码")));

    const QByteArray after = readFile(kZhangSan);
    const QByteArray newToken = passwordToken(gbk::encode(QStringLiteral("新密码")), "53");
    ASSERT_EQ(after.size(), before.size());
    // Every local header, every entry's data and the directory are the same bytes; only the
    // 13-byte comment at the very end differs.
    EXPECT_EQ(after.left(after.size() - 13), before.left(before.size() - 13));
    EXPECT_TRUE(after.endsWith(newToken));

    // The entries stay readable with the fixed archive password, for Info-ZIP too.
    const RunResult unzipped = run(unzipProgram(), {QStringLiteral("-p"), QStringLiteral("-P"),
                                                    accounts::kArchivePassword, kZhangSan});
    EXPECT_EQ(unzipped.exitCode, 0) << unzipped.err.constData();
    EXPECT_EQ(unzipped.out, "{\\rtf1 0\\par 1\\par first entry}" + QByteArray(5000, 'x'));

    EXPECT_TRUE(matches(kZhangSan, QStringLiteral("新密码")));
    EXPECT_FALSE(matches(kZhangSan, QStringLiteral("old")));
}

TEST_F(Accounts, AWrongOldPasswordLeavesTheArchiveByteForByte)
{
    create(kZhangSan, QStringLiteral("old"));
    addEntry(kZhangSan, kEntryName, "entry");
    const QByteArray before = readFile(kZhangSan);
    const QStringList files = everything();

    for (const QString &wrong : {QStringLiteral("Old"), QString(), QStringLiteral("old\u0E01")})
        EXPECT_FALSE(change(kZhangSan, wrong, QStringLiteral("new")));

    EXPECT_EQ(readFile(kZhangSan), before);
    EXPECT_EQ(everything(), files);
    EXPECT_TRUE(matches(kZhangSan, QStringLiteral("old")));
}

TEST_F(Accounts, NamesThatCannotBeADiaryFileAreRefusedBeforeAnythingIsWritten)
{
    const QStringList files = everything();
    const QList<std::pair<QString, QString>> refused = {
        {QStringLiteral("../escape"), accounts_text::kNameHasSlash},
        {QStringLiteral("sub/name"), accounts_text::kNameHasSlash},
        {QStringLiteral("/tmp/abs"), accounts_text::kNameHasSlash},
        {QStringLiteral("."), accounts_text::kNameIsDotOrDotDot},
        {QStringLiteral(".."), accounts_text::kNameIsDotOrDotDot},
        {QStringLiteral("Diary.dat"), accounts_text::kNameIsUserList},
        {QStringLiteral(".quillbook.lock"), accounts_text::kNameIsLockFile},
        {QStringLiteral("名\u0E01"), accounts_text::kNameNotGbk},
        {QStringLiteral("a\nb"), accounts_text::kNameHasLineBreak},
    };
    for (const auto &[name, message] : refused) {
        EXPECT_EQ(errorOf([&] { create(name, QStringLiteral("pw")); }), message) << qPrintable(name);
        EXPECT_EQ(errorOf([&] { change(name, QStringLiteral("pw"), QStringLiteral("new")); }), message)
            << qPrintable(name);
    }
    EXPECT_EQ(everything(), files);
}

TEST_F(Accounts, ANewPasswordGbkCannotHoldIsRefusedAndNothingChanges)
{
    EXPECT_EQ(errorOf([&] { create(kZhangSan, QStringLiteral("pw\U0001F600")); }),
              accounts_text::kPasswordNotStorable);
    EXPECT_FALSE(accounts::userExists(kZhangSan));

    create(kZhangSan, QStringLiteral("old"));
    const QByteArray before = readFile(kZhangSan);
    EXPECT_EQ(errorOf([&] { change(kZhangSan, QStringLiteral("old"), QStringLiteral("\u0E01")); }),
              accounts_text::kPasswordNotStorable);
    EXPECT_EQ(readFile(kZhangSan), before);
}

TEST_F(Accounts, AFileThatIsNoReadableArchiveReportsTheContainersError)
{
    // A folder of the user's name exists but cannot be opened as an archive.
    ASSERT_TRUE(QDir::current().mkdir(kZhangSan));
    EXPECT_TRUE(accounts::userExists(kZhangSan));
    EXPECT_TRUE(errorOf([&] { matches(kZhangSan, QStringLiteral("pw")); })
                    .startsWith(QStringLiteral("Cannot open file \"张三\".")));
}
