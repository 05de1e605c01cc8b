#include "accounts/user_list.h"
#include "accounts/user_name.h"
#include "platform/exception.h"
#include "platform/files.h"
#include "platform/gbk.h"
#include "support/test_support.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace testing_support;

namespace {
const QString kZhangSan = QStringLiteral("张三");
const QString kLiSi = QStringLiteral("李四");
} // namespace

TEST(UserList, ReadsEveryKindOfLineEnd)
{
    const QString a = QStringLiteral("a"), b = QStringLiteral("b"), c = QStringLiteral("c"), e;
    const QList<std::pair<QByteArray, QStringList>> cases = {
        {"", {}},
        {"a", {a}},                                        // last line without a break counts
        {"a\r\n", {a}},                                    // a final break adds no empty name
        {"\r\n", {e}},
        {"a\rb\nc\r\n", {a, b, c}},                        // CR, LF and CR LF
        {"a\n\rb", {a, e, b}},                             // LF CR is two breaks
        {"a\r\n\r\nb\r\n", {a, e, b}},                     // an empty line in the middle
        {"b\r\na\r\nb", {b, a, b}},                        // order kept, duplicates kept
        {QByteArray("a\r\nb\0c\r\n", 8), {a, b}},          // a zero byte ends the list
        {QByteArray("a\r\0\nb", 5), {a}},
        {"\xd5\xc5\xc8\xfd\r\n\xc0\xee\xcb\xc4", {kZhangSan, kLiSi}},
    };
    for (const auto &[bytes, names] : cases)
        EXPECT_EQ(parseUserList(bytes), names) << bytes.toHex().constData();
}

TEST(UserList, WritesGbkLinesEndingInCrLfAndReadsThemBack)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Diary.dat"));

    writeUserList({kZhangSan}, path);
    EXPECT_EQ(readFile(path), QByteArray("\xd5\xc5\xc8\xfd\r\n"));
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);

    // A second user is appended to the names read back; the first line stays as it was.
    QStringList names = readUserList(path);
    names.append(kLiSi);
    writeUserList(names, path);
    EXPECT_EQ(readFile(path), QByteArray("\xd5\xc5\xc8\xfd\r\n\xc0\xee\xcb\xc4\r\n"));

    const QStringList odd = {kZhangSan, QString(), kZhangSan, QStringLiteral(" x ")};
    writeUserList(odd, path);
    EXPECT_EQ(readUserList(path), odd);
    EXPECT_EQ(entriesIn(dir.path(), QDir::Files | QDir::Hidden), QStringList{QStringLiteral("Diary.dat")});
}

TEST(UserList, ANameThatWouldNotReadBackLeavesTheListAlone)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Diary.dat"));
    writeUserList({kZhangSan}, path);

    EXPECT_THROW(writeUserList({kZhangSan, QStringLiteral("smile\U0001F600")}, path), EEncodingError);
    EXPECT_THROW(writeUserList({QStringLiteral("a\r\nb")}, path), EInvalidUserName);
    EXPECT_THROW(writeUserList({QString::fromLatin1("a\0b", 3)}, path), EInvalidUserName);
    EXPECT_EQ(readFile(path), QByteArray("\xd5\xc5\xc8\xfd\r\n"));
}

TEST(UserList, FailuresAreInOutErrorsAndKeepTheOldList)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Diary.dat"));
    EXPECT_THROW(readUserList(path), EInOutError);

    writeUserList({kZhangSan}, path);
    files::FileFaults::arm(files::FileFaults::NoSpaceAt, 1);
    try {
        writeUserList({kZhangSan, kLiSi}, path);
        ADD_FAILURE() << "no error";
    } catch (const EInOutError &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("Diary.dat"))) << qPrintable(e.message());
    }
    files::FileFaults::disarm();
    EXPECT_EQ(readFile(path), QByteArray("\xd5\xc5\xc8\xfd\r\n"));
    EXPECT_EQ(entriesIn(dir.path(), QDir::Files | QDir::Hidden), QStringList{QStringLiteral("Diary.dat")});

    EXPECT_THROW(writeUserList({kZhangSan}, dir.filePath(QStringLiteral("missing/Diary.dat"))), EInOutError);
}

// Two copies of the program (two displays, or two accounts sharing a folder) adding users at the
// same time: each addition reads the list as it is under the lock, so no name is lost.
TEST(UserList, TwoProgramsAddingUsersAtOnceKeepEachOthersNames)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Diary.dat"));
    writeUserList({kZhangSan}, path);
    constexpr int kEach = 40;
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = ::fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            int status = 0;
            try {
                for (int i = 0; i < kEach; ++i)
                    addToUserList(QStringLiteral("%1-%2").arg(c).arg(i), path);
            } catch (...) {
                status = 1;
            }
            ::_exit(status);
        }
    }
    for (pid_t child : children) {
        int status = -1;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    QStringList names = readUserList(path);
    ASSERT_EQ(names.size(), 1 + 2 * kEach);
    EXPECT_EQ(names.takeFirst(), kZhangSan);
    for (int c = 0; c < 2; ++c) {
        QStringList mine;
        for (const QString &name : std::as_const(names)) {
            if (name.startsWith(QString::number(c) + QLatin1Char('-')))
                mine.append(name);
        }
        QStringList expected;
        for (int i = 0; i < kEach; ++i)
            expected.append(QStringLiteral("%1-%2").arg(c).arg(i));
        EXPECT_EQ(mine, expected) << "each program's names in the order it added them";
    }
}

TEST(UserList, AddingANameThatCannotBeStoredWritesNothing)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Diary.dat"));
    writeUserList({kZhangSan}, path);
    EXPECT_THROW(addToUserList(QStringLiteral("a\nb"), path), EInvalidUserName);
    EXPECT_EQ(readUserList(path), QStringList{kZhangSan});
    EXPECT_EQ(addToUserList(kLiSi, path), (QStringList{kZhangSan, kLiSi}));
}
