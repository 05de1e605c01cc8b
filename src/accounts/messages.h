#pragma once

#include <QString>

// The texts of the accounts folder, exactly as the program shows them. "\u3000" is the
// ideographic space that pads the dialog's two empty-field messages.
namespace accounts_text {

// Password cipher: a salt of the wrong length.
inline const QString kSaltLength = QStringLiteral("Salt length must be 0 or 2!");
inline const QString kCipherCaption = QStringLiteral("PassCipher");

// Login page (warning box, caption "羽书手札").
inline const QString kChooseOrCreateUser = QStringLiteral("请先选择或新建一个用户!");
inline const QString kWrongPassword = QStringLiteral("密码不正确，请重新输入密码!");

// User settings dialog (standard message box, caption "Quillbook").
inline const QString kEnterUserName = QStringLiteral("\u3000\u3000\u3000请输入用户名!\u3000\u3000\u3000");
inline const QString kEnterPassword = QStringLiteral("\u3000\u3000\u3000请输入密码!\u3000\u3000\u3000");
inline const QString kChangePasswordCaption = QStringLiteral("更改密码操作");
inline const QString kOldPasswordPrompt = QStringLiteral("请输入旧密码:\u3000\u3000");
inline const QString kOldPasswordWrong = QStringLiteral("旧密码不正确，更改用户密码失败!");
inline const QString kPasswordChanged = QStringLiteral("已经完成用户密码的更改操作!");

// User names refused because they cannot serve as a diary file in the working folder, or
// cannot be kept in the user list. Each ends with "!" so the error box adds no full stop.
inline const QString kNameHasSlash = QStringLiteral("用户名不能包含“/”字符!");
inline const QString kNameIsDotOrDotDot = QStringLiteral("用户名不能是“.”或“..”!");
inline const QString kNameHasLineBreak = QStringLiteral("用户名不能包含换行符或空字符!");
inline const QString kNameNotGbk = QStringLiteral("用户名中含有本程序无法保存的字符!");
inline const QString kNameTooLong = QStringLiteral("用户名太长（最多%1个字节）!");
inline const QString kNameIsUserList = QStringLiteral("“Diary.dat”是用户列表文件，不能用作用户名!");
inline const QString kNameIsLockFile = QStringLiteral("“.quillbook.lock”是日记文件夹的锁文件，不能用作用户名!");
inline const QString kNameLikeTemporaryFile =
    QStringLiteral("以“.”开头并以“.tmp”结尾的名称留给临时文件，不能用作用户名!");

// A new password the program could not store: the token is made from its GBK bytes.
inline const QString kPasswordNotStorable = QStringLiteral("密码中含有本程序无法保存的字符!");

// Errors below the user interface.
inline const QString kPasswordNotGbk =
    QStringLiteral("The password holds characters that cannot be stored");
inline const QString kCipherFailed = QStringLiteral("The password token could not be computed: %1");
inline const QString kUserListRead = QStringLiteral("Cannot read the user list %1: %2");
inline const QString kUserListWrite = QStringLiteral("Cannot write the user list %1: %2");
inline const QString kUserListInUse =
    QStringLiteral("The user list %1 is in use by another program; try again later");

} // namespace accounts_text
