#pragma once

#include <QDialog>
#include <QString>

#include <functional>
#include <optional>

class QComboBox;
class QLineEdit;
class QPushButton;
class TLinkLabel;
class TPassCipher;

// The user settings dialog "用户设置" (objectName "Form2"), shown modally from the login page:
// creates a user, or changes the password of a user whose diary exists already.
//
// Client area 313 × 178 (321 × 205 with the frame), only the close button in the title bar:
//   Label1   8,   8; 297 × 38  the prompt for the user name, word-wrapped
//   Edit1    8,  56; 145 × 21  the user name (first in tab order)
//   Label2   8,  88; 297 × 17  the prompt for the password
//   Edit2    8, 112; 297 × 21  the new password, shown in clear
//   Button1 119, 144; 75 × 25  "确定"
// and PassCipher1, the dialog's own cipher with Salt "53".
//
// Showing the dialog empties both edits and focuses Edit1; Enter in Edit1 moves to Edit2, Enter in
// Edit2 is "确定". "确定" (Button1Click):
//   - an empty name or password: a message, the empty edit focused, the dialog stays open;
//   - a name that cannot be a diary file or a password GBK cannot represent: the standard error
//     box says why, the dialog stays open, nothing is written;
//   - a new name: its diary is created (an archive with no entries and the password's token as
//     comment), the name appended to the user box and the box's names written to "Diary.dat";
//     the dialog closes;
//   - an existing name: the old password is asked for; a cancelled or wrong one leaves the
//     archive as it was and says so; the right one rewrites only the archive's comment and says
//     so; the dialog closes in either case.
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
    TPassCipher *PassCipher1() const { return m_cipher; }

    // Asks for the old password: the text, or nothing when the user cancelled.
    using OldPasswordPrompt =
        std::function<std::optional<QString>(QWidget *parent, const QString &caption, const QString &prompt)>;
    // The toolkit's input box: the caption and prompt given, one edit that starts empty, shows
    // the text in clear and takes at most 255 characters, "OK" (default) and "Cancel".
    static std::optional<QString> askOldPassword(QWidget *parent, const QString &caption,
                                                 const QString &prompt);
    // Replaces askOldPassword, so tests can answer without a modal loop.
    void setOldPasswordPrompt(OldPasswordPrompt prompt) { m_askOldPassword = std::move(prompt); }

public slots:
    void FormShow();
    // Enter in the user name edit.
    void Edit1KeyPress();
    // Enter in the password edit.
    void Edit2KeyPress();
    void Button1Click();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void createUser(const QString &name, const QString &password);
    void changePassword(const QString &name, const QString &password);

    QComboBox *m_userBox;
    TLinkLabel *m_nameLabel = nullptr;
    TLinkLabel *m_passwordLabel = nullptr;
    QLineEdit *m_nameEdit = nullptr;
    QLineEdit *m_passwordEdit = nullptr;
    QPushButton *m_okButton = nullptr;
    TPassCipher *m_cipher = nullptr;
    OldPasswordPrompt m_askOldPassword = askOldPassword;
};
