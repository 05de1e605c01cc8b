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

// User settings dialog (standard message box, caption "羽书手札").
inline const QString kEnterUserName = QStringLiteral("\u3000\u3000\u3000请输入用户名!\u3000\u3000\u3000");
inline const QString kEnterPassword = QStringLiteral("\u3000\u3000\u3000请输入密码!\u3000\u3000\u3000");
inline const QString kChangePasswordCaption = QStringLiteral("更改密码操作");
inline const QString kOldPasswordPrompt = QStringLiteral("请输入旧密码:\u3000\u3000");
inline const QString kOldPasswordWrong = QStringLiteral("旧密码不正确，更改用户密码失败!");
inline const QString kPasswordChanged = QStringLiteral("已经完成用户密码的更改操作!");

// Private diaries in the user settings dialog.
inline const QString kPrivateCheckBox = QStringLiteral("加密保护（仅凭密码才能阅读）");
inline const QString kConvertButton = QStringLiteral("加密/取消加密");
inline const QString kForgotButton = QStringLiteral("忘记密码");
inline const QString kNoSuchUser = QStringLiteral("这个用户不存在，请先输入已有的用户名!");
inline const QString kProtectCaption = QStringLiteral("加密保护");
inline const QString kUnprotectCaption = QStringLiteral("取消加密");
inline const QString kDiaryPasswordPrompt = QStringLiteral("请输入这个用户的密码:\u3000\u3000");
inline const QString kPasswordWrongNothingChanged = QStringLiteral("密码不正确，日记没有改动!");
inline const QString kProtected = QStringLiteral("这本日记已经受加密保护，从此只有凭密码才能阅读!");
inline const QString kUnprotectWarning =
    QStringLiteral("取消加密后，任何能接触这台电脑的人都能读到这本日记。\n确实要取消加密吗?");
inline const QString kUnprotected = QStringLiteral("这本日记已经取消加密，恢复为旧的保存方式!");
// %1 how many files were removed.
inline const QString kCopiesRemoved = QStringLiteral("程序早先留下的%1个未加密的日记副本已经删除。");
// %1 how many entries, %2 their names.
inline const QString kEntriesCarried = QStringLiteral("有%1篇日记无法读取，已原样保留：%2");
inline const QString kRecoveryCodePrompt = QStringLiteral("请输入恢复码（密码将改为上面方框中的新密码）:");
inline const QString kRecoveryCodeWrong = QStringLiteral("恢复码不正确，密码没有更改!");
inline const QString kRecovered = QStringLiteral("已经用恢复码设置了新密码，旧密码从此失效!");

// The recovery code dialog.
inline const QString kRecoveryCaption = QStringLiteral("恢复码");
inline const QString kRecoveryIntro = QStringLiteral("这是您的日记的恢复码，只显示这一次，请抄下或打印出来，妥善保管：");
inline const QString kRecoveryWarning = QStringLiteral(
    "忘记密码时，凭这个恢复码可以在“用户设置”中用“忘记密码”重设密码。"
    "没有密码，也没有这个恢复码，这本日记就谁也无法再读了，包括您自己。");
inline const QString kCopyButton = QStringLiteral("复制");
inline const QString kPrintButton = QStringLiteral("打印");
inline const QString kCloseButton = QStringLiteral("确定");
// Closing the dialog another way than "确定".
inline const QString kRecoveryNotedQuestion = QStringLiteral("恢复码只显示这一次。确定已经记下了吗？");
// The printed page: %1 the user name, %2 the code.
inline const QString kRecoveryPrintout = QStringLiteral("羽书手札 日记恢复码\n\n用户：%1\n恢复码：%2\n\n");

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
inline const QString kUserListRead = QStringLiteral("无法读取用户列表“%1”（%2）!");
inline const QString kUserListWrite = QStringLiteral("无法写入用户列表“%1”（%2）!");
inline const QString kUserListInUse = QStringLiteral("用户列表“%1”正被另一个程序使用，请稍后再试!");

} // namespace accounts_text
