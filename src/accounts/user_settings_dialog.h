#pragma once

#include <QDialog>
#include <QString>

#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class TLinkLabel;
class TPassCipher;

// The user settings dialog "用户设置" (objectName "Form2"), shown modally from the login page:
// creates a user, or changes the password of a user whose diary exists already.
//
// Client area 313 × 236, only the close button in the title bar:
//   Label1    8,   8; 297 × 38  the prompt for the user name, word-wrapped
//   Edit1     8,  56; 145 × 21  the user name (first in tab order)
//   Label2    8,  88; 297 × 17  the prompt for the password
//   Edit2     8, 112; 297 × 21  the new password, masked (an eye button shows it while held)
//   CheckBox1 8, 142; 297 × 20  "加密保护（仅凭密码才能阅读）", checked whenever the dialog shows
//   AutoLockLabel 8, 172; 70 × 22  「自动锁定：」
//   AutoLockBox  80, 171; 130 × 24 the minutes without input before the logged-in diary locks
//                               itself: 「不自动锁定」, 「5 分钟」, 「10 分钟」, 「30 分钟」 (and
//                               the period the settings file holds when it is another)
//   Button1   8, 202;  75 × 25  "确定"
//   Button2  89, 202; 110 × 25  "加密/取消加密"
//   Button3 205, 202; 100 × 25  "忘记密码"
// and PassCipher1, the dialog's own cipher with Salt "53".
//
// Showing the dialog empties both edits, checks CheckBox1 and focuses Edit1; Enter in Edit1 moves
// to Edit2, Enter in Edit2 is "确定". "确定" (Button1Click):
//   - an empty name or password: a message, the empty edit focused, the dialog stays open;
//   - a name that cannot be a diary file or a password GBK cannot represent: the standard error
//     box says why, the dialog stays open, nothing is written;
//   - a new name: its diary is created, the name appended to the user box and picked, the box's names
//     written to "Diary.dat"; the dialog closes. With CheckBox1 checked the diary is private
//     (accounts::createPrivateUserArchive) and its recovery code is shown once (the code
//     display); unchecked it is an archive with no entries and the password's token as comment;
//   - an existing name: the old password is asked for; a cancelled or wrong one leaves the
//     archive as it was and says so; the right one rewrites only the archive's comment and says
//     so; the dialog closes in either case.
// "加密/取消加密" (Button2Click) converts the existing diary named in Edit1: an old-format one
// becomes private under its password (asked for; the recovery code is shown after), a private one
// goes back to the old format after the warning that everyone could then read it has been
// confirmed. diaryConverted(name) is emitted as soon as the archive has been rewritten; a message
// then says what was done, which entries were carried over unreadable, and that older copies were
// removed when there were any, and the dialog closes. "忘记密码" (Button3Click) asks for the recovery code of the private diary named in
// Edit1 and makes the password in Edit2 its password; a wrong code changes nothing and says so.
// Key derivations (about half a second each) and rewrites run off the window's thread
// (platform/background.h). A period picked in AutoLockBox is announced at once
// (autoLockChosen), whatever else the dialog does; setAutoLockMinutes() shows the one in use.
//
// An error of the archive or the file system is shown in the standard error box and leaves the
// dialog open. The dialog works on container objects of its own: the main window's containers,
// and so the logged-in user's diary, are never touched.
class TForm2 : public QDialog
{
    Q_OBJECT

public:
    // userBox: the login page's drop-down of user names; not owned, must outlive the dialog.
    explicit TForm2(QComboBox *userBox, QWidget *parent = nullptr);
    ~TForm2() override;

    TLinkLabel *Label1() const { return m_nameLabel; }
    TLinkLabel *Label2() const { return m_passwordLabel; }
    QLineEdit *Edit1() const { return m_nameEdit; }
    QLineEdit *Edit2() const { return m_passwordEdit; }
    QPushButton *Button1() const { return m_okButton; }
    QPushButton *Button2() const { return m_convertButton; }
    QPushButton *Button3() const { return m_forgotButton; }
    QCheckBox *CheckBox1() const { return m_privateBox; }
    QComboBox *AutoLockBox() const { return m_autoLockBox; }
    // 「备份…」: a folder chosen for the backups of the user named in Edit1 (an existing user),
    // kept in the settings file (settings/backup_folder.h).
    QPushButton *BackupButton() const { return m_backupButton; }
    // Shows the auto-lock period in use (minutes; 0 for never).
    void setAutoLockMinutes(int minutes);
    TPassCipher *PassCipher1() const { return m_cipher; }

    // Asks for the old password (also for a diary's password before a conversion, and for a
    // recovery code): the text, or nothing when the user cancelled.
    using OldPasswordPrompt =
        std::function<std::optional<QString>(QWidget *parent, const QString &caption, const QString &prompt)>;
    // The toolkit's input box: the caption and prompt given, one edit that starts empty, shows
    // the text masked (an eye button shows it while held) and takes at most 255 characters,
    // "确定" (default) and "取消".
    static std::optional<QString> askOldPassword(QWidget *parent, const QString &caption,
                                                 const QString &prompt);
    // Replaces askOldPassword, so tests can answer without a modal loop.
    void setOldPasswordPrompt(OldPasswordPrompt prompt) { m_askOldPassword = std::move(prompt); }

    // Shows a new recovery code to the user; RecoveryCodeDialog::showCode unless a test replaces it.
    using CodeDisplay = std::function<void(QWidget *parent, const QString &userName, const QString &code)>;
    void setCodeDisplay(CodeDisplay display) { m_showCode = std::move(display); }

    // Asks for the backup folder, starting at the folder given; empty when the user cancelled.
    using FolderPrompt = std::function<QString(QWidget *parent, const QString &folder)>;
    void setFolderPrompt(FolderPrompt prompt) { m_askFolder = std::move(prompt); }

signals:
    // A diary has been converted to the other format: whoever holds it open must let go of it.
    void diaryConverted(const QString &name);
    // A user has been created (and picked in the user box), the dialog closed.
    void userCreated(const QString &name);
    // The user picked another auto-lock period (minutes; 0 for never).
    void autoLockChosen(int minutes);

public slots:
    void FormShow();
    // Enter in the user name edit.
    void Edit1KeyPress();
    // Enter in the password edit.
    void Edit2KeyPress();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void BackupClick();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void createUser(const QString &name, const QString &password);
    void changePassword(const QString &name, const QString &password);
    // The name in Edit1 when it is an existing user; otherwise says what is missing.
    std::optional<QString> existingName();
    void protect(const QString &name);
    void unprotect(const QString &name);
    void reportConversion(const QString &done, const QStringList &carried, int removedCopies);

    QComboBox *m_userBox;
    TLinkLabel *m_nameLabel = nullptr;
    TLinkLabel *m_passwordLabel = nullptr;
    QLineEdit *m_nameEdit = nullptr;
    QLineEdit *m_passwordEdit = nullptr;
    QPushButton *m_okButton = nullptr;
    QPushButton *m_convertButton = nullptr;
    QPushButton *m_forgotButton = nullptr;
    QCheckBox *m_privateBox = nullptr;
    QComboBox *m_autoLockBox = nullptr;
    QPushButton *m_backupButton = nullptr;
    FolderPrompt m_askFolder;
    TPassCipher *m_cipher = nullptr;
    OldPasswordPrompt m_askOldPassword = askOldPassword;
    CodeDisplay m_showCode;
};
