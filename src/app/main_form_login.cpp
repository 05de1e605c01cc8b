#include "main_form.h"

#include "accounts/login.h"
#include "accounts/login_panel.h"
#include "accounts/messages.h"
#include "accounts/pass_cipher.h"
#include "accounts/user_list.h"
#include "accounts/user_settings_dialog.h"
#include "archive/archive_writer.h"
#include "platform/files.h"
#include "platform/message_box.h"
#include "widgets/nav_button.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>

namespace {

// Where the panel stands on the login page, as designed for a page 547 pixels wide.
constexpr QPoint kPanelPosition(160, 47);
constexpr int kDesignedPageWidth = 547;

QString loggedInCaption(const QString &name)
{
    return QStringLiteral("羽书手札（2003版）★★★当前用户：") + name;
}

} // namespace

void TForm1::setupLogin()
{
    m_loginPanel = new TLoginPanel(m_loginPage);
    m_loginPanel->move(kPanelPosition);
    m_loginPanel->stretchWithParent(kDesignedPageWidth);

    m_passCipher = new TPassCipher(this);
    m_passCipher->setObjectName(QStringLiteral("PassCipher1"));
    m_passCipher->SetSalt(accounts::kPasswordSalt);

    m_archiveReader = new TArchiveReader(this);
    m_archiveReader->setObjectName(QStringLiteral("ArchiveReader1"));
    m_archiveWriter = new TArchiveWriter(this);
    m_archiveWriter->setObjectName(QStringLiteral("ArchiveWriter1"));

    m_userSettings = new TForm2(m_loginPanel->ComboBox1(), this);

    connect(m_loginPanel->ComboBox1(), &QComboBox::activated, this,
            [this] { guarded([this] { ComboBox1Change(); }); });
    connect(m_loginPanel->MaskEdit1(), &QLineEdit::returnPressed, this,
            [this] { guarded([this] { MaskEdit1KeyPress(); }); });
    connect(m_loginPanel->Button1(), &QPushButton::clicked, this,
            [this] { guarded([this] { Button1Click(); }); });
    connect(m_loginPanel->Button2(), &QPushButton::clicked, this,
            [this] { guarded([this] { Button2Click(); }); });
}

void TForm1::TabSheet3Show()
{
    QComboBox *users = m_loginPanel->ComboBox1();
    if (files::exists(kUserListFileName)) {
        const QStringList names = readUserList();
        users->clear();
        users->addItems(names);
    }
    m_loginPanel->MaskEdit1()->clear();
    users->setCurrentIndex(users->count() > 0 ? 0 : -1);
    m_loginPanel->MaskEdit1()->setFocus();
}

void TForm1::ComboBox1Change() { m_loginPanel->MaskEdit1()->setFocus(); }

void TForm1::MaskEdit1KeyPress() { Button1Click(); }

void TForm1::Button1Click()
{
    const QString name = m_loginPanel->ComboBox1()->currentText();
    QLineEdit *password = m_loginPanel->MaskEdit1();
    if (!accounts::userExists(name)) {
        msgbox::showWarning(this, accounts_text::kChooseOrCreateUser);
        return;
    }

    // The check works on a container object of its own, so the logged-in user's containers stay
    // on that user's diary, untouched, whatever the check meets.
    TArchiveReader archive;
    if (!accounts::passwordMatches(archive, *m_passCipher, name, password->text())) {
        msgbox::showWarning(this, accounts_text::kWrongPassword);
        password->clear();
        password->setFocus();
        return;
    }

    // The new user is current before the list page comes forward, so whatever reacts to the
    // page change already sees that user's diary.
    setDiaryPath(name);
    m_archiveReader->SetZipName(name);
    m_archiveWriter->SetZipName(name);
    NavBtn(3)->show();
    NavBtn(4)->show();
    setWindowTitle(loggedInCaption(name));
    m_pageControl->setCurrentWidget(m_listPage);
    afterLogin();
}

void TForm1::Button2Click() { m_userSettings->exec(); }

// Nothing yet: the list page keeps the rows it showed until "看日记" fills it.
void TForm1::afterLogin() {}
