#include "accounts/messages.h"
#include "accounts/user_name.h"
#include "platform/files.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString refusal(const QString &name)
{
    try {
        validateUserName(name);
    } catch (const EInvalidUserName &e) {
        return e.message();
    }
    return QString();
}

// Whether a diary of this name can be put in place the way every diary is written.
bool writable(const QDir &dir, const QString &name)
{
    files::AtomicWriter out(dir.filePath(name));
    return out.isOpen() && out.write(QByteArray("x")) && out.commit();
}

} // namespace

TEST(UserName, NamesThatLeaveTheFolderOrBreakTheListAreRefused)
{
    using namespace accounts_text;
    const QList<std::pair<QString, QString>> cases = {
        {QStringLiteral("/etc/passwd"), kNameHasSlash},
        {QStringLiteral("../张三"), kNameHasSlash},
        {QStringLiteral("a/"), kNameHasSlash},
        {QStringLiteral("."), kNameIsDotOrDotDot},
        {QStringLiteral(".."), kNameIsDotOrDotDot},
        {QString::fromLatin1("a\0b", 3), kNameHasLineBreak},
        {QStringLiteral("a\nb"), kNameHasLineBreak},
        {QStringLiteral("a\r"), kNameHasLineBreak},
        {QStringLiteral("smile\U0001F600"), kNameNotGbk},
        {QStringLiteral("Diary.dat"), kNameIsUserList},
        {QStringLiteral(".quillbook.lock"), kNameIsLockFile},
        {QStringLiteral(".Diary.dat.Ab12Cd.tmp"), kNameLikeTemporaryFile},
        {QString(kMaxUserNameBytes + 1, QLatin1Char('x')), kNameTooLong.arg(kMaxUserNameBytes)},
        {QString(kMaxUserNameBytes / 3 + 1, QChar(u'张')), kNameTooLong.arg(kMaxUserNameBytes)},
    };
    for (const auto &[name, message] : cases)
        EXPECT_EQ(refusal(name), message) << qPrintable(name.left(40));
}

TEST(UserName, OrdinaryNamesPass)
{
    const QStringList names = {
        QString(),  // left to the dialog's own message
        QStringLiteral("张三"), QStringLiteral(" 张 三 "), QStringLiteral(".hidden"),
        QStringLiteral("notes.tmp"), QStringLiteral("diary.dat"), QStringLiteral("..."),
        QStringLiteral("a\\b"), QString(kMaxUserNameBytes, QLatin1Char('x')),
    };
    for (const QString &name : names)
        EXPECT_EQ(refusal(name), QString()) << qPrintable(name.left(40));
}

TEST(UserName, TheLengthLimitIsWhatTheFileSystemLetsUsWrite)
{
    QTemporaryDir dir;
    EXPECT_TRUE(writable(QDir(dir.path()), QString(kMaxUserNameBytes, QLatin1Char('x'))));
    EXPECT_FALSE(writable(QDir(dir.path()), QString(kMaxUserNameBytes + 1, QLatin1Char('y'))));
}
