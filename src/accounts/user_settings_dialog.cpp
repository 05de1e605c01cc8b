#include "accounts/user_settings_dialog.h"
#include "accounts/login.h"
#include "accounts/messages.h"
#include "accounts/pass_cipher.h"
#include "accounts/private_login.h"
#include "accounts/recovery_code_dialog.h"
#include "accounts/user_list.h"
#include "accounts/user_name.h"
#include "archive/archive_writer.h"
#include "diary/messages.h"
#include "platform/background.h"
#include "platform/message_box.h"
#include "settings/backup_folder.h"
#include "widgets/link_label.h"
#include "widgets/password_reveal.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

namespace {

constexpr QSize kClientSize(313, 236);
// The auto-lock periods offered, in minutes; 0 never locks.
constexpr int kAutoLockChoices[] = {0, 5, 10, 30};

QString autoLockText(int minutes)
{
    return minutes > 0 ? QStringLiteral("%1 分钟").arg(minutes) : QStringLiteral("不自动锁定");
}
// The input box's edit takes no more than this.
constexpr int kOldPasswordMaxLength = 255;

TLinkLabel *makeLabel(const QString &text, const QRect &geometry, QWidget *parent)
{
    auto *label = new TLinkLabel(parent);
    label->setText(text);
    label->setDrawType(TDrawType::dtNone);
    label->setVCenter(false);
    label->setGeometry(geometry);
    return label;
}

} // namespace

TForm2::TForm2(QComboBox *userBox, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , m_userBox(userBox)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("用户设置"));
    setFixedSize(kClientSize);

    m_nameLabel = makeLabel(QStringLiteral("请在下面的方框中输入用户名：（如果输入的用户名已经存在，"
                                           "则所作的操作为更改用户密码）"),
                            QRect(8, 8, 297, 38), this);
    m_nameLabel->setObjectName(QStringLiteral("Label1"));
    m_passwordLabel =
        makeLabel(QStringLiteral("为了保护您的隐私，请设置密码："), QRect(8, 88, 297, 17), this);
    m_passwordLabel->setObjectName(QStringLiteral("Label2"));

    m_nameEdit = new QLineEdit(this);
    m_nameEdit->setObjectName(QStringLiteral("Edit1"));
    m_nameEdit->setGeometry(8, 56, 145, 21);
    m_passwordEdit = new QLineEdit(this);
    m_passwordEdit->setObjectName(QStringLiteral("Edit2"));
    m_passwordEdit->setGeometry(8, 112, 297, 21);
    makePasswordEdit(m_passwordEdit);

    m_okButton = new QPushButton(QStringLiteral("确定"), this);
    m_okButton->setObjectName(QStringLiteral("Button1"));
    m_okButton->setGeometry(8, 202, 75, 25);
    m_convertButton = new QPushButton(accounts_text::kConvertButton, this);
    m_convertButton->setObjectName(QStringLiteral("Button2"));
    m_convertButton->setGeometry(89, 202, 110, 25);
    m_forgotButton = new QPushButton(accounts_text::kForgotButton, this);
    m_forgotButton->setObjectName(QStringLiteral("Button3"));
    m_forgotButton->setGeometry(205, 202, 100, 25);
    // Enter in the edits has its own meaning; no button may take it as the dialog's default.
    for (QPushButton *button : {m_okButton, m_convertButton, m_forgotButton})
        button->setAutoDefault(false);

    m_privateBox = new QCheckBox(accounts_text::kPrivateCheckBox, this);
    m_privateBox->setObjectName(QStringLiteral("CheckBox1"));
    m_privateBox->setGeometry(8, 142, 297, 20);
    m_privateBox->setChecked(true);

    auto *autoLockLabel = new QLabel(QStringLiteral("自动锁定："), this);
    autoLockLabel->setObjectName(QStringLiteral("AutoLockLabel"));
    autoLockLabel->setGeometry(8, 172, 70, 22);
    m_autoLockBox = new QComboBox(this);
    m_autoLockBox->setObjectName(QStringLiteral("AutoLockBox"));
    m_autoLockBox->setGeometry(80, 171, 130, 24);
    m_autoLockBox->setToolTip(QStringLiteral("多久没有操作，就保存正在写的日记并锁定，回到登录页"));
    autoLockLabel->setBuddy(m_autoLockBox);
    for (int minutes : kAutoLockChoices)
        m_autoLockBox->addItem(autoLockText(minutes), minutes);
    connect(m_autoLockBox, &QComboBox::activated, this,
            [this] { emit autoLockChosen(m_autoLockBox->currentData().toInt()); });

    m_backupButton = new QPushButton(QStringLiteral("备份…"), this);
    m_backupButton->setObjectName(QStringLiteral("BackupButton"));
    m_backupButton->setGeometry(216, 171, 89, 24);
    m_backupButton->setAutoDefault(false);
    m_backupButton->setToolTip(QStringLiteral("选择一个文件夹（U 盘、另一块硬盘），每天第一次保存后和关闭时把日记备份到那里"));
    connect(m_backupButton, &QPushButton::clicked, this, [this] { guarded([this] { BackupClick(); }); });
    m_askFolder = [](QWidget *parent, const QString &folder) {
        return QFileDialog::getExistingDirectory(parent, QStringLiteral("选择备份文件夹"), folder);
    };

    m_showCode = RecoveryCodeDialog::showCode;

    setTabOrder(m_nameEdit, m_passwordEdit);
    setTabOrder(m_passwordEdit, m_privateBox);
    setTabOrder(m_privateBox, m_autoLockBox);
    setTabOrder(m_autoLockBox, m_backupButton);
    setTabOrder(m_backupButton, m_okButton);
    setTabOrder(m_okButton, m_convertButton);
    setTabOrder(m_convertButton, m_forgotButton);

    m_cipher = new TPassCipher(this);
    m_cipher->setObjectName(QStringLiteral("PassCipher1"));
    m_cipher->SetSalt(accounts::kPasswordSalt);

    connect(m_nameEdit, &QLineEdit::returnPressed, this, [this] { guarded([this] { Edit1KeyPress(); }); });
    connect(m_passwordEdit, &QLineEdit::returnPressed, this, [this] { guarded([this] { Edit2KeyPress(); }); });
    connect(m_okButton, &QPushButton::clicked, this, [this] { guarded([this] { Button1Click(); }); });
    connect(m_convertButton, &QPushButton::clicked, this, [this] { guarded([this] { Button2Click(); }); });
    connect(m_forgotButton, &QPushButton::clicked, this, [this] { guarded([this] { Button3Click(); }); });
}

TForm2::~TForm2() = default;

void TForm2::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        guarded([this] { FormShow(); });
}

void TForm2::FormShow()
{
    m_nameEdit->clear();
    m_passwordEdit->clear();
    m_privateBox->setChecked(true);
    m_nameEdit->setFocus();
}

void TForm2::setAutoLockMinutes(int minutes)
{
    minutes = qMax(0, minutes);
    int at = m_autoLockBox->findData(minutes);
    // A period written into the settings file by hand is shown as it is.
    if (at < 0) {
        m_autoLockBox->addItem(autoLockText(minutes), minutes);
        at = m_autoLockBox->count() - 1;
    }
    m_autoLockBox->setCurrentIndex(at);
}

void TForm2::Edit1KeyPress() { m_passwordEdit->setFocus(); }

void TForm2::Edit2KeyPress() { Button1Click(); }

void TForm2::Button1Click()
{
    const QString name = m_nameEdit->text();
    const QString password = m_passwordEdit->text();
    if (name.isEmpty()) {
        msgbox::showMessage(this, accounts_text::kEnterUserName);
        m_nameEdit->setFocus();
        return;
    }
    if (password.isEmpty()) {
        msgbox::showMessage(this, accounts_text::kEnterPassword);
        m_passwordEdit->setFocus();
        return;
    }
    // Before anything is asked or written: the name becomes a file name in the working folder.
    accounts::requireValidAccount(name, password);
    if (accounts::userExists(name))
        changePassword(name, password);
    else
        createUser(name, password);
}

void TForm2::createUser(const QString &name, const QString &password)
{
    QString code;
    const bool makePrivate = m_privateBox->isChecked();
    background::run([&] {
        TArchiveWriter archive;
        if (makePrivate)
            code = accounts::createPrivateUserArchive(archive, name, password);
        else
            accounts::createUserArchive(archive, *m_cipher, name, password);
    });

    // The new user is picked, so that 登录 works at once with the password just chosen.
    m_userBox->addItem(name);
    m_userBox->setCurrentIndex(m_userBox->count() - 1);
    addToUserList(name);
    if (!code.isEmpty())
        m_showCode(this, name, code);
    accept();
    emit userCreated(name);
}

void TForm2::changePassword(const QString &name, const QString &password)
{
    const std::optional<QString> oldPassword =
        m_askOldPassword(this, accounts_text::kChangePasswordCaption, accounts_text::kOldPasswordPrompt);
    bool changed = false;
    if (oldPassword) {
        changed = background::run([&] {
            TArchiveWriter archive;
            // A rewrite like a save: the diary as it was is kept as a version when one is due.
            archive.SetKeepVersions(true);
            return accounts::changeDiaryPassword(archive, *m_cipher, name, *oldPassword, password);
        });
    }
    if (changed)
        msgbox::showMessage(this, accounts_text::kPasswordChanged);
    else
        msgbox::showMessage(this, accounts_text::kOldPasswordWrong);
    accept();
}

std::optional<QString> TForm2::askOldPassword(QWidget *parent, const QString &caption,
                                              const QString &prompt)
{
    QInputDialog box(parent);
    box.setInputMode(QInputDialog::TextInput);
    box.setTextEchoMode(QLineEdit::Password);
    box.setWindowTitle(caption);
    box.setLabelText(prompt);
    box.setTextValue(QString());
    box.setOkButtonText(QStringLiteral("确定"));
    box.setCancelButtonText(QStringLiteral("取消"));
    if (auto *edit = box.findChild<QLineEdit *>()) {
        edit->setMaxLength(kOldPasswordMaxLength);
        makePasswordEdit(edit);
    }
    if (box.exec() != QDialog::Accepted)
        return std::nullopt;
    return box.textValue();
}

std::optional<QString> TForm2::existingName()
{
    const QString name = m_nameEdit->text();
    if (name.isEmpty()) {
        msgbox::showMessage(this, accounts_text::kEnterUserName);
        m_nameEdit->setFocus();
        return std::nullopt;
    }
    validateUserName(name);
    if (!accounts::userExists(name)) {
        msgbox::showMessage(this, accounts_text::kNoSuchUser);
        m_nameEdit->setFocus();
        return std::nullopt;
    }
    return name;
}

void TForm2::BackupClick()
{
    const std::optional<QString> name = existingName();
    if (!name)
        return;
    const QString before = settings::backupFolder(*name);
    const QString folder = m_askFolder(this, before.isEmpty() ? QDir::homePath() : before);
    if (folder.isEmpty())
        return;
    settings::setBackupFolder(*name, folder);
    msgbox::showMessage(this, QStringLiteral("以后每天第一次保存日记后，以及关闭程序时，“%1”的日记都会备份到“%2”。")
                                  .arg(*name, QDir::toNativeSeparators(folder)));
}

void TForm2::Button2Click()
{
    const std::optional<QString> name = existingName();
    if (!name)
        return;
    const bool isPrivate = background::run([&] {
        TArchiveReader archive;
        return accounts::isPrivateUser(archive, *name);
    });
    if (isPrivate)
        unprotect(*name);
    else
        protect(*name);
}

void TForm2::protect(const QString &name)
{
    const std::optional<QString> password =
        m_askOldPassword(this, accounts_text::kProtectCaption, accounts_text::kDiaryPasswordPrompt);
    if (!password)
        return;
    const std::optional<accounts::ConversionReport> report = background::run([&] {
        TArchiveWriter archive;
        return accounts::protectUser(archive, *m_cipher, name, *password);
    });
    if (!report) {
        msgbox::showMessage(this, accounts_text::kPasswordWrongNothingChanged);
        return;
    }
    emit diaryConverted(name);
    m_showCode(this, name, report->recoveryCode);
    QStringList carried;
    for (const auto &[entry, reason] : std::as_const(report->carried))
        carried.append(entry + QStringLiteral("（") + reason + QStringLiteral("）"));
    reportConversion(accounts_text::kProtected, carried, report->removedCopies);
    accept();
}

void TForm2::unprotect(const QString &name)
{
    if (msgbox::show(this, QMessageBox::Warning, accounts_text::kUnprotectCaption,
                     accounts_text::kUnprotectWarning, QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes)
        return;
    const std::optional<QString> password =
        m_askOldPassword(this, accounts_text::kUnprotectCaption, accounts_text::kDiaryPasswordPrompt);
    if (!password)
        return;
    const std::optional<accounts::ConversionReport> report = background::run([&] {
        TArchiveWriter archive;
        archive.SetKeepVersions(true);
        return accounts::unprotectUser(archive, *m_cipher, name, *password);
    });
    if (!report) {
        msgbox::showMessage(this, accounts_text::kPasswordWrongNothingChanged);
        return;
    }
    emit diaryConverted(name);
    QStringList carried;
    for (const auto &[entry, reason] : std::as_const(report->carried))
        carried.append(entry + QStringLiteral("（") + reason + QStringLiteral("）"));
    reportConversion(accounts_text::kUnprotected, carried, report->removedCopies);
    accept();
}

void TForm2::reportConversion(const QString &done, const QStringList &carried, int removedCopies)
{
    QString text = done;
    if (!carried.isEmpty())
        text += QLatin1Char('\n') + accounts_text::kEntriesCarried.arg(carried.size()).arg(carried.join(QStringLiteral("、")));
    if (removedCopies > 0)
        text += QLatin1Char('\n') + accounts_text::kCopiesRemoved.arg(removedCopies);
    msgbox::showMessage(this, text);
}

void TForm2::Button3Click()
{
    const std::optional<QString> name = existingName();
    if (!name)
        return;
    const QString password = m_passwordEdit->text();
    if (password.isEmpty()) {
        msgbox::showMessage(this, accounts_text::kEnterPassword);
        m_passwordEdit->setFocus();
        return;
    }
    accounts::requireValidAccount(*name, password);
    const bool isPrivate = background::run([&] {
        TArchiveReader archive;
        return accounts::isPrivateUser(archive, *name);
    });
    if (!isPrivate)
        throw EDiaryFormat(diary_text::notPrivate());
    const std::optional<QString> code =
        m_askOldPassword(this, accounts_text::kForgotButton, accounts_text::kRecoveryCodePrompt);
    if (!code)
        return;
    const bool recovered = background::run([&] {
        TArchiveWriter writer;
        writer.SetKeepVersions(true);
        return accounts::recoverPassword(writer, *name, *code, password);
    });
    msgbox::showMessage(this, recovered ? accounts_text::kRecovered : accounts_text::kRecoveryCodeWrong);
    if (recovered)
        accept();
}
